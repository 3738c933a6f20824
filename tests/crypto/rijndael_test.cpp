// The cipher's contract on both paths: every key/block length pair in every
// mode, the chain carried from call to call, in-place use, unknown modes,
// the null chain, each misuse's exception, and the choice of path; then the
// two paths against each other over random inputs.
#include <fake_machine.h>

#include <random>
#include <typeinfo>

#include "crypto_test.h"

namespace vrel::test {
namespace {

const int kLengths[] = {16, 24, 32};
const char kBadSize[] = "The input data is not a multiple of the right size";

Bytes Pattern(std::size_t n, int seed) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
  return bytes;
}

TEST(RijndaelTest, EveryLengthPairAndModeOnBothPaths) {
  for (int keyLength : kLengths) {
    for (int block : kLengths) {
      for (Path path : kPaths) {
        const auto size = static_cast<std::size_t>(block);
        const Bytes key = Pattern(static_cast<std::size_t>(keyLength), 1), iv = Pattern(size, 2);
        const Bytes plain = Pattern(4 * size, 3);
        EXPECT_EQ(Keyed(path, key, iv, block).GetRounds(), std::max(keyLength, block) / 4 + 6);
        for (int mode : {0, 1, 2, 3, -1}) {  // any other mode value is ECB
          SCOPED_TRACE(std::to_string(keyLength) + "/" + std::to_string(block) + " mode " +
                       std::to_string(mode) + " on " + Name(path));
          RijndaelCipher whole = Keyed(path, key, iv, block), ecb = Keyed(path, key, iv, block);
          const Bytes cipherText = Crypt(whole, true, mode, plain);
          EXPECT_NE(cipherText, plain);
          const bool chained = mode == CBC || mode == CFB;
          if (!chained) {
            EXPECT_EQ(cipherText, Crypt(ecb, true, ECB, plain));
          }
          const std::string chainAfter =
              ToHex(chained ? cipherText.data() + 3 * size : iv.data(), size);
          EXPECT_EQ(Chain(whole), chainAfter);
          // Split after one block, in place: the chain carries over.
          RijndaelCipher split = Keyed(path, key, iv, block), dec = Keyed(path, key, iv, block);
          EXPECT_EQ(Crypt(split, true, mode, plain, size, true), cipherText);
          EXPECT_EQ(Chain(split), chainAfter);
          EXPECT_EQ(Crypt(dec, false, mode, cipherText, 3 * size, true), plain);
          EXPECT_EQ(Chain(dec), chainAfter);
        }
        const RijndaelCipher cipher = Keyed(path, key, iv, block);
        Bytes out(size), back(size);
        cipher.EncryptOneBlock(plain.data(), out.data());
        cipher.DecryptOneBlock(out.data(), back.data());
        EXPECT_EQ(back, Bytes(plain.begin(), plain.begin() + block));
      }
    }
  }
}

TEST(RijndaelTest, NullChainIsZerosAndSetKeyRestartsIt) {
  const Bytes key = Pattern(16, 1), plain = Pattern(64, 2);
  for (int block : kLengths) {
    for (Path path : kPaths) {
      RijndaelCipher withNull = Keyed(path, key, {}, block);
      EXPECT_EQ(Chain(withNull), std::string(2 * block, '0'));
      RijndaelCipher withZeros = Keyed(path, key, Bytes(32), block);
      const Bytes first = Crypt(withNull, true, CBC, Bytes(plain.begin(), plain.begin() + block));
      EXPECT_EQ(first, Crypt(withZeros, true, CBC, Bytes(plain.begin(), plain.begin() + block)));
      withNull.SetKey(key.data(), nullptr, 16, block);
      EXPECT_EQ(Chain(withNull), std::string(2 * block, '0'));
    }
  }
}

// A keyed object's observable state: lengths, path, chain and a block's image.
std::string State(const RijndaelCipher& c) {
  if (!c.IsKeyReady()) return c.GetChain() == nullptr ? "unkeyed" : "unkeyed with a chain";
  Bytes out(static_cast<std::size_t>(c.GetBlockSize()));
  c.EncryptOneBlock(Pattern(32, 9).data(), out.data());
  return std::to_string(c.GetKeyLength()) + "/" + std::to_string(c.GetBlockSize()) + "/" +
         std::to_string(c.GetRounds()) + (c.UsesAesInstructions() ? "/aes " : "/tables ") +
         Chain(c) + " " + ToHex(out);
}

// Each misuse as a row: the call, then what() on an object keyed with a
// 24-byte key and 16-byte blocks ("" for no exception); before any SetKey the
// SetKey rows throw the same and every other call "Not Initialized".
enum Op { kSetKeyNull, kSetKey, kEncrypt, kDecrypt, kEncryptBlock, kDecryptBlock, kBlock16, kXor };
const struct {
  Op op;
  int a, b;  // SetKey: key and block length; buffers: length and mode
  const char* keyed;
} kMisuse[] = {
    {kSetKeyNull, 20, 20, "No key"},
    {kSetKey, 20, 20, "Bad key len"},
    {kSetKey, 0, 16, "Bad key len"},
    {kSetKey, 16, 20, "Bad block len"},
    {kSetKey, 32, 64, "Bad block len"},
    {kEncrypt, 0, CBC, kBadSize},
    {kEncrypt, 24, ECB, kBadSize},
    {kDecrypt, 17, CFB, kBadSize},
    {kDecrypt, 15, CBC, kBadSize},
    {kEncrypt, 32, CFB, ""},
    {kEncryptBlock, 0, 0, ""},
    {kDecryptBlock, 0, 0, ""},
    {kBlock16, 0, 0, ""},
    {kXor, 0, 0, ""},
};

const std::type_info& TypeOf(const std::string& what) {
  if (what == kBadSize) return typeid(std::length_error);
  return what == "Not Initialized" ? typeid(std::logic_error) : typeid(std::invalid_argument);
}

TEST(RijndaelTest, MisuseThrowsTheDocumentedExceptionAndChangesNothing) {
  const Bytes key = Pattern(32, 1);
  unsigned char in[64] = {}, out[64] = {};
  for (Path path : kPaths) {
    for (const auto& row : kMisuse) {
      for (bool keyed : {true, false}) {
        SCOPED_TRACE("op " + std::to_string(row.op) + " " + std::to_string(row.a) +
                     (keyed ? " keyed on " : " unkeyed on ") + Name(path));
        RijndaelCipher cipher;
        if (keyed) cipher = Keyed(path, Pattern(24, 5), Pattern(16, 6), 16);
        if (keyed) Crypt(cipher, true, CBC, Pattern(48, 7));  // moves the chain on
        const std::string before = State(cipher);
        const std::string expected = keyed || row.op <= kSetKey ? row.keyed : "Not Initialized";
        std::string what;
        try {
          switch (row.op) {
            case kSetKeyNull: cipher.SetKey(nullptr, in, row.a, row.b); break;
            case kSetKey: cipher.SetKey(key.data(), in, row.a, row.b); break;
            case kEncrypt:
              cipher.EncryptBuffer(in, in, static_cast<std::size_t>(row.a), row.b);
              break;
            case kDecrypt:
              cipher.DecryptBuffer(in, in, static_cast<std::size_t>(row.a), row.b);
              break;
            case kEncryptBlock: cipher.EncryptOneBlock(in, out); break;
            case kDecryptBlock: cipher.DecryptOneBlock(in, out); break;
            case kBlock16: cipher.EncryptBlock16(in, out), cipher.DecryptBlock16(in, out); break;
            case kXor: cipher.XorChain(out, in); break;
          }
        } catch (const std::exception& e) {
          what = e.what();
          EXPECT_EQ(typeid(e), TypeOf(what)) << typeid(e).name();
        }
        EXPECT_EQ(what, expected);
        if (!expected.empty()) {
          EXPECT_EQ(State(cipher), before);
        }
      }
    }
  }
}

TEST(RijndaelTest, XorChainCombinesOneBlock) {
  const RijndaelCipher cipher = Keyed(Path::kTables, Pattern(16, 1), {}, 24);
  Bytes a = Pattern(32, 1);
  const Bytes b = Pattern(32, 50), original = a;
  cipher.XorChain(a.data(), b.data());
  for (std::size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(a[i], i < 24 ? original[i] ^ b[i] : original[i]) << i;
  }
}

// The choice reads CPUID through the platform seam: a processor scripted
// without the AES flag gets the tables; with it (and SSE2), the instructions.
TEST(RijndaelTest, PathFollowsTheProcessorsAesFlag) {
  const Bytes key = Pattern(16, 1);
  for (bool flag : {false, true}) {
    if (flag && !HostHasAes()) continue;  // the instructions would fault here
    FakeMachine machine;
    machine.cpuid[0] = VendorLeaf("GenuineIntel", 1);
    machine.cpuid[1] = {0x000306c3, 0, flag ? 1u << 25 : 0x7ffafbffu & ~(1u << 25), 1u << 26};
    RijndaelCipher cipher;
    cipher.SetKey(key.data(), nullptr, 16, 16);
    EXPECT_EQ(cipher.UsesAesInstructions(), flag);
    machine.hasCpuid = false;
    cipher.SetKey(key.data(), nullptr, 16, 16);
    EXPECT_FALSE(cipher.UsesAesInstructions());
  }
}

// Random keys, lengths, modes and split points: both paths give the same
// output and the same chain, whole and split, in place or not.
TEST(RijndaelTest, AesInstructionsEqualTheTableRounds) {
  std::mt19937 rng(12);
  const auto uniform = [&](std::size_t lo, std::size_t hi) {
    return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
  };
  for (int trial = 0; trial < 1000; ++trial) {
    const Bytes key =
        Pattern(static_cast<std::size_t>(kLengths[trial % 3]), static_cast<int>(rng()));
    const Bytes iv = Pattern(16, static_cast<int>(rng())),
                in = Pattern(16 * uniform(1, 40), static_cast<int>(rng()));
    const int mode = static_cast<int>(uniform(0, 3));
    const bool encrypt = trial % 2 == 0, inPlace = uniform(0, 1) == 1;
    const std::size_t split = 16 * uniform(0, in.size() / 16);
    RijndaelCipher tables = Keyed(Path::kTables, key, iv, 16), aes = Keyed(Path::kAes, key, iv, 16);
    ASSERT_EQ(ToHex(Crypt(aes, encrypt, mode, in, split, inPlace)),
              ToHex(Crypt(tables, encrypt, mode, in)))
        << "trial " << trial << ", mode " << mode << ", split " << split;
    ASSERT_EQ(Chain(aes), Chain(tables)) << "trial " << trial;
  }
}

}  // namespace
}  // namespace vrel::test
