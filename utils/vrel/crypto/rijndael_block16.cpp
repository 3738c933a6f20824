// 16-byte blocks: every round written out over four state words held in
// locals, each round one lookup per byte in the four round tables.
#include "vrel/crypto/rijndael_bytes.h"
#include "vrel/crypto/rijndael_rounds.h"
#include "vrel/crypto/rijndael_tables.h"

namespace vrel {
namespace rijndael {
namespace {

// SubBytes, ShiftRows (row j moves left by j), MixColumns and AddRoundKey.
inline void EncryptRound(const std::uint32_t* k, std::uint32_t s0, std::uint32_t s1,
                         std::uint32_t s2, std::uint32_t s3, std::uint32_t& t0,
                         std::uint32_t& t1, std::uint32_t& t2, std::uint32_t& t3) {
  const auto& te = kTables.te;
  t0 = te[0][Byte(s0, 3)] ^ te[1][Byte(s1, 2)] ^ te[2][Byte(s2, 1)] ^ te[3][Byte(s3, 0)] ^ k[0];
  t1 = te[0][Byte(s1, 3)] ^ te[1][Byte(s2, 2)] ^ te[2][Byte(s3, 1)] ^ te[3][Byte(s0, 0)] ^ k[1];
  t2 = te[0][Byte(s2, 3)] ^ te[1][Byte(s3, 2)] ^ te[2][Byte(s0, 1)] ^ te[3][Byte(s1, 0)] ^ k[2];
  t3 = te[0][Byte(s3, 3)] ^ te[1][Byte(s0, 2)] ^ te[2][Byte(s1, 1)] ^ te[3][Byte(s2, 0)] ^ k[3];
}

// The equivalent inverse round: InvSubBytes, InvShiftRows (row j moves right
// by j), InvMixColumns and AddRoundKey with a transformed round key.
inline void DecryptRound(const std::uint32_t* k, std::uint32_t s0, std::uint32_t s1,
                         std::uint32_t s2, std::uint32_t s3, std::uint32_t& t0,
                         std::uint32_t& t1, std::uint32_t& t2, std::uint32_t& t3) {
  const auto& td = kTables.td;
  t0 = td[0][Byte(s0, 3)] ^ td[1][Byte(s3, 2)] ^ td[2][Byte(s2, 1)] ^ td[3][Byte(s1, 0)] ^ k[0];
  t1 = td[0][Byte(s1, 3)] ^ td[1][Byte(s0, 2)] ^ td[2][Byte(s3, 1)] ^ td[3][Byte(s2, 0)] ^ k[1];
  t2 = td[0][Byte(s2, 3)] ^ td[1][Byte(s1, 2)] ^ td[2][Byte(s0, 1)] ^ td[3][Byte(s3, 0)] ^ k[2];
  t3 = td[0][Byte(s3, 3)] ^ td[1][Byte(s2, 2)] ^ td[2][Byte(s1, 1)] ^ td[3][Byte(s0, 0)] ^ k[3];
}

// Last round: the S-box image of the bytes the rounds above pick, with no
// (Inv)MixColumns, XORed with the last round key.
inline void StoreLastRound(const std::uint8_t* box, const std::uint32_t* k, std::uint32_t a,
                           std::uint32_t b, std::uint32_t c, std::uint32_t d, unsigned char* out) {
  const std::uint32_t w = std::uint32_t(box[Byte(a, 3)]) << 24 |
                          std::uint32_t(box[Byte(b, 2)]) << 16 |
                          std::uint32_t(box[Byte(c, 1)]) << 8 | box[Byte(d, 0)];
  StoreBe(out, w ^ k[0]);
}

}  // namespace

void Encrypt16(const RoundKeys& rk, int rounds, const unsigned char* in, unsigned char* out) {
  const std::uint32_t* k = rk[0].data();
  std::uint32_t s0 = LoadBe(in) ^ k[0];
  std::uint32_t s1 = LoadBe(in + 4) ^ k[1];
  std::uint32_t s2 = LoadBe(in + 8) ^ k[2];
  std::uint32_t s3 = LoadBe(in + 12) ^ k[3];
  std::uint32_t t0, t1, t2, t3;

  EncryptRound(rk[1].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  EncryptRound(rk[2].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  EncryptRound(rk[3].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  EncryptRound(rk[4].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  EncryptRound(rk[5].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  EncryptRound(rk[6].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  EncryptRound(rk[7].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  EncryptRound(rk[8].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  EncryptRound(rk[9].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  if (rounds > 10) {
    EncryptRound(rk[10].data(), t0, t1, t2, t3, s0, s1, s2, s3);
    EncryptRound(rk[11].data(), s0, s1, s2, s3, t0, t1, t2, t3);
    if (rounds > 12) {
      EncryptRound(rk[12].data(), t0, t1, t2, t3, s0, s1, s2, s3);
      EncryptRound(rk[13].data(), s0, s1, s2, s3, t0, t1, t2, t3);
    }
  }

  const std::uint8_t* box = kTables.sbox;
  k = rk[rounds].data();
  StoreLastRound(box, k, t0, t1, t2, t3, out);
  StoreLastRound(box, k + 1, t1, t2, t3, t0, out + 4);
  StoreLastRound(box, k + 2, t2, t3, t0, t1, out + 8);
  StoreLastRound(box, k + 3, t3, t0, t1, t2, out + 12);
}

void Decrypt16(const RoundKeys& rk, int rounds, const unsigned char* in, unsigned char* out) {
  const std::uint32_t* k = rk[0].data();
  std::uint32_t s0 = LoadBe(in) ^ k[0];
  std::uint32_t s1 = LoadBe(in + 4) ^ k[1];
  std::uint32_t s2 = LoadBe(in + 8) ^ k[2];
  std::uint32_t s3 = LoadBe(in + 12) ^ k[3];
  std::uint32_t t0, t1, t2, t3;

  DecryptRound(rk[1].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  DecryptRound(rk[2].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  DecryptRound(rk[3].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  DecryptRound(rk[4].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  DecryptRound(rk[5].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  DecryptRound(rk[6].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  DecryptRound(rk[7].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  DecryptRound(rk[8].data(), t0, t1, t2, t3, s0, s1, s2, s3);
  DecryptRound(rk[9].data(), s0, s1, s2, s3, t0, t1, t2, t3);
  if (rounds > 10) {
    DecryptRound(rk[10].data(), t0, t1, t2, t3, s0, s1, s2, s3);
    DecryptRound(rk[11].data(), s0, s1, s2, s3, t0, t1, t2, t3);
    if (rounds > 12) {
      DecryptRound(rk[12].data(), t0, t1, t2, t3, s0, s1, s2, s3);
      DecryptRound(rk[13].data(), s0, s1, s2, s3, t0, t1, t2, t3);
    }
  }

  const std::uint8_t* box = kTables.invSbox;
  k = rk[rounds].data();
  StoreLastRound(box, k, t0, t3, t2, t1, out);
  StoreLastRound(box, k + 1, t1, t0, t3, t2, out + 4);
  StoreLastRound(box, k + 2, t2, t1, t0, t3, out + 8);
  StoreLastRound(box, k + 3, t3, t2, t1, t0, out + 12);
}

}  // namespace rijndael
}  // namespace vrel
