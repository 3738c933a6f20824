// Big-endian word access shared by the cipher's files: the first byte of a
// column is its most significant. Internal to the cipher.
#pragma once

#include <cstdint>

namespace vrel {
namespace rijndael {

inline std::uint32_t LoadBe(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
         std::uint32_t(p[3]);
}

inline void StoreBe(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

inline unsigned Byte(std::uint32_t w, int n) { return (w >> (8 * n)) & 0xff; }  // n = 3 is the MSB

}  // namespace rijndael
}  // namespace vrel
