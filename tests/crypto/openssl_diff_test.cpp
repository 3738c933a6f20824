// Differential tests against OpenSSL's libcrypto (native build only): random
// messages, keys, IVs, lengths and split points must give OpenSSL's results.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <vector>

#include "vrel/crypto/md5.h"
#include "vrel/crypto/rijndael.h"

namespace vrel {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Random(std::mt19937& rng, std::size_t n) {
  Bytes bytes(n);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
  return bytes;
}

std::size_t Uniform(std::mt19937& rng, std::size_t lo, std::size_t hi) {
  return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
}

Bytes OpensslMd5(const Bytes& message) {
  Bytes digest(16);
  unsigned int size = 0;
  EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest.data(), &size, EVP_md5(), nullptr),
            1);
  return digest;
}

TEST(OpensslDiffTest, Md5OnRandomLengthsAndSplits) {
  std::mt19937 rng(20240517);
  for (int trial = 0; trial < 300; ++trial) {
    const Bytes message = Random(rng, Uniform(rng, 0, trial < 200 ? 300 : 20000));
    Md5Context ctx{};
    Md5Init(ctx);
    std::size_t fed = 0;
    while (fed < message.size()) {
      const std::size_t piece = Uniform(rng, 0, message.size() - fed);
      Md5Update(ctx, message.data() + fed, static_cast<std::uint32_t>(piece));
      fed += piece;
    }
    Bytes digest(16);
    Md5Final(digest.data(), ctx);
    ASSERT_EQ(digest, OpensslMd5(message)) << "length " << message.size();
  }
}

const EVP_CIPHER* OpensslAes(int keyLength, int mode) {
  const EVP_CIPHER* const ecb[] = {EVP_aes_128_ecb(), EVP_aes_192_ecb(), EVP_aes_256_ecb()};
  const EVP_CIPHER* const cbc[] = {EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()};
  const EVP_CIPHER* const cfb[] = {EVP_aes_128_cfb128(), EVP_aes_192_cfb128(),
                                   EVP_aes_256_cfb128()};
  const int k = keyLength / 8 - 2;  // 16, 24, 32 bytes: 0, 1, 2
  return mode == CBC ? cbc[k] : mode == CFB ? cfb[k] : ecb[k];
}

Bytes OpensslAesRun(bool encrypt, int mode, const Bytes& key, const Bytes& iv, const Bytes& in) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  Bytes out(in.size());
  int written = 0;
  EXPECT_EQ(EVP_CipherInit_ex(ctx.get(), OpensslAes(static_cast<int>(key.size()), mode), nullptr,
                              key.data(), iv.data(), encrypt ? 1 : 0),
            1);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  EXPECT_EQ(EVP_CipherUpdate(ctx.get(), out.data(), &written, in.data(), static_cast<int>(in.size())),
            1);
  EXPECT_EQ(static_cast<std::size_t>(written), in.size());
  return out;
}

// Runs the buffer in two calls split at a random block boundary, so that the
// chain carried between calls is compared too.
Bytes VrelAesRun(bool encrypt, int mode, const Bytes& key, const Bytes& iv, const Bytes& in,
                 std::size_t split) {
  RijndaelCipher cipher;
  cipher.SetKey(key.data(), iv.data(), static_cast<int>(key.size()), 16);
  Bytes out(in.size());
  auto run = [&](std::size_t from, std::size_t n) {
    if (n == 0) return;
    if (encrypt) {
      cipher.EncryptBuffer(in.data() + from, out.data() + from, n, mode);
    } else {
      cipher.DecryptBuffer(in.data() + from, out.data() + from, n, mode);
    }
  };
  run(0, split);
  run(split, in.size() - split);
  return out;
}

TEST(OpensslDiffTest, AesEcbCbcCfb128OnRandomInputs) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 600; ++trial) {
    const int keyLength = 16 + 8 * (trial % 3);
    const int mode = (trial / 3) % 3;
    const bool encrypt = (trial / 9) % 2 == 0;
    const Bytes key = Random(rng, static_cast<std::size_t>(keyLength));
    const Bytes iv = Random(rng, 16);
    const std::size_t blocks = Uniform(rng, 1, 70);
    const Bytes in = Random(rng, 16 * blocks);
    const std::size_t split = 16 * Uniform(rng, 0, blocks);
    ASSERT_EQ(VrelAesRun(encrypt, mode, key, iv, in, split),
              OpensslAesRun(encrypt, mode, key, iv, in))
        << "trial " << trial << ": key " << keyLength << ", mode " << mode
        << (encrypt ? ", encrypt " : ", decrypt ") << blocks << " blocks";
  }
}

}  // namespace
}  // namespace vrel
