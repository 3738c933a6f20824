// The known answers of data/known_answers.json (RFC 1321, FIPS-197, SP 800-38A,
// 24/32-byte Rijndael blocks), each row run every way by one driver; natively
// also MD5 against OpenSSL.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "crypto_test.h"
#include "vrel/crypto/md5.h"

namespace vrel::test {
namespace {

// Each row in one call from an unaligned buffer (the empty one from null), and fed
// in pieces into a context that held garbage before Md5Init.
TEST(KnownAnswerTest, Md5) {
  for (const auto& row : Vectors().at("md5")) {
    const std::string text = row.at("message"), digest = row.at("digest");
    SCOPED_TRACE(row.at("source").get<std::string>() + ", length " + std::to_string(text.size()));
    Bytes unaligned(text.size() + 1);
    std::copy(text.begin(), text.end(), unaligned.begin() + 1);
    const unsigned char* message = text.empty() ? nullptr : unaligned.data() + 1;
    const auto n = static_cast<std::uint32_t>(text.size());
    unsigned char out[16];
    Md5Compute(message, n, out);
    EXPECT_EQ(ToHex(out, 16), digest);
    for (std::uint32_t piece : {1u, 63u, 64u, n / 2 + 1}) {
      Md5Context ctx;
      std::memset(&ctx, 0xa5, sizeof ctx);
      Md5Init(ctx);
      for (std::uint32_t at = 0; at < n; at += piece)
        Md5Update(ctx, message + at, std::min(piece, n - at));
      Md5Final(out, ctx);
      EXPECT_EQ(ToHex(out, 16), digest) << "pieces of " << piece;
      EXPECT_EQ(ctx.state[0], 0u);  // Md5Final clears state word A and keeps the count
      EXPECT_EQ(ctx.bitCount[0], 8 * n);
    }
  }
  Md5Context ctx{};
  Md5Init(ctx);
  ctx.bitCount[0] = 0xfffffff8u;  // as if 2^29 - 1 bytes had been fed: the count carries
  Md5Update(ctx, reinterpret_cast<const unsigned char*>("ab"), 2);
  EXPECT_EQ(ctx.bitCount[0], 8u);
  EXPECT_EQ(ctx.bitCount[1], 1u);
}

#ifdef VREL_WITH_OPENSSL
// Against OpenSSL: every length 0..300 and 40 longer ones, in random pieces.
TEST(KnownAnswerTest, Md5AsOpensslOnEveryLengthInRandomPieces) {
  std::mt19937 rng(20240517);
  for (std::size_t length = 0; length <= 340; ++length) {
    const Bytes message = Random(rng, length <= 300 ? length : rng() % 20000);
    Md5Context ctx{};
    Md5Init(ctx);
    for (std::size_t fed = 0, piece; fed < message.size(); fed += piece) {
      piece = std::uniform_int_distribution<std::size_t>(0, message.size() - fed)(rng);
      Md5Update(ctx, message.data() + fed, static_cast<std::uint32_t>(piece));
    }
    unsigned char digest[16], expected[16];
    Md5Final(digest, ctx);
    ASSERT_EQ(EVP_Digest(message.data(), message.size(), expected, nullptr, EVP_md5(), nullptr), 1);
    ASSERT_EQ(ToHex(digest, 16), ToHex(expected, 16)) << "length " << message.size();
  }
}
#endif

// Four round-key words as hex.
std::string Row(const std::uint32_t* w) {
  char hex[33];
  std::snprintf(hex, sizeof hex, "%08x%08x%08x%08x", w[0], w[1], w[2], w[3]);
  return hex;
}

int Mode(const std::string& name) { return name == "CBC" ? CBC : name == "CFB" ? CFB : ECB; }

TEST(KnownAnswerTest, Cipher) {
  for (const auto& row : Vectors().at("cipher")) {
    const Bytes key = FromHex(row.at("key")), iv = FromHex(row.value("iv", ""));
    const Bytes plain = FromHex(row.at("plaintext")), cipherText = FromHex(row.at("ciphertext"));
    const int block = row.at("block"), mode = Mode(row.at("mode"));
    const auto size = static_cast<std::size_t>(block);
    // ECB leaves the chain (zeros without IV); CBC and CFB end on the last block.
    const std::string chainAfter = mode == ECB
                                       ? ToHex(iv.empty() ? Bytes(size) : iv)
                                       : ToHex(cipherText.data() + plain.size() - size, size);
    for (Path path : kPaths) {
      SCOPED_TRACE(row.at("source").get<std::string>() + " on " + Name(path));
      for (std::size_t split : {std::size_t{0}, size, plain.size() - size}) {
        for (bool inPlace : {false, true}) {
          SCOPED_TRACE("split " + std::to_string(split) + (inPlace ? " in place" : ""));
          RijndaelCipher enc = Keyed(path, key, iv, block), dec = Keyed(path, key, iv, block);
          EXPECT_EQ(ToHex(Crypt(enc, true, mode, plain, split, inPlace)), ToHex(cipherText));
          EXPECT_EQ(ToHex(Crypt(dec, false, mode, cipherText, split, inPlace)), ToHex(plain));
          EXPECT_EQ(Chain(enc), chainAfter);
          EXPECT_EQ(Chain(dec), chainAfter);
        }
      }
      // Round-key rows: the key is encryption row 0 and the last decryption row,
      // the last encryption row (FIPS-197 A.1-A.3) decryption row 0.
      const RijndaelCipher cipher = Keyed(path, key, iv, block);
      const std::string keyHex = row.at("key"), last = row.value("last_round_key", "");
      EXPECT_EQ(Row(cipher.GetEncRoundKey(0)), keyHex.substr(0, 32));
      EXPECT_EQ(Row(cipher.GetDecRoundKey(cipher.GetRounds())), keyHex.substr(0, 32));
      for (const std::uint32_t* lastRow :
           {cipher.GetEncRoundKey(cipher.GetRounds()), cipher.GetDecRoundKey(0)})
        EXPECT_EQ(last.empty() ? last : Row(lastRow), last);
      // ECB rows block by block, also through the Block16 forms where they apply.
      using BlockCall = void (RijndaelCipher::*)(const unsigned char*, unsigned char*) const;
      const BlockCall kCalls[] = {&RijndaelCipher::EncryptOneBlock,
                                  &RijndaelCipher::DecryptOneBlock, &RijndaelCipher::EncryptBlock16,
                                  &RijndaelCipher::DecryptBlock16};
      for (int call = 0; mode == ECB && call < (block == 16 ? 4 : 2); ++call) {
        const Bytes& in = call % 2 == 0 ? plain : cipherText;
        Bytes out(plain.size());
        for (std::size_t at = 0; at < plain.size(); at += size)
          (cipher.*kCalls[call])(in.data() + at, out.data() + at);
        EXPECT_EQ(out, call % 2 == 0 ? cipherText : plain) << "block function " << call;
      }
    }
  }
}

}  // namespace
}  // namespace vrel::test
