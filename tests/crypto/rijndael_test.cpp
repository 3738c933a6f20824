// The cipher's contract on both paths, the choice of path, and the two paths
// against each other (and natively OpenSSL) over random inputs.
#include <fake_machine.h>
#include <gtest/gtest.h>

#include "crypto_test.h"

namespace vrel::test {
namespace {

const int kLengths[] = {16, 24, 32};

TEST(RijndaelTest, EveryLengthPairAndModeOnBothPaths) {
  std::mt19937 rng(1);
  for (int keyLength : kLengths) {
    for (int block : kLengths) {
      for (Path path : kPaths) {
        const auto size = static_cast<std::size_t>(block);
        const Bytes key = Random(rng, static_cast<std::size_t>(keyLength)), iv = Random(rng, size);
        const Bytes plain = Random(rng, 4 * size);
        for (int mode : {0, 1, 2, 3, -1}) {  // any other mode value is ECB
          SCOPED_TRACE(std::to_string(keyLength) + "/" + std::to_string(block) + " mode " +
                       std::to_string(mode) + " on " + Name(path));
          RijndaelCipher whole = Keyed(path, key, iv, block), ecb = Keyed(path, key, iv, block);
          EXPECT_EQ(whole.GetRounds(), std::max(keyLength, block) / 4 + 6);
          const Bytes cipherText = Crypt(whole, true, mode, plain);
          const bool chained = mode == CBC || mode == CFB;
          EXPECT_EQ(cipherText == Crypt(ecb, true, ECB, plain), !chained);
          const std::string chainAfter =
              ToHex(chained ? cipherText.data() + 3 * size : iv.data(), size);
          EXPECT_EQ(Chain(whole), chainAfter);
          // Split after one block, in place: the chain carries over.
          RijndaelCipher split = Keyed(path, key, iv, block), dec = Keyed(path, key, iv, block);
          EXPECT_EQ(Crypt(split, true, mode, plain, size, true), cipherText);
          EXPECT_EQ(Chain(split), chainAfter);
          EXPECT_EQ(Crypt(dec, false, mode, cipherText, 3 * size, true), plain);
          EXPECT_EQ(Chain(dec), chainAfter);
          // A null chain is zeros, also when SetKey keys the object again.
          RijndaelCipher zeros = Keyed(path, key, Bytes(size), block);
          whole.SetKey(key.data(), nullptr, keyLength, block);
          EXPECT_EQ(Chain(whole), ToHex(Bytes(size)));
          EXPECT_EQ(Crypt(whole, true, mode, plain), Crypt(zeros, true, mode, plain));
        }
        // XorChain combines one block: x ^ x is zeros, the rest stays.
        Bytes x = plain;
        Keyed(path, key, iv, block).XorChain(x.data(), plain.data());
        EXPECT_EQ(ToHex(x), ToHex(Bytes(size)) + ToHex(plain.data() + size, 3 * size));
      }
    }
  }
}

// The misuse rows of data/known_answers.json: the call, its arguments and what()
// when keyed; unkeyed, the SetKey rows throw the same and every other call
// "Not Initialized".
TEST(RijndaelTest, MisuseThrowsTheDocumentedExceptionAndChangesNothing) {
  std::mt19937 rng(5);
  const Bytes key = Random(rng, 32);
  unsigned char in[64] = {}, out[64] = {};
  for (Path path : kPaths) {
    for (const auto& row : Vectors().at("misuse")) {
      const std::string op = row.at(0), what = row.at(3);
      const int a = row.at(1), b = row.at(2);
      const auto n = static_cast<std::size_t>(a);
      for (bool keyed : {true, false}) {
        SCOPED_TRACE(row.dump() + (keyed ? " keyed on " : " unkeyed on ") + Name(path));
        RijndaelCipher cipher;
        if (keyed) cipher = Keyed(path, Random(rng, 24), Random(rng, 16), 16);
        if (keyed) Crypt(cipher, true, CBC, Random(rng, 48));  // moves the chain on
        const std::string before = State(cipher);
        const std::string expected = keyed || op.rfind("SetKey", 0) == 0 ? what : "Not Initialized";
        const auto call = [&] {
          if (op == "SetKey(null)") cipher.SetKey(nullptr, in, a, b);
          else if (op == "SetKey") cipher.SetKey(key.data(), in, a, b);
          else if (op == "EncryptBuffer") cipher.EncryptBuffer(in, in, n, b);
          else if (op == "DecryptBuffer") cipher.DecryptBuffer(in, in, n, b);
          else if (op == "EncryptOneBlock") cipher.EncryptOneBlock(in, out);
          else if (op == "DecryptOneBlock") cipher.DecryptOneBlock(in, out);
          else if (op == "Block16") cipher.EncryptBlock16(in, out), cipher.DecryptBlock16(in, out);
          else if (op == "XorChain") cipher.XorChain(out, in);
          else ADD_FAILURE() << "unknown call";
        };
        EXPECT_EQ(Thrown(call), Expected(expected));
        EXPECT_EQ(expected.empty() ? before : State(cipher), before) << "changed by a refusal";
      }
    }
  }
}

// The instructions exactly when the processor has them (16-byte blocks only),
// read through the platform seam: a scripted processor without them gets tables.
TEST(RijndaelTest, PathFollowsTheProcessorsAesFlag) {
  const Bytes key(16, 1);
  EXPECT_EQ(Keyed(Path::kAes, key, {}, 16).UsesAesInstructions(), HostHasAes());
  EXPECT_FALSE(Keyed(Path::kAes, key, {}, 24).UsesAesInstructions());
  EXPECT_FALSE(Keyed(Path::kTables, key, {}, 16).UsesAesInstructions());
  for (bool flag : {false, true}) {
    if (flag && !HostHasAes()) continue;  // the instructions would fault here
    FakeMachine machine;
    machine.cpuid[0] = VendorLeaf("GenuineIntel", 1);
    machine.cpuid[1] = {0x000306c3, 0, flag ? 1u << 25 : 0x7ffafbffu & ~(1u << 25), 1u << 26};
    EXPECT_EQ(Keyed(Path::kAes, key, {}, 16).UsesAesInstructions(), flag);
    machine.hasCpuid = false;
    EXPECT_FALSE(Keyed(Path::kAes, key, {}, 16).UsesAesInstructions());
  }
}

// Random keys, lengths, modes and splits: both paths give the same output and
// chain, split in two calls (either path) or in place, and natively OpenSSL's.
TEST(RijndaelTest, AesInstructionsEqualTheTableRoundsAndOpenssl) {
  std::mt19937 rng(12);
  for (int trial = 0; trial < 1200; ++trial) {
    const Bytes key = Random(rng, static_cast<std::size_t>(kLengths[trial % 3]));
    const Bytes iv = Random(rng, 16);
    const Bytes in = Random(rng, 16 * (1 + rng() % 70));
    const int mode = static_cast<int>(rng() % 4);
    const bool encrypt = trial % 2 == 0, inPlace = rng() % 2 == 0;
    const std::size_t split = 16 * (rng() % (in.size() / 16 + 1));
    const Path path = kPaths[trial / 6 % 2], otherPath = kPaths[1 - trial / 6 % 2];
    RijndaelCipher cipher = Keyed(path, key, iv, 16), other = Keyed(otherPath, key, iv, 16);
    const Bytes out = Crypt(cipher, encrypt, mode, in, split, inPlace);
    SCOPED_TRACE("trial " + std::to_string(trial) + " split on " + Name(path));
    ASSERT_EQ(ToHex(out), ToHex(Crypt(other, encrypt, mode, in)));
    ASSERT_EQ(Chain(cipher), Chain(other));
#ifdef VREL_WITH_OPENSSL
    ASSERT_EQ(ToHex(out), ToHex(OpensslAes(encrypt, mode % 3, key, iv, in)));
#endif
  }
}

}  // namespace
}  // namespace vrel::test
