// The Rijndael cipher with any key and block length (valid or not), any mode
// value and any buffer length. Bad arguments raise exactly the documented
// exception and leave a keyed object as it was; good ones round-trip, give
// the same output in place and split into two calls, and with 16-byte blocks
// equal OpenSSL's AES in ECB, CBC and CFB128; copies encrypt as the original.
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <typeinfo>
#include <vector>

#include "vrel/crypto/rijndael.h"

namespace {

using Bytes = std::vector<unsigned char>;
using vrel::RijndaelCipher;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "rijndael_fuzz: %s\n", what);
  std::abort();
}

bool Valid(int length) { return length == 16 || length == 24 || length == 32; }

// Runs f and requires an exception of type E (exactly, not a subclass) whose
// what() is `message`.
template <typename E, typename F>
void ExpectThrow(F f, const char* message) {
  try {
    f();
  } catch (const std::exception& e) {
    if (typeid(e) != typeid(E)) Fail("exception of the wrong type");
    if (std::strcmp(e.what(), message) != 0) Fail("exception with the wrong message");
    return;
  }
  Fail("no exception");
}

int Length(FuzzedDataProvider& in) {
  static const int kValid[] = {16, 24, 32};
  return in.ConsumeIntegralInRange(0, 3) != 0 ? kValid[in.ConsumeIntegralInRange(0, 2)]
                                              : in.ConsumeIntegral<int>();
}

// What a keyed object shows: lengths, chain and the encryption of a block.
Bytes Fingerprint(const RijndaelCipher& c) {
  Bytes state = {static_cast<unsigned char>(c.GetKeyLength()),
                 static_cast<unsigned char>(c.GetBlockSize()),
                 static_cast<unsigned char>(c.GetRounds())};
  if (!c.IsKeyReady()) return state;
  const auto size = static_cast<std::size_t>(c.GetBlockSize());
  state.insert(state.end(), c.GetChain(), c.GetChain() + size);
  Bytes probe(size, 0x5C), out(size);
  c.EncryptOneBlock(probe.data(), out.data());
  state.insert(state.end(), out.begin(), out.end());
  return state;
}

Bytes Openssl(const Bytes& key, const Bytes& iv, int mode, const Bytes& in, bool encrypt) {
  const int k = static_cast<int>(key.size()) / 8 - 2;
  const EVP_CIPHER* const ecb[] = {EVP_aes_128_ecb(), EVP_aes_192_ecb(), EVP_aes_256_ecb()};
  const EVP_CIPHER* const cbc[] = {EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()};
  const EVP_CIPHER* const cfb[] = {EVP_aes_128_cfb128(), EVP_aes_192_cfb128(),
                                   EVP_aes_256_cfb128()};
  const EVP_CIPHER* cipher = mode == vrel::CBC ? cbc[k] : mode == vrel::CFB ? cfb[k] : ecb[k];
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 32);
  int n = 0, tail = 0;
  if (ctx == nullptr ||
      EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx, 0) != 1 ||
      EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(ctx, out.data() + n, &tail) != 1) {
    Fail("OpenSSL");
  }
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool keyedBefore = in.ConsumeBool();
  const bool nullKey = in.ConsumeIntegralInRange(0, 15) == 0;
  const int keyLength = Length(in);
  const int blockSize = Length(in);
  const int mode = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 2) : in.ConsumeIntegral<int>();
  const Bytes key = in.ConsumeBytes<unsigned char>(32);
  const Bytes chain = in.ConsumeBytes<unsigned char>(32);
  Bytes plain = in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<std::size_t>(0, 320));
  const std::size_t split = in.ConsumeIntegralInRange<std::size_t>(0, plain.size());
  Bytes keyBytes(32), chainBytes(32);
  std::copy(key.begin(), key.end(), keyBytes.begin());
  std::copy(chain.begin(), chain.end(), chainBytes.begin());

  RijndaelCipher cipher;
  static const unsigned char kOtherKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  if (keyedBefore) cipher.SetKey(kOtherKey, kOtherKey, 16, 16);
  const unsigned char* keyArgument = nullKey ? nullptr : keyBytes.data();
  const Bytes before = Fingerprint(cipher);
  const char* badKey = nullKey ? "No key" : !Valid(keyLength) ? "Bad key len"
                                          : !Valid(blockSize) ? "Bad block len" : nullptr;
  if (badKey != nullptr) {
    ExpectThrow<std::invalid_argument>(
        [&] { cipher.SetKey(keyArgument, chainBytes.data(), keyLength, blockSize); }, badKey);
    if (Fingerprint(cipher) != before) Fail("a failed SetKey changed the object");
    if (!keyedBefore) {
      Bytes out(plain.size() + 1);
      ExpectThrow<std::logic_error>(
          [&] { cipher.EncryptBuffer(plain.data(), out.data(), plain.size(), mode); },
          "Not Initialized");
      ExpectThrow<std::logic_error>(
          [&] { cipher.DecryptBuffer(plain.data(), out.data(), plain.size(), mode); },
          "Not Initialized");
    }
    return 0;
  }

  cipher.SetKey(keyArgument, chainBytes.data(), keyLength, blockSize);
  const auto block = static_cast<std::size_t>(blockSize);
  const int rounds = (keyLength > blockSize ? keyLength : blockSize) / 4 + 6;
  if (!cipher.IsKeyReady() || cipher.GetKeyLength() != keyLength ||
      cipher.GetBlockSize() != blockSize || cipher.GetRounds() != rounds ||
      std::memcmp(cipher.GetChain(), chainBytes.data(), block) != 0) {
    Fail("SetKey did not take the new key");
  }
  Bytes out(plain.size());
  if (plain.empty() || plain.size() % block != 0) {
    const char* message = "The input data is not a multiple of the right size";
    ExpectThrow<std::length_error>(
        [&] { cipher.EncryptBuffer(plain.data(), out.data(), plain.size(), mode); }, message);
    ExpectThrow<std::length_error>(
        [&] { cipher.DecryptBuffer(plain.data(), out.data(), plain.size(), mode); }, message);
    return 0;
  }

  cipher.EncryptBuffer(plain.data(), out.data(), plain.size(), mode);
  const Bytes lastChain(cipher.GetChain(), cipher.GetChain() + block);
  if (mode != vrel::CBC && mode != vrel::CFB &&
      std::memcmp(lastChain.data(), chainBytes.data(), block) != 0) {
    Fail("ECB changed the chain block");
  }

  // Two calls split at a block boundary continue the chain.
  const std::size_t first = split - split % block;
  RijndaelCipher twice;
  twice.SetKey(keyArgument, chainBytes.data(), keyLength, blockSize);
  Bytes pieces(plain.size());
  if (first > 0) twice.EncryptBuffer(plain.data(), pieces.data(), first, mode);
  if (first < plain.size()) {
    twice.EncryptBuffer(plain.data() + first, pieces.data() + first, plain.size() - first, mode);
  }
  if (pieces != out) Fail("two calls differ from one");
  if (std::memcmp(twice.GetChain(), lastChain.data(), block) != 0) Fail("chains differ");

  // In place gives the same output.
  RijndaelCipher inPlace;
  inPlace.SetKey(keyArgument, chainBytes.data(), keyLength, blockSize);
  Bytes buffer = plain;
  inPlace.EncryptBuffer(buffer.data(), buffer.data(), buffer.size(), mode);
  if (buffer != out) Fail("in-place encryption differs");

  // Decryption with the same key and initial chain restores the input.
  RijndaelCipher reverse;
  reverse.SetKey(keyArgument, chainBytes.data(), keyLength, blockSize);
  Bytes back(plain.size());
  reverse.DecryptBuffer(out.data(), back.data(), out.size(), mode);
  if (back != plain) Fail("round trip does not restore the input");
  if ((mode == vrel::CBC || mode == vrel::CFB) &&
      std::memcmp(reverse.GetChain(), lastChain.data(), block) != 0) {
    Fail("decryption ends on another chain block");
  }
  RijndaelCipher reverseInPlace;
  reverseInPlace.SetKey(keyArgument, chainBytes.data(), keyLength, blockSize);
  buffer = out;
  reverseInPlace.DecryptBuffer(buffer.data(), buffer.data(), buffer.size(), mode);
  if (buffer != plain) Fail("in-place decryption does not restore the input");

  // Copies, made or assigned over another key, encrypt as the original.
  RijndaelCipher copied(cipher);
  RijndaelCipher assigned;
  assigned.SetKey(kOtherKey, kOtherKey, 32, 32);
  assigned = cipher;
  if (Fingerprint(copied) != Fingerprint(cipher) || Fingerprint(assigned) != Fingerprint(cipher))
    Fail("a copy differs from its original");

  // One block at a time.
  Bytes one(block), oneBack(block);
  cipher.EncryptOneBlock(plain.data(), one.data());
  cipher.DecryptOneBlock(one.data(), oneBack.data());
  if (std::memcmp(oneBack.data(), plain.data(), block) != 0) Fail("block round trip");

  if (blockSize == 16) {
    const Bytes k(keyBytes.begin(), keyBytes.begin() + keyLength);
    const Bytes iv(chainBytes.begin(), chainBytes.begin() + 16);
    const int m = mode == vrel::CBC || mode == vrel::CFB ? mode : vrel::ECB;
    if (Openssl(k, iv, m, plain, true) != out) Fail("encryption differs from OpenSSL's AES");
    if (Openssl(k, iv, m, out, false) != plain) Fail("OpenSSL does not decrypt it");
  }
  return 0;
}
