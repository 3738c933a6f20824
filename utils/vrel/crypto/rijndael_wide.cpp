// 24- and 32-byte blocks (6 and 8 columns): the general round loop. Its two
// working arrays of Nb words live on the stack, so a block costs no heap
// traffic and cannot fail half-way through a buffer.
#include <cstring>

#include "vrel/crypto/rijndael_bytes.h"
#include "vrel/crypto/rijndael_rounds.h"
#include "vrel/crypto/rijndael_tables.h"

namespace vrel {
namespace rijndael {
namespace {

// ShiftRows moves row j left by Offset<Nb>(j) columns: 1, 2, 3 for 4 and 6
// columns, 1, 3, 4 for 8.
template <int Nb>
constexpr int Offset(int row) {
  return row == 0 ? 0 : (Nb == 8 && row > 1) ? row + 1 : row;
}

// One cipher for Nb columns, forward or inverse: `tables` are te or td,
// `box` the S-box or its inverse, and `shift[j]` how many columns to the
// right of word i the byte of row j comes from (Offset for encryption,
// Nb - Offset for the inverse).
template <int Nb>
inline void Run(const std::uint32_t (&tables)[4][256], const std::uint8_t* box,
                const int (&shift)[4], const RoundKeys& rk, int rounds,
                const unsigned char* in, unsigned char* out) {
  std::uint32_t s[Nb];
  std::uint32_t t[Nb];
  const std::uint32_t* k = rk[0].data();
  for (int i = 0; i < Nb; ++i) s[i] = LoadBe(in + 4 * i) ^ k[i];

  for (int r = 1; r < rounds; ++r) {
    k = rk[r].data();
    for (int i = 0; i < Nb; ++i) {
      t[i] = tables[0][Byte(s[i], 3)] ^ tables[1][Byte(s[(i + shift[1]) % Nb], 2)] ^
             tables[2][Byte(s[(i + shift[2]) % Nb], 1)] ^
             tables[3][Byte(s[(i + shift[3]) % Nb], 0)] ^ k[i];
    }
    std::memcpy(s, t, sizeof s);
  }

  k = rk[rounds].data();
  for (int i = 0; i < Nb; ++i) {
    const std::uint32_t w = std::uint32_t(box[Byte(s[i], 3)]) << 24 |
                            std::uint32_t(box[Byte(s[(i + shift[1]) % Nb], 2)]) << 16 |
                            std::uint32_t(box[Byte(s[(i + shift[2]) % Nb], 1)]) << 8 |
                            box[Byte(s[(i + shift[3]) % Nb], 0)];
    StoreBe(out + 4 * i, w ^ k[i]);
  }
}

template <int Nb>
void EncryptWide(const RoundKeys& rk, int rounds, const unsigned char* in, unsigned char* out) {
  static constexpr int kShift[4] = {0, Offset<Nb>(1), Offset<Nb>(2), Offset<Nb>(3)};
  Run<Nb>(kTables.te, kTables.sbox, kShift, rk, rounds, in, out);
}

template <int Nb>
void DecryptWide(const RoundKeys& rk, int rounds, const unsigned char* in, unsigned char* out) {
  static constexpr int kShift[4] = {0, Nb - Offset<Nb>(1), Nb - Offset<Nb>(2),
                                    Nb - Offset<Nb>(3)};
  Run<Nb>(kTables.td, kTables.invSbox, kShift, rk, rounds, in, out);
}

}  // namespace

BlockFunction EncryptFunction(int blockSize) {
  switch (blockSize) {
    case 16: return Encrypt16;
    case 24: return EncryptWide<6>;
    default: return EncryptWide<8>;
  }
}

BlockFunction DecryptFunction(int blockSize) {
  switch (blockSize) {
    case 16: return Decrypt16;
    case 24: return DecryptWide<6>;
    default: return DecryptWide<8>;
  }
}

}  // namespace rijndael
}  // namespace vrel
