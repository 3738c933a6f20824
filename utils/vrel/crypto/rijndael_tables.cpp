// Rijndael's tables, computed at compile time from their definition: the
// S-box is the multiplicative inverse in GF(2^8) followed by the affine map,
// and the round tables combine the S-boxes with (Inv)MixColumns.
#include "vrel/crypto/rijndael_tables.h"

namespace vrel {
namespace rijndael {
namespace {

// Multiplication by x, reducing by x^8 + x^4 + x^3 + x + 1.
constexpr std::uint8_t XTime(std::uint8_t a) {
  return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0x00));
}

constexpr std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  for (; b != 0; b >>= 1, a = XTime(a)) {
    if (b & 1) product ^= a;
  }
  return product;
}

constexpr std::uint8_t RotateLeft8(std::uint8_t b, int n) {
  return static_cast<std::uint8_t>((b << n) | (b >> (8 - n)));
}

constexpr std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return std::uint32_t(b0) << 24 | std::uint32_t(b1) << 16 | std::uint32_t(b2) << 8 | b3;
}

constexpr std::uint32_t RotateRight(std::uint32_t w, int n) {
  return n == 0 ? w : (w >> n) | (w << (32 - n));
}

constexpr Tables MakeTables() {
  Tables t{};

  // Powers of the generator x + 1 list every non-zero element once; the
  // inverse of g^i is g^(255 - i).
  std::uint8_t power[255]{};
  std::uint8_t log[256]{};
  std::uint8_t g = 1;
  for (int i = 0; i < 255; ++i) {
    power[i] = g;
    log[g] = static_cast<std::uint8_t>(i);
    g = static_cast<std::uint8_t>(g ^ XTime(g));  // g * (x + 1)
  }

  for (int x = 0; x < 256; ++x) {
    const std::uint8_t inverse = x == 0 ? 0 : power[(255 - log[x]) % 255];
    const std::uint8_t s = static_cast<std::uint8_t>(
        inverse ^ RotateLeft8(inverse, 1) ^ RotateLeft8(inverse, 2) ^ RotateLeft8(inverse, 3) ^
        RotateLeft8(inverse, 4) ^ 0x63);
    t.sbox[x] = s;
    t.invSbox[s] = static_cast<std::uint8_t>(x);
  }

  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = t.sbox[x];
    const std::uint8_t v = t.invSbox[x];
    const std::uint32_t forward = Word(Multiply(s, 2), s, s, Multiply(s, 3));
    const std::uint32_t inverse =
        Word(Multiply(v, 14), Multiply(v, 9), Multiply(v, 13), Multiply(v, 11));
    for (int j = 0; j < 4; ++j) {
      t.te[j][x] = RotateRight(forward, 8 * j);
      t.td[j][x] = RotateRight(inverse, 8 * j);
    }
  }
  return t;
}

}  // namespace

constexpr Tables kTables = MakeTables();

}  // namespace rijndael
}  // namespace vrel
