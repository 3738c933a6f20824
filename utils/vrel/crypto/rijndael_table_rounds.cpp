// The portable rounds for every block size: one table lookup per state byte
// and round. The column count is a template parameter and every per-column
// step is expanded at compile time, so the state lives in registers with
// constant byte positions at any optimisation level, without relying on the
// compiler to unroll loops.
#include <utility>

#include "vrel/base/byte_order.h"
#include "vrel/crypto/rijndael_rounds.h"
#include "vrel/crypto/rijndael_tables.h"

namespace vrel {
namespace rijndael {
namespace {

// The per-round helpers are inlined whatever the optimisation level, so that
// the state arrays become registers (at -O2 GCC would otherwise call them with
// the state in memory).
#define VREL_ROUND_INLINE inline __attribute__((always_inline))

template <int Nb>
using Columns = std::make_integer_sequence<int, Nb>;

// ShiftRows moves row j left by Offset<Nb>(j) columns: 1, 2, 3 for 4 and 6
// columns, 1, 3, 4 for 8.
template <int Nb>
constexpr int Offset(int row) {
  return row == 0 ? 0 : (Nb == 8 && row > 1) ? row + 1 : row;
}

// The column whose byte in `row` lands in column i: to the right for the
// cipher, to the left for the inverse.
template <int Nb, bool Inverse>
constexpr int From(int i, int row) {
  return (i + (Inverse ? Nb - Offset<Nb>(row) : Offset<Nb>(row))) % Nb;
}

template <int Nb, int... I>
VREL_ROUND_INLINE void AddFirstKey(const unsigned char* in, const std::uint32_t* k,
                                   std::uint32_t (&s)[Nb], std::integer_sequence<int, I...>) {
  ((s[I] = LoadBigEndian(in + 4 * I) ^ k[I]), ...);
}

// (Inv)SubBytes, (Inv)ShiftRows, (Inv)MixColumns and AddRoundKey: te holds
// the first three for the cipher, td for the equivalent inverse cipher.
template <int Nb, bool Inverse, int... I>
VREL_ROUND_INLINE void Round(const std::uint32_t (&s)[Nb], std::uint32_t (&t)[Nb],
                             const std::uint32_t* k, std::integer_sequence<int, I...>) {
  const auto& tb = Inverse ? kTables.td : kTables.te;
  ((t[I] = tb[0][Byte(s[I], 3)] ^ tb[1][Byte(s[From<Nb, Inverse>(I, 1)], 2)] ^
           tb[2][Byte(s[From<Nb, Inverse>(I, 2)], 1)] ^ tb[3][Byte(s[From<Nb, Inverse>(I, 3)], 0)] ^
           k[I]),
   ...);
}

// The last round has no (Inv)MixColumns: the S-box image of the same bytes.
template <int Nb, bool Inverse, int... I>
VREL_ROUND_INLINE void LastRound(const std::uint32_t (&s)[Nb], const std::uint32_t* k,
                                 unsigned char* out, std::integer_sequence<int, I...>) {
  const std::uint8_t* box = Inverse ? kTables.invSbox : kTables.sbox;
  (StoreBigEndian(out + 4 * I, (std::uint32_t(box[Byte(s[I], 3)]) << 24 |
                         std::uint32_t(box[Byte(s[From<Nb, Inverse>(I, 1)], 2)]) << 16 |
                         std::uint32_t(box[Byte(s[From<Nb, Inverse>(I, 2)], 1)]) << 8 |
                         box[Byte(s[From<Nb, Inverse>(I, 3)], 0)]) ^
                            k[I]),
   ...);
}

template <int Nb, int Stride, bool Inverse>
void Block(const std::uint32_t* k, int rounds, const unsigned char* in, unsigned char* out) {
  std::uint32_t s[Nb];
  std::uint32_t t[Nb];
  AddFirstKey<Nb>(in, k, s, Columns<Nb>{});
  // rounds is 10, 12 or 14, so the full rounds 1..rounds-1 are an odd count:
  // pairs that end with the state back in s, then one more.
  for (int r = 1; r < rounds - 1; r += 2) {
    Round<Nb, Inverse>(s, t, k + r * Stride, Columns<Nb>{});
    Round<Nb, Inverse>(t, s, k + (r + 1) * Stride, Columns<Nb>{});
  }
  Round<Nb, Inverse>(s, t, k + (rounds - 1) * Stride, Columns<Nb>{});
  LastRound<Nb, Inverse>(t, k + rounds * Stride, out, Columns<Nb>{});
}

template <bool Inverse>
BlockFunction Function(int columns, int stride) {
  if (columns == 4) {
    return stride == 4   ? Block<4, 4, Inverse>
           : stride == 6 ? Block<4, 6, Inverse>
                         : Block<4, 8, Inverse>;
  }
  return columns == 6 ? Block<6, 6, Inverse> : Block<8, 8, Inverse>;
}

}  // namespace

BlockFunction EncryptFunction(int columns, int stride) { return Function<false>(columns, stride); }
BlockFunction DecryptFunction(int columns, int stride) { return Function<true>(columns, stride); }

}  // namespace rijndael
}  // namespace vrel
