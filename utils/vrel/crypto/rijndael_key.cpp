// Rijndael's key schedule and the round keys of the equivalent inverse
// cipher.
#include "vrel/base/byte_order.h"
#include "vrel/crypto/rijndael_rounds.h"
#include "vrel/crypto/rijndael_tables.h"

namespace vrel {
namespace rijndael {
namespace {

constexpr int kMaxWords = (14 + 1) * 8;  // (rounds + 1) * Nb at most

// The S-box applied to each byte of a word.
std::uint32_t SubWord(std::uint32_t w) {
  const std::uint8_t* s = kTables.sbox;
  return std::uint32_t(s[Byte(w, 3)]) << 24 | std::uint32_t(s[Byte(w, 2)]) << 16 |
         std::uint32_t(s[Byte(w, 1)]) << 8 | s[Byte(w, 0)];
}

// One byte to the left: the most significant byte moves to the least
// significant place.
std::uint32_t RotWord(std::uint32_t w) { return (w << 8) | (w >> 24); }

// InvMixColumns of one column. td[j][x] is InvMixColumns of invSbox[x] in
// row j, so looking up sbox[b] leaves InvMixColumns of b alone.
std::uint32_t InvMixColumn(std::uint32_t w) {
  const auto& td = kTables.td;
  const std::uint8_t* s = kTables.sbox;
  return td[0][s[Byte(w, 3)]] ^ td[1][s[Byte(w, 2)]] ^ td[2][s[Byte(w, 1)]] ^
         td[3][s[Byte(w, 0)]];
}

}  // namespace

void ExpandKey(const unsigned char* key, int nk, int nb, int rounds, bool byteRows,
               std::vector<std::uint32_t>& keys) {
  const int total = (rounds + 1) * nb;
  std::uint32_t w[kMaxWords];
  for (int i = 0; i < nk; ++i) w[i] = LoadBigEndian(key + 4 * i);

  std::uint32_t rcon = 0x01;  // x^(i/nk - 1) in GF(2^8)
  for (int i = nk; i < total; ++i) {
    std::uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = SubWord(RotWord(temp)) ^ (rcon << 24);
      rcon = ((rcon << 1) ^ ((rcon & 0x80) ? 0x1b : 0)) & 0xff;
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }

  std::vector<std::uint32_t> out(static_cast<std::size_t>(byteRows ? 4 * total : 2 * total));
  std::uint32_t* enc = out.data();
  std::uint32_t* dec = enc + total;
  for (int t = 0; t < total; ++t) {
    const int row = t / nb;
    const int column = t % nb;
    enc[t] = w[t];
    dec[(rounds - row) * nb + column] = (row == 0 || row == rounds) ? w[t] : InvMixColumn(w[t]);
  }
  if (byteRows) {
    // The same words again, each stored first byte first, so that a row reads
    // as 16 bytes in the order of the block's bytes.
    unsigned char* bytes = reinterpret_cast<unsigned char*>(dec + total);
    for (int t = 0; t < 2 * total; ++t) StoreBigEndian(bytes + 4 * t, enc[t]);
  }
  keys.swap(out);
}

}  // namespace rijndael
}  // namespace vrel
