// Shared by the crypto suites: hex text, and cipher objects keyed on a chosen
// path, so that every check runs through the table rounds and the AES
// instructions alike.
#pragma once

#include <cpuid.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vrel/crypto/rijndael.h"

namespace vrel::test {

using Bytes = std::vector<unsigned char>;

inline Bytes FromHex(const std::string& hex) {
  Bytes bytes(hex.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

inline std::string ToHex(const unsigned char* bytes, std::size_t n) {
  std::string hex;
  for (std::size_t i = 0; i < n; ++i) {
    hex += "0123456789abcdef"[bytes[i] >> 4];
    hex += "0123456789abcdef"[bytes[i] & 15];
  }
  return hex;
}
inline std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }

// The processor's AES flag (CPUID leaf 1, ECX bit 25), read here apart from
// the library. Under Wine it is the real (or emulated) processor's.
inline bool HostHasAes() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_AES) != 0;
}

enum class Path { kTables, kAes };
constexpr Path kPaths[] = {Path::kTables, Path::kAes};
inline const char* Name(Path path) { return path == Path::kAes ? "AES instructions" : "tables"; }

// A cipher keyed with the AES instructions allowed or not; checks that it took
// the instructions exactly when it could (16-byte blocks, processor has them).
inline RijndaelCipher Keyed(Path path, const Bytes& key, const Bytes& iv, int blockSize) {
  RijndaelCipher::AllowAesInstructions(path == Path::kAes);
  RijndaelCipher cipher;
  cipher.SetKey(key.data(), iv.empty() ? nullptr : iv.data(), static_cast<int>(key.size()),
                blockSize);
  RijndaelCipher::AllowAesInstructions(true);
  EXPECT_EQ(cipher.UsesAesInstructions(), path == Path::kAes && blockSize == 16 && HostHasAes());
  return cipher;
}

// EncryptBuffer or DecryptBuffer over `in` in two calls split at byte `split`
// (0: one call), out of place or in place.
inline Bytes Crypt(RijndaelCipher& cipher, bool encrypt, int mode, const Bytes& in,
                   std::size_t split = 0, bool inPlace = false) {
  Bytes out = inPlace ? in : Bytes(in.size());
  const unsigned char* from = inPlace ? out.data() : in.data();
  const auto call = [&](std::size_t at, std::size_t n) {
    if (n == 0) return;
    if (encrypt)
      cipher.EncryptBuffer(from + at, out.data() + at, n, mode);
    else
      cipher.DecryptBuffer(from + at, out.data() + at, n, mode);
  };
  call(0, split);
  call(split, in.size() - split);
  return out;
}

inline std::string Chain(const RijndaelCipher& cipher) {
  return ToHex(cipher.GetChain(), static_cast<std::size_t>(cipher.GetBlockSize()));
}

}  // namespace vrel::test
