// MD5 and Rijndael throughput, each case measured for vrel and, where OpenSSL
// has the same operation, for OpenSSL's libcrypto in the same run. Names are
// <Implementation>/<case>: Vrel (the AES instructions where the processor has
// them), VrelTables (the portable table rounds, forced) and OpenSSL;
// tools/bench.sh turns the results into MB/s and ratios.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "vrel/crypto/md5.h"
#include "vrel/crypto/rijndael.h"

namespace {

constexpr std::size_t kMiB = 1 << 20;

struct Case {
  bool md5;          // MD5, or else the cipher
  std::size_t size;  // bytes per iteration
  int keyLength;
  int blockSize;
  int mode;  // vrel::CipherMode
  bool encrypt;
};

constexpr Case Md5(std::size_t size) { return {true, size, 0, 0, 0, true}; }
// 1 MiB rounded down to whole blocks (1048560 bytes for 24-byte blocks).
constexpr Case Cipher(int key, int block, int mode, bool encrypt) {
  return {false, kMiB - kMiB % static_cast<std::size_t>(block), key, block, mode, encrypt};
}

std::vector<unsigned char> Data(std::size_t n) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + 7);
  return bytes;
}

void Run(benchmark::State& state, Case c) {
  const std::vector<unsigned char> in = Data(c.size);
  std::vector<unsigned char> out(c.size);
  if (c.md5) {
    unsigned char digest[16];
    for (auto _ : state) {
      vrel::Md5Compute(in.data(), static_cast<std::uint32_t>(in.size()), digest);
      benchmark::DoNotOptimize(digest);
    }
  } else {
    const std::vector<unsigned char> key = Data(static_cast<std::size_t>(c.keyLength));
    const std::vector<unsigned char> iv = Data(static_cast<std::size_t>(c.blockSize));
    vrel::RijndaelCipher cipher;
    cipher.SetKey(key.data(), iv.data(), c.keyLength, c.blockSize);
    state.SetLabel(cipher.UsesAesInstructions() ? "AES instructions" : "table rounds");
    for (auto _ : state) {
      if (c.encrypt) {
        cipher.EncryptBuffer(in.data(), out.data(), in.size(), c.mode);
      } else {
        cipher.DecryptBuffer(in.data(), out.data(), in.size(), c.mode);
      }
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(c.size));
}

void Vrel(benchmark::State& state, Case c) {
  vrel::RijndaelCipher::AllowAesInstructions(true);
  Run(state, c);
}

void VrelTables(benchmark::State& state, Case c) {
  vrel::RijndaelCipher::AllowAesInstructions(false);
  Run(state, c);
  vrel::RijndaelCipher::AllowAesInstructions(true);
}

const EVP_CIPHER* OpensslCipher(int keyLength, int mode) {
  if (keyLength == 32) {
    return mode == vrel::CBC   ? EVP_aes_256_cbc()
           : mode == vrel::CFB ? EVP_aes_256_cfb128()
                               : EVP_aes_256_ecb();
  }
  return mode == vrel::CBC ? EVP_aes_128_cbc() : mode == vrel::CFB ? EVP_aes_128_cfb128()
                                                                   : EVP_aes_128_ecb();
}

void OpenSSL(benchmark::State& state, Case c) {
  const std::vector<unsigned char> in = Data(c.size);
  std::vector<unsigned char> out(c.size);
  if (c.md5) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(),
                                                                &EVP_MD_CTX_free);
    unsigned char digest[16];
    unsigned int size = 0;
    for (auto _ : state) {
      EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr);
      EVP_DigestUpdate(ctx.get(), in.data(), in.size());
      EVP_DigestFinal_ex(ctx.get(), digest, &size);
      benchmark::DoNotOptimize(digest);
    }
  } else {
    const EVP_CIPHER* type = OpensslCipher(c.keyLength, c.mode);
    const std::vector<unsigned char> key = Data(static_cast<std::size_t>(c.keyLength));
    const std::vector<unsigned char> iv = Data(16);
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    EVP_CipherInit_ex(ctx.get(), type, nullptr, key.data(), iv.data(), c.encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int written = 0;
    for (auto _ : state) {
      EVP_CipherUpdate(ctx.get(), out.data(), &written, in.data(), static_cast<int>(in.size()));
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(c.size));
}

}  // namespace

BENCHMARK_CAPTURE(Vrel, md5_64B, Md5(64));
BENCHMARK_CAPTURE(OpenSSL, md5_64B, Md5(64));
BENCHMARK_CAPTURE(Vrel, md5_1MiB, Md5(kMiB));
BENCHMARK_CAPTURE(OpenSSL, md5_1MiB, Md5(kMiB));

// AES: vrel's default path and OpenSSL's; vrel's table rounds for the
// 16-byte ECB cases, the reference of the wide blocks below.
#define VREL_AES_CASE(name, key, mode, encrypt)                    \
  BENCHMARK_CAPTURE(Vrel, name, Cipher(key, 16, mode, encrypt));    \
  BENCHMARK_CAPTURE(OpenSSL, name, Cipher(key, 16, mode, encrypt))
VREL_AES_CASE(aes128_ecb_encrypt_1MiB, 16, vrel::ECB, true);
VREL_AES_CASE(aes128_ecb_decrypt_1MiB, 16, vrel::ECB, false);
VREL_AES_CASE(aes128_cbc_encrypt_1MiB, 16, vrel::CBC, true);
VREL_AES_CASE(aes128_cbc_decrypt_1MiB, 16, vrel::CBC, false);
VREL_AES_CASE(aes128_cfb_encrypt_1MiB, 16, vrel::CFB, true);
VREL_AES_CASE(aes128_cfb_decrypt_1MiB, 16, vrel::CFB, false);
VREL_AES_CASE(aes256_ecb_encrypt_1MiB, 32, vrel::ECB, true);
VREL_AES_CASE(aes256_ecb_decrypt_1MiB, 32, vrel::ECB, false);
VREL_AES_CASE(aes256_cbc_encrypt_1MiB, 32, vrel::CBC, true);
VREL_AES_CASE(aes256_cbc_decrypt_1MiB, 32, vrel::CBC, false);
VREL_AES_CASE(aes256_cfb_encrypt_1MiB, 32, vrel::CFB, true);
VREL_AES_CASE(aes256_cfb_decrypt_1MiB, 32, vrel::CFB, false);
BENCHMARK_CAPTURE(VrelTables, aes128_ecb_encrypt_1MiB, Cipher(16, 16, vrel::ECB, true));
BENCHMARK_CAPTURE(VrelTables, aes128_ecb_decrypt_1MiB, Cipher(16, 16, vrel::ECB, false));
BENCHMARK_CAPTURE(VrelTables, aes256_ecb_encrypt_1MiB, Cipher(32, 16, vrel::ECB, true));

// The table rounds for wide blocks; tools/bench.sh compares their per-byte
// cost with the 16-byte table rounds of the same key length.
BENCHMARK_CAPTURE(Vrel, key16_block24_ecb_encrypt_1MiB, Cipher(16, 24, vrel::ECB, true));
BENCHMARK_CAPTURE(Vrel, key16_block24_ecb_decrypt_1MiB, Cipher(16, 24, vrel::ECB, false));
BENCHMARK_CAPTURE(Vrel, key16_block32_ecb_encrypt_1MiB, Cipher(16, 32, vrel::ECB, true));
BENCHMARK_CAPTURE(Vrel, key16_block32_ecb_decrypt_1MiB, Cipher(16, 32, vrel::ECB, false));
BENCHMARK_CAPTURE(Vrel, key32_block32_ecb_encrypt_1MiB, Cipher(32, 32, vrel::ECB, true));
