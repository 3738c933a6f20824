// The cipher's modes, chain handling, checks and messages.
#include "vrel/crypto/rijndael.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "hex.h"

namespace vrel {
namespace {

using Bytes = std::vector<unsigned char>;
using test::ToHex;

const int kLengths[] = {16, 24, 32};
const int kModes[] = {ECB, CBC, CFB};

// Bytes seed, seed + 1, ... (mod 256).
Bytes Pattern(std::size_t n, int seed) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
  return bytes;
}

RijndaelCipher Keyed(int keyLength, int blockSize, int seed = 1) {
  const Bytes key = Pattern(static_cast<std::size_t>(keyLength), seed);
  const Bytes iv = Pattern(static_cast<std::size_t>(blockSize), seed + 100);
  RijndaelCipher cipher;
  cipher.SetKey(key.data(), iv.data(), keyLength, blockSize);
  return cipher;
}

Bytes Encrypt(RijndaelCipher& cipher, const Bytes& in, int mode) {
  Bytes out(in.size());
  cipher.EncryptBuffer(in.data(), out.data(), in.size(), mode);
  return out;
}

Bytes Decrypt(RijndaelCipher& cipher, const Bytes& in, int mode) {
  Bytes out(in.size());
  cipher.DecryptBuffer(in.data(), out.data(), in.size(), mode);
  return out;
}

std::string Chain(const RijndaelCipher& cipher) {
  return ToHex(cipher.GetChain(), static_cast<std::size_t>(cipher.GetBlockSize()));
}

// The exception's what(), or "" when nothing was thrown.
std::string Message(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(RijndaelTest, EveryLengthPairRoundTripsInEveryMode) {
  for (int keyLength : kLengths) {
    for (int blockSize : kLengths) {
      SCOPED_TRACE("key " + std::to_string(keyLength) + ", block " + std::to_string(blockSize));
      const int nk = keyLength / 4, nb = blockSize / 4;
      EXPECT_EQ(Keyed(keyLength, blockSize).GetRounds(), (nk > nb ? nk : nb) + 6);

      const Bytes plain = Pattern(4 * static_cast<std::size_t>(blockSize), 9);
      for (int mode : kModes) {
        RijndaelCipher enc = Keyed(keyLength, blockSize);
        RijndaelCipher dec = Keyed(keyLength, blockSize);
        const Bytes encrypted = Encrypt(enc, plain, mode);
        EXPECT_NE(encrypted, plain) << "mode " << mode;
        EXPECT_EQ(Decrypt(dec, encrypted, mode), plain) << "mode " << mode;
      }

      const RijndaelCipher cipher = Keyed(keyLength, blockSize);
      Bytes block(plain.begin(), plain.begin() + blockSize), out(block.size()), back(block.size());
      cipher.EncryptOneBlock(block.data(), out.data());
      cipher.DecryptOneBlock(out.data(), back.data());
      EXPECT_EQ(back, block);
    }
  }
}

TEST(RijndaelTest, ChainedCallsContinueAndLeaveTheLastCiphertextBlock) {
  for (int blockSize : kLengths) {
    for (int mode : {CBC, CFB}) {
      SCOPED_TRACE("block " + std::to_string(blockSize) + ", mode " + std::to_string(mode));
      const std::size_t size = static_cast<std::size_t>(blockSize);
      const Bytes plain = Pattern(2 * size, 3);
      const Bytes first(plain.begin(), plain.begin() + blockSize);
      const Bytes second(plain.begin() + blockSize, plain.end());

      RijndaelCipher once = Keyed(16, blockSize);
      const Bytes whole = Encrypt(once, plain, mode);
      EXPECT_EQ(Chain(once), ToHex(whole.data() + size, size));

      RijndaelCipher twice = Keyed(16, blockSize);
      Bytes pieces = Encrypt(twice, first, mode);
      EXPECT_EQ(Chain(twice), ToHex(pieces));
      const Bytes rest = Encrypt(twice, second, mode);
      pieces.insert(pieces.end(), rest.begin(), rest.end());
      EXPECT_EQ(pieces, whole);
      EXPECT_EQ(Chain(twice), Chain(once));

      RijndaelCipher dec = Keyed(16, blockSize);
      EXPECT_EQ(Decrypt(dec, Bytes(whole.begin(), whole.begin() + blockSize), mode), first);
      EXPECT_EQ(Decrypt(dec, Bytes(whole.begin() + blockSize, whole.end()), mode), second);
      EXPECT_EQ(Chain(dec), Chain(once));
    }
  }
}

TEST(RijndaelTest, UnknownModesAreEcbAndLeaveTheChain) {
  RijndaelCipher cipher = Keyed(24, 16);
  const std::string chain = Chain(cipher);
  const Bytes plain = Pattern(48, 5);
  const Bytes ecb = Encrypt(cipher, plain, ECB);
  EXPECT_EQ(Encrypt(cipher, plain, 7), ecb);
  EXPECT_EQ(Decrypt(cipher, ecb, 7), plain);
  EXPECT_EQ(Chain(cipher), chain);
}

TEST(RijndaelTest, EveryModeRunsInPlace) {
  for (int blockSize : kLengths) {
    for (int mode : kModes) {
      const Bytes plain = Pattern(3 * static_cast<std::size_t>(blockSize), 11);
      RijndaelCipher reference = Keyed(32, blockSize);
      const Bytes expected = Encrypt(reference, plain, mode);

      RijndaelCipher cipher = Keyed(32, blockSize);
      Bytes data = plain;
      cipher.EncryptBuffer(data.data(), data.data(), data.size(), mode);
      EXPECT_EQ(data, expected) << blockSize << "/" << mode;
      cipher = Keyed(32, blockSize);
      cipher.DecryptBuffer(data.data(), data.data(), data.size(), mode);
      EXPECT_EQ(data, plain) << blockSize << "/" << mode;
    }
  }
}

TEST(RijndaelTest, NullChainMeansZeros) {
  const Bytes key = Pattern(16, 1);
  const Bytes zeros(32, 0);
  RijndaelCipher withNull;
  withNull.SetKey(key.data(), nullptr, 16, 32);
  EXPECT_EQ(Chain(withNull), ToHex(zeros));
  RijndaelCipher withZeros;
  withZeros.SetKey(key.data(), zeros.data(), 16, 32);
  const Bytes plain = Pattern(64, 2);
  EXPECT_EQ(Encrypt(withNull, plain, CBC), Encrypt(withZeros, plain, CBC));
}

TEST(RijndaelTest, SetKeyAgainRestartsTheChain) {
  RijndaelCipher cipher = Keyed(16, 16);
  const Bytes plain = Pattern(32, 4);
  const Bytes first = Encrypt(cipher, plain, CBC);
  EXPECT_NE(Encrypt(cipher, plain, CBC), first);  // continues from the chain

  const Bytes key = Pattern(16, 1);
  const Bytes iv = Pattern(16, 101);
  cipher.SetKey(key.data(), iv.data(), 16, 16);
  EXPECT_EQ(Encrypt(cipher, plain, CBC), first);
  const Bytes otherIv = Pattern(16, 55);
  cipher.SetKey(key.data(), otherIv.data(), 16, 16);
  EXPECT_EQ(Chain(cipher), ToHex(otherIv));
  EXPECT_NE(Encrypt(cipher, plain, CBC), first);
}

TEST(RijndaelTest, UnkeyedObjectRefusesEveryOperation) {
  RijndaelCipher cipher;
  EXPECT_FALSE(cipher.IsKeyReady());
  EXPECT_EQ(cipher.GetChain(), nullptr);
  unsigned char a[32] = {}, b[32] = {};
  const char* kNotInitialized = "Not Initialized";
  EXPECT_EQ(Message([&] { cipher.EncryptOneBlock(a, b); }), kNotInitialized);
  EXPECT_EQ(Message([&] { cipher.DecryptOneBlock(a, b); }), kNotInitialized);
  EXPECT_EQ(Message([&] { cipher.EncryptBlock16(a, b); }), kNotInitialized);
  EXPECT_EQ(Message([&] { cipher.DecryptBlock16(a, b); }), kNotInitialized);
  EXPECT_EQ(Message([&] { cipher.EncryptBuffer(a, b, 16, ECB); }), kNotInitialized);
  EXPECT_EQ(Message([&] { cipher.DecryptBuffer(a, b, 16, CBC); }), kNotInitialized);
  EXPECT_EQ(Message([&] { cipher.XorChain(a, b); }), kNotInitialized);
  // Not initialised comes before the length check.
  EXPECT_EQ(Message([&] { cipher.EncryptBuffer(a, b, 0, ECB); }), kNotInitialized);
}

TEST(RijndaelTest, BadSetKeyArgumentsThrowInOrderAndChangeNothing) {
  RijndaelCipher cipher = Keyed(24, 32);
  const Bytes plain = Pattern(64, 8);
  Encrypt(cipher, plain, CBC);  // moves the chain on
  const std::string chain = Chain(cipher);

  const Bytes key = Pattern(32, 1);
  const Bytes iv(32, 0);
  EXPECT_EQ(Message([&] { cipher.SetKey(nullptr, iv.data(), 20, 20); }), "No key");
  EXPECT_EQ(Message([&] { cipher.SetKey(key.data(), iv.data(), 20, 20); }), "Bad key len");
  EXPECT_EQ(Message([&] { cipher.SetKey(key.data(), iv.data(), 0, 16); }), "Bad key len");
  EXPECT_EQ(Message([&] { cipher.SetKey(key.data(), iv.data(), 16, 20); }), "Bad block len");
  EXPECT_EQ(Message([&] { cipher.SetKey(key.data(), iv.data(), 16, 64); }), "Bad block len");

  EXPECT_EQ(cipher.GetKeyLength(), 24);
  EXPECT_EQ(cipher.GetBlockSize(), 32);
  EXPECT_EQ(Chain(cipher), chain);
  RijndaelCipher fresh = Keyed(24, 32);
  Encrypt(fresh, plain, CBC);
  EXPECT_EQ(Encrypt(cipher, plain, CBC), Encrypt(fresh, plain, CBC));

  RijndaelCipher unkeyed;
  EXPECT_EQ(Message([&] { unkeyed.SetKey(key.data(), iv.data(), 16, 20); }), "Bad block len");
  EXPECT_FALSE(unkeyed.IsKeyReady());
}

TEST(RijndaelTest, BufferLengthMustBeAWholeNumberOfBlocks) {
  const char* kBadSize = "The input data is not a multiple of the right size";
  unsigned char in[64] = {}, out[64] = {};
  RijndaelCipher cipher = Keyed(16, 16);
  const std::string chain = Chain(cipher);
  for (std::size_t n : {0, 17, 15, 24}) {
    EXPECT_EQ(Message([&] { cipher.EncryptBuffer(in, out, n, CBC); }), kBadSize) << n;
    EXPECT_EQ(Message([&] { cipher.DecryptBuffer(in, out, n, CFB); }), kBadSize) << n;
  }
  EXPECT_EQ(Chain(cipher), chain);

  RijndaelCipher wide = Keyed(16, 24);
  EXPECT_EQ(Message([&] { wide.EncryptBuffer(in, out, 32, ECB); }), kBadSize);
  EXPECT_EQ(Message([&] { wide.EncryptBuffer(in, out, 48, ECB); }), "");
}

TEST(RijndaelTest, XorChainCombinesOneBlock) {
  const RijndaelCipher cipher = Keyed(16, 24);
  Bytes a = Pattern(32, 1);
  const Bytes b = Pattern(32, 50);
  const Bytes original = a;
  cipher.XorChain(a.data(), b.data());
  for (std::size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(a[i], i < 24 ? original[i] ^ b[i] : original[i]) << i;
  }
}

}  // namespace
}  // namespace vrel
