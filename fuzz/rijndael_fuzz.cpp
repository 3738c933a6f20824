// Any key and block length, mode and buffer: bad arguments raise exactly the
// documented exception and change nothing; good ones round-trip and give the
// same on both paths, split, in place, as copies and (16-byte blocks) OpenSSL.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#define VREL_WITH_OPENSSL
#include "../tests/crypto/crypto_test.h"

using namespace vrel::test;

[[noreturn]] static void Fail(const char* what) {
  std::fprintf(stderr, "rijndael_fuzz: %s\n", what);
  std::abort();
}

static int Length(FuzzedDataProvider& in) {
  return in.ConsumeIntegralInRange(0, 3) != 0 ? 16 + 8 * in.ConsumeIntegralInRange(0, 2)
                                              : in.ConsumeIntegral<int>();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool keyedBefore = in.ConsumeBool(), nullKey = in.ConsumeIntegralInRange(0, 15) == 0;
  const int keyLength = Length(in), blockSize = Length(in);
  const int mode = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 2) : in.ConsumeIntegral<int>();
  Bytes keyBytes = in.ConsumeBytes<unsigned char>(32), iv = in.ConsumeBytes<unsigned char>(32);
  keyBytes.resize(32), iv.resize(32);
  const Bytes plain =
      in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<std::size_t>(0, 320));
  const std::size_t split = in.ConsumeIntegralInRange<std::size_t>(0, plain.size());
  const bool aes = in.ConsumeBool();
  const unsigned char* key = nullKey ? nullptr : keyBytes.data();
  const auto valid = [](int n) { return n == 16 || n == 24 || n == 32; };

  vrel::RijndaelCipher::AllowAesInstructions(aes);
  vrel::RijndaelCipher cipher;
  if (keyedBefore) cipher.SetKey(iv.data(), keyBytes.data(), 16, 16);
  vrel::RijndaelCipher::AllowAesInstructions(true);
  const char* bad = nullKey             ? "No key"
                    : !valid(keyLength) ? "Bad key len"
                    : !valid(blockSize) ? "Bad block len"
                                        : nullptr;
  const auto block = static_cast<std::size_t>(blockSize);
  if (bad == nullptr && (plain.empty() || plain.size() % block != 0)) {
    cipher.SetKey(key, iv.data(), keyLength, blockSize);
    bad = kBadSize;  // a buffer of no whole blocks
  }
  Bytes out(plain.size() + 1);
  if (bad != nullptr) {
    const std::string before = State(cipher);
    const std::string thrown = Thrown([&] {
      if (bad != kBadSize) return cipher.SetKey(key, iv.data(), keyLength, blockSize);
      cipher.DecryptBuffer(plain.data(), out.data(), plain.size(), mode);
    });
    if (thrown != Expected(bad) || State(cipher) != before) Fail(bad);
    return 0;
  }

  // Table rounds in one call, then the chosen path split at a block, maybe in
  // place: the same output and chain, both ways.
  const Bytes k(key, key + keyLength), chainIn(iv.begin(), iv.begin() + blockSize);
  vrel::RijndaelCipher enc = Keyed(Path::kTables, k, chainIn, blockSize), dec = enc;
  out = Crypt(enc, true, mode, plain);
  if (Crypt(dec, false, mode, out) != plain || Chain(dec) != Chain(enc)) Fail("round trip");
  const bool chained = mode == vrel::CBC || mode == vrel::CFB;
  if (!chained && Chain(enc) != ToHex(chainIn)) Fail("ECB moved the chain");
  for (bool encrypt : {true, false}) {
    vrel::RijndaelCipher other = Keyed(aes ? Path::kAes : Path::kTables, k, chainIn, blockSize);
    if (Crypt(other, encrypt, mode, encrypt ? plain : out, split - split % block,
              in.ConsumeBool()) != (encrypt ? out : plain) ||
        Chain(other) != Chain(enc)) {
      Fail("split, in place or the other path differs");
    }
  }
  if (blockSize == 16 && OpensslAes(true, chained ? mode : 0, k, chainIn, plain) != out) {
    Fail("differs from OpenSSL's AES");
  }
  cipher.SetKey(key, iv.data(), keyLength, blockSize);
  vrel::RijndaelCipher copied(cipher), assigned;
  assigned.SetKey(iv.data(), keyBytes.data(), 32, 32);
  assigned = cipher;
  if (State(copied) != State(cipher) || State(assigned) != State(cipher)) Fail("copies differ");
  return 0;
}
