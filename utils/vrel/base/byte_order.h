// Words in byte buffers, independent of the host's byte order: big-endian
// (SHA-256, the cipher's columns) and little-endian (MD5). Destination first,
// as memcpy has it. Internal to the library.
#pragma once

#include <cstdint>

namespace vrel {

inline std::uint32_t LoadBigEndian(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
         std::uint32_t(p[3]);
}

inline void StoreBigEndian(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

inline std::uint32_t LoadLittleEndian(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

inline void StoreLittleEndian(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// Byte n of a word: 0 the least significant, 3 the most.
inline unsigned Byte(std::uint32_t w, int n) { return (w >> (8 * n)) & 0xff; }

}  // namespace vrel
