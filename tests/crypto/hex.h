// Hex text to bytes and back, for the crypto tests' vector tables.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vrel {
namespace test {

inline std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes(hex.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

inline std::string ToHex(const unsigned char* bytes, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < n; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

inline std::string ToHex(const std::vector<unsigned char>& bytes) {
  return ToHex(bytes.data(), bytes.size());
}

}  // namespace test
}  // namespace vrel
