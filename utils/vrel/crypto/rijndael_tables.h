// Rijndael's constant tables, derived from the arithmetic of GF(2^8) with the
// polynomial x^8 + x^4 + x^3 + x + 1 (see rijndael_tables.cpp). Internal to
// the cipher; not part of the public interface.
#pragma once

#include <cstdint>

namespace vrel {
namespace rijndael {

// Words hold four state bytes with the first (row 0) in the most significant
// position.
struct Tables {
  std::uint8_t sbox[256];     // SubBytes
  std::uint8_t invSbox[256];  // InvSubBytes
  // Forward round tables: te[j][x] is the MixColumns column produced by a byte
  // x in row j after SubBytes; te[0][x] = (2s, s, s, 3s) with s = sbox[x], and
  // te[j] is te[0] rotated right by 8j bits.
  std::uint32_t te[4][256];
  // Inverse round tables, the same for InvSubBytes and InvMixColumns:
  // td[0][x] = (14t, 9t, 13t, 11t) with t = invSbox[x].
  std::uint32_t td[4][256];
};

// Computed at compile time; constant and shared by every cipher object.
extern const Tables kTables;

}  // namespace rijndael
}  // namespace vrel
