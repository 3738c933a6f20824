// Known answers from data/known_answers.json (RFC 1321, FIPS-197, NIST SP
// 800-38A, the 24/32-byte-block Rijndael set). One driver per algorithm runs
// every row every way: MD5 in one call, byte by byte, split and from an
// unaligned buffer; the cipher on both paths, in one call and split, out of
// place and in place, and block by block through both block functions.
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "crypto_test.h"
#include "vrel/crypto/md5.h"

namespace vrel::test {
namespace {

const nlohmann::json& Vectors() {
  // An absolute path of the source tree; Wine maps it through its Z: drive.
  static const nlohmann::json vectors = nlohmann::json::parse(std::ifstream(VREL_KNOWN_ANSWERS));
  return vectors;
}

std::string Md5Pieces(const unsigned char* message, std::uint32_t n, std::uint32_t piece) {
  Md5Context ctx;
  std::memset(&ctx, 0xa5, sizeof ctx);  // Md5Init must not depend on prior contents
  Md5Init(ctx);
  for (std::uint32_t at = 0; at < n; at += piece)
    Md5Update(ctx, message + at, std::min(piece, n - at));
  unsigned char digest[16];
  Md5Final(digest, ctx);
  EXPECT_EQ(ctx.state[0], 0u);  // Md5Final clears state word A and keeps the count
  EXPECT_EQ(ctx.bitCount[0], 8 * n);
  return ToHex(digest, 16);
}

TEST(KnownAnswerTest, Md5) {
  for (const auto& row : Vectors().at("md5")) {
    const std::string text = row.at("message");
    const std::string digest = row.at("digest");
    SCOPED_TRACE(row.at("source").get<std::string>() + ", length " + std::to_string(text.size()));
    Bytes unaligned(text.size() + 1);
    std::memcpy(unaligned.data() + 1, text.data(), text.size());
    const auto n = static_cast<std::uint32_t>(text.size());
    unsigned char out[16];
    Md5Compute(unaligned.data() + 1, n, out);
    EXPECT_EQ(ToHex(out, 16), digest);
    for (std::uint32_t piece : {1u, 63u, 64u, n / 2 + 1}) {
      EXPECT_EQ(Md5Pieces(unaligned.data() + 1, n, piece), digest) << "pieces of " << piece;
    }
  }
  unsigned char out[16];
  Md5Compute(nullptr, 0, out);
  EXPECT_EQ(ToHex(out, 16), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(KnownAnswerTest, Md5BitCountCarriesIntoTheHighWord) {
  Md5Context ctx{};
  Md5Init(ctx);
  ctx.bitCount[0] = 0xfffffff8u;  // as if 2^29 - 1 bytes had been fed
  const unsigned char bytes[2] = {1, 2};
  Md5Update(ctx, bytes, 2);
  EXPECT_EQ(ctx.bitCount[0], 8u);
  EXPECT_EQ(ctx.bitCount[1], 1u);
}

int Mode(const std::string& name) { return name == "CBC" ? CBC : name == "CFB" ? CFB : ECB; }

TEST(KnownAnswerTest, Cipher) {
  for (const auto& row : Vectors().at("cipher")) {
    const Bytes key = FromHex(row.at("key")), iv = FromHex(row.value("iv", ""));
    const Bytes plain = FromHex(row.at("plaintext")), cipherText = FromHex(row.at("ciphertext"));
    const int block = row.at("block"), mode = Mode(row.at("mode"));
    const auto size = static_cast<std::size_t>(block);
    // ECB leaves the chain (zeros without an IV); CBC and CFB end on the last
    // ciphertext block.
    const std::string chainAfter = mode == ECB
                                       ? ToHex(iv.empty() ? Bytes(size) : iv)
                                       : ToHex(cipherText.data() + plain.size() - size, size);
    for (Path path : kPaths) {
      SCOPED_TRACE(row.at("source").get<std::string>() + " on " + Name(path));
      for (std::size_t split : {std::size_t{0}, size, plain.size() - size}) {
        for (bool inPlace : {false, true}) {
          RijndaelCipher enc = Keyed(path, key, iv, block), dec = Keyed(path, key, iv, block);
          EXPECT_EQ(ToHex(Crypt(enc, true, mode, plain, split, inPlace)), ToHex(cipherText))
              << "split " << split << (inPlace ? " in place" : "");
          EXPECT_EQ(ToHex(Crypt(dec, false, mode, cipherText, split, inPlace)), ToHex(plain))
              << "split " << split << (inPlace ? " in place" : "");
          EXPECT_EQ(Chain(enc), chainAfter);
          EXPECT_EQ(Chain(dec), chainAfter);
        }
      }
      if (mode != ECB) continue;
      const RijndaelCipher cipher = Keyed(path, key, iv, block);
      Bytes out(size);
      for (std::size_t at = 0; at < plain.size(); at += size) {
        cipher.EncryptOneBlock(plain.data() + at, out.data());
        EXPECT_EQ(ToHex(out), ToHex(cipherText.data() + at, size));
        cipher.DecryptOneBlock(cipherText.data() + at, out.data());
        EXPECT_EQ(ToHex(out), ToHex(plain.data() + at, size));
        if (block != 16) continue;
        cipher.EncryptBlock16(plain.data() + at, out.data());
        EXPECT_EQ(ToHex(out), ToHex(cipherText.data() + at, size));
        cipher.DecryptBlock16(cipherText.data() + at, out.data());
        EXPECT_EQ(ToHex(out), ToHex(plain.data() + at, size));
      }
    }
  }
}

// The round-key rows read through the accessors: the last encryption row from
// FIPS-197 Appendix A is the first decryption row, and the first encryption
// row (the key itself) the last decryption row.
TEST(KnownAnswerTest, RoundKeyRows) {
  for (const auto& row : Vectors().at("round_keys")) {
    const Bytes key = FromHex(row.at("key"));
    for (Path path : kPaths) {
      SCOPED_TRACE(row.at("key").get<std::string>() + " on " + Name(path));
      const RijndaelCipher cipher = Keyed(path, key, {}, 16);
      const std::string last = row.at("last_round_key");
      for (int i = 0; i < 4; ++i) {
        const std::uint32_t lastWord = std::stoul(last.substr(8 * i, 8), nullptr, 16);
        const std::uint32_t keyWord =
            std::stoul(row.at("key").get<std::string>().substr(8 * i, 8), nullptr, 16);
        EXPECT_EQ(cipher.GetEncRoundKey(cipher.GetRounds())[i], lastWord);
        EXPECT_EQ(cipher.GetDecRoundKey(0)[i], lastWord);
        EXPECT_EQ(cipher.GetEncRoundKey(0)[i], keyWord);
        EXPECT_EQ(cipher.GetDecRoundKey(cipher.GetRounds())[i], keyWord);
      }
    }
  }
}

}  // namespace
}  // namespace vrel::test
