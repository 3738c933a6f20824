// Against OpenSSL (native builds): MD5 on every length 0..300 and more, in random
// pieces; AES in ECB, CBC and CFB128 on both paths, split at a random block.
#include <gtest/gtest.h>

#define VREL_WITH_OPENSSL
#include "crypto_test.h"
#include "vrel/crypto/md5.h"

namespace vrel::test {
namespace {

TEST(OpensslDiffTest, Md5OnEveryLengthInRandomPieces) {
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

TEST(OpensslDiffTest, AesEcbCbcCfbOnBothPaths) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 1200; ++trial) {
    const Path path = kPaths[trial % 2];
    const int mode = trial / 2 % 3;
    const bool encrypt = trial / 6 % 2 == 0;
    const Bytes key = Random(rng, 16 + 8 * (trial / 12 % 3)), iv = Random(rng, 16);
    const Bytes in = Random(rng, 16 * (1 + rng() % 70));
    const std::size_t split = 16 * (rng() % (in.size() / 16 + 1));
    RijndaelCipher cipher = Keyed(path, key, iv, 16);
    ASSERT_EQ(ToHex(Crypt(cipher, encrypt, mode, in, split)),
              ToHex(OpensslAes(encrypt, mode, key, iv, in)))
        << "trial " << trial << " on " << Name(path) << ": key " << key.size() << ", mode " << mode
        << (encrypt ? ", encrypt " : ", decrypt ") << in.size() << " bytes";
  }
}

}  // namespace
}  // namespace vrel::test
