// Known-answer tests of the cipher against the published vectors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hex.h"
#include "vrel/crypto/rijndael.h"

namespace vrel {
namespace {

using test::FromHex;
using test::ToHex;

RijndaelCipher Keyed(const std::string& keyHex, const std::string& chainHex, int blockSize) {
  const std::vector<unsigned char> key = FromHex(keyHex);
  const std::vector<unsigned char> chain = FromHex(chainHex);
  RijndaelCipher cipher;
  cipher.SetKey(key.data(), chain.empty() ? nullptr : chain.data(), static_cast<int>(key.size()),
                blockSize);
  return cipher;
}

// FIPS-197, Appendix C.1-C.3 (example vectors), and the last round key of the
// expansions in Appendix A.1-A.3 (whose keys differ from Appendix C's).
TEST(RijndaelKatTest, Fips197AppendixC) {
  const struct {
    const char* key;
    const char* ciphertext;
  } kCases[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8ea2b7ca516745bfeafc49904b496089"},
  };
  const std::vector<unsigned char> plain = FromHex("00112233445566778899aabbccddeeff");
  for (const auto& c : kCases) {
    const RijndaelCipher cipher = Keyed(c.key, "", 16);
    unsigned char out[16], back[16];
    cipher.EncryptOneBlock(plain.data(), out);
    EXPECT_EQ(ToHex(out, 16), c.ciphertext) << c.key;
    cipher.EncryptBlock16(plain.data(), out);
    EXPECT_EQ(ToHex(out, 16), c.ciphertext) << c.key;
    cipher.DecryptOneBlock(out, back);
    EXPECT_EQ(ToHex(back, 16), ToHex(plain)) << c.key;
    cipher.DecryptBlock16(out, back);
    EXPECT_EQ(ToHex(back, 16), ToHex(plain)) << c.key;
  }
}

TEST(RijndaelKatTest, Fips197AppendixALastRoundKey) {
  const struct {
    const char* key;
    std::uint32_t last[4];
  } kCases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c", {0xd014f9a8, 0xc9ee2589, 0xe13f0cc8, 0xb6630ca6}},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
       {0xe98ba06f, 0x448c773c, 0x8ecc7204, 0x01002202}},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       {0xfe4890d1, 0xe6188d0b, 0x046df344, 0x706c631e}},
  };
  for (const auto& c : kCases) {
    const RijndaelCipher cipher = Keyed(c.key, "", 16);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(cipher.GetEncRoundKey(cipher.GetRounds())[i], c.last[i]) << c.key;
      EXPECT_EQ(cipher.GetDecRoundKey(0)[i], c.last[i]) << c.key;  // rows in reverse order
    }
  }
}

// NIST SP 800-38A, Appendix F: F.1 (ECB), F.2 (CBC), F.3.13-F.3.18 (CFB128).
// The same four plaintext blocks throughout; the IV applies to CBC and CFB.
const char kSp800Plaintext[] =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
const char kSp800Iv[] = "000102030405060708090a0b0c0d0e0f";
const char kKey128[] = "2b7e151628aed2a6abf7158809cf4f3c";
const char kKey192[] = "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b";
const char kKey256[] = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";

const struct {
  const char* name;
  const char* key;
  int mode;
  const char* ciphertext;
} kSp800Cases[] = {
    {"F.1.1 ECB-AES128", kKey128, ECB,
     "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
     "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4"},
    {"F.1.3 ECB-AES192", kKey192, ECB,
     "bd334f1d6e45f25ff712a214571fa5cc974104846d0ad3ad7734ecb3ecee4eef"
     "ef7afd2270e2e60adce0ba2face6444e9a4b41ba738d6c72fb16691603c18e0e"},
    {"F.1.5 ECB-AES256", kKey256, ECB,
     "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870"
     "b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7"},
    {"F.2.1 CBC-AES128", kKey128, CBC,
     "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
    {"F.2.3 CBC-AES192", kKey192, CBC,
     "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
     "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
    {"F.2.5 CBC-AES256", kKey256, CBC,
     "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
     "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
    {"F.3.13 CFB128-AES128", kKey128, CFB,
     "3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"
     "26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d1c0eeac4c66f9ff7f2e6"},
    {"F.3.15 CFB128-AES192", kKey192, CFB,
     "cdc80d6fddf18cab34c25909c99a417467ce7f7f81173621961a2b70171d3d7a"
     "2e1e8a1dd59b88b1c8e60fed1efac4c9c05f9f9ca9834fa042ae8fba584b09ff"},
    {"F.3.17 CFB128-AES256", kKey256, CFB,
     "dc7e84bfda79164b7ecd8486985d386039ffed143b28b1c832113c6331e5407b"
     "df10132415e54b92a13ed0a8267ae2f975a385741ab9cef82031623d55b1e471"},
};

TEST(RijndaelKatTest, Sp800_38aAppendixF) {
  const std::vector<unsigned char> plain = FromHex(kSp800Plaintext);
  for (const auto& c : kSp800Cases) {
    std::vector<unsigned char> out(plain.size());
    RijndaelCipher enc = Keyed(c.key, kSp800Iv, 16);
    enc.EncryptBuffer(plain.data(), out.data(), out.size(), c.mode);
    EXPECT_EQ(ToHex(out), c.ciphertext) << c.name;

    const std::vector<unsigned char> cipherText = FromHex(c.ciphertext);
    RijndaelCipher dec = Keyed(c.key, kSp800Iv, 16);
    dec.DecryptBuffer(cipherText.data(), out.data(), out.size(), c.mode);
    EXPECT_EQ(ToHex(out), kSp800Plaintext) << c.name;
  }
}

// 24- and 32-byte blocks: tests/crypto/data/rijndael_large_blocks.json (the
// widely reproduced vectors of Brian Gladman's Rijndael set), read here by a
// reader that knows just that file's flat shape.
std::string ReadFile(const char* path) {
  std::string text;
  if (std::FILE* f = std::fopen(path, "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
    std::fclose(f);
  }
  return text;
}

std::string Field(const std::string& object, const std::string& name) {
  std::size_t at = object.find('"' + name + '"');
  if (at == std::string::npos) return "";
  at = object.find(':', at) + 1;
  while (object[at] == ' ' || object[at] == '"') ++at;
  return object.substr(at, object.find_first_of("\",\n}", at) - at);
}

TEST(RijndaelKatTest, LargeBlockVectors) {
  const std::string json = ReadFile(VREL_LARGE_BLOCK_VECTORS);
  ASSERT_FALSE(json.empty()) << "cannot read " << VREL_LARGE_BLOCK_VECTORS;
  int count = 0;
  for (std::size_t at = json.find("{", json.find("\"vectors\"")); at != std::string::npos;
       at = json.find('{', at + 1)) {
    const std::string object = json.substr(at, json.find('}', at) - at);
    const int blockSize = std::stoi(Field(object, "block_bytes"));
    const std::string key = Field(object, "key");
    ASSERT_EQ(static_cast<int>(key.size()) / 2, std::stoi(Field(object, "key_bytes")));
    const std::vector<unsigned char> plain = FromHex(Field(object, "plaintext"));
    const std::string expected = Field(object, "ciphertext");
    ASSERT_EQ(plain.size(), static_cast<std::size_t>(blockSize));

    const RijndaelCipher cipher = Keyed(key, "", blockSize);
    std::vector<unsigned char> out(plain.size()), back(plain.size());
    cipher.EncryptOneBlock(plain.data(), out.data());
    EXPECT_EQ(ToHex(out), expected) << "block " << blockSize << ", key " << key;
    cipher.DecryptOneBlock(out.data(), back.data());
    EXPECT_EQ(back, plain) << "block " << blockSize << ", key " << key;
    ++count;
  }
  EXPECT_EQ(count, 6);  // 24- and 32-byte blocks with each key length
}

}  // namespace
}  // namespace vrel
