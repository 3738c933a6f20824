// MD5 (RFC 1321). The compression is one straight run of the 64 steps with
// the step constants and shift amounts written in place.
#include "vrel/crypto/md5.h"

#include <cstring>

#include "vrel/base/byte_order.h"

namespace vrel {
namespace {

inline std::uint32_t RotateLeft(std::uint32_t x, int s) {
  return (x << s) | (x >> (32 - s));
}

// The four step kinds: a = b + ((a + f(b, c, d) + x + t) <<< s), with f the
// round's function. F and G use equivalent forms that need one operation
// fewer than the RFC's (b & c) | (~b & d) and (b & d) | (c & ~d); in G the
// two terms never share a set bit, so they may be added instead of ORed,
// which lets them join the sum independently.
inline void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  a += (d ^ (b & (c ^ d))) + x + t;
  a = RotateLeft(a, s) + b;
}

inline void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  a += (c & ~d) + x + t + (b & d);
  a = RotateLeft(a, s) + b;
}

inline void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  a += (b ^ c ^ d) + x + t;
  a = RotateLeft(a, s) + b;
}

inline void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  a += (c ^ (b | ~d)) + x + t;
  a = RotateLeft(a, s) + b;
}

}  // namespace

void Md5Transform(std::uint32_t state[4], const unsigned char block[64]) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(block + 4 * i);
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  // Round 1: F, message words in order.
  StepF(a, b, c, d, x[0], 7, 0xd76aa478);
  StepF(d, a, b, c, x[1], 12, 0xe8c7b756);
  StepF(c, d, a, b, x[2], 17, 0x242070db);
  StepF(b, c, d, a, x[3], 22, 0xc1bdceee);
  StepF(a, b, c, d, x[4], 7, 0xf57c0faf);
  StepF(d, a, b, c, x[5], 12, 0x4787c62a);
  StepF(c, d, a, b, x[6], 17, 0xa8304613);
  StepF(b, c, d, a, x[7], 22, 0xfd469501);
  StepF(a, b, c, d, x[8], 7, 0x698098d8);
  StepF(d, a, b, c, x[9], 12, 0x8b44f7af);
  StepF(c, d, a, b, x[10], 17, 0xffff5bb1);
  StepF(b, c, d, a, x[11], 22, 0x895cd7be);
  StepF(a, b, c, d, x[12], 7, 0x6b901122);
  StepF(d, a, b, c, x[13], 12, 0xfd987193);
  StepF(c, d, a, b, x[14], 17, 0xa679438e);
  StepF(b, c, d, a, x[15], 22, 0x49b40821);
  // Round 2: G, message words 1 + 5i mod 16.
  StepG(a, b, c, d, x[1], 5, 0xf61e2562);
  StepG(d, a, b, c, x[6], 9, 0xc040b340);
  StepG(c, d, a, b, x[11], 14, 0x265e5a51);
  StepG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  StepG(a, b, c, d, x[5], 5, 0xd62f105d);
  StepG(d, a, b, c, x[10], 9, 0x02441453);
  StepG(c, d, a, b, x[15], 14, 0xd8a1e681);
  StepG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  StepG(a, b, c, d, x[9], 5, 0x21e1cde6);
  StepG(d, a, b, c, x[14], 9, 0xc33707d6);
  StepG(c, d, a, b, x[3], 14, 0xf4d50d87);
  StepG(b, c, d, a, x[8], 20, 0x455a14ed);
  StepG(a, b, c, d, x[13], 5, 0xa9e3e905);
  StepG(d, a, b, c, x[2], 9, 0xfcefa3f8);
  StepG(c, d, a, b, x[7], 14, 0x676f02d9);
  StepG(b, c, d, a, x[12], 20, 0x8d2a4c8a);
  // Round 3: H, message words 5 + 3i mod 16.
  StepH(a, b, c, d, x[5], 4, 0xfffa3942);
  StepH(d, a, b, c, x[8], 11, 0x8771f681);
  StepH(c, d, a, b, x[11], 16, 0x6d9d6122);
  StepH(b, c, d, a, x[14], 23, 0xfde5380c);
  StepH(a, b, c, d, x[1], 4, 0xa4beea44);
  StepH(d, a, b, c, x[4], 11, 0x4bdecfa9);
  StepH(c, d, a, b, x[7], 16, 0xf6bb4b60);
  StepH(b, c, d, a, x[10], 23, 0xbebfbc70);
  StepH(a, b, c, d, x[13], 4, 0x289b7ec6);
  StepH(d, a, b, c, x[0], 11, 0xeaa127fa);
  StepH(c, d, a, b, x[3], 16, 0xd4ef3085);
  StepH(b, c, d, a, x[6], 23, 0x04881d05);
  StepH(a, b, c, d, x[9], 4, 0xd9d4d039);
  StepH(d, a, b, c, x[12], 11, 0xe6db99e5);
  StepH(c, d, a, b, x[15], 16, 0x1fa27cf8);
  StepH(b, c, d, a, x[2], 23, 0xc4ac5665);
  // Round 4: I, message words 7i mod 16.
  StepI(a, b, c, d, x[0], 6, 0xf4292244);
  StepI(d, a, b, c, x[7], 10, 0x432aff97);
  StepI(c, d, a, b, x[14], 15, 0xab9423a7);
  StepI(b, c, d, a, x[5], 21, 0xfc93a039);
  StepI(a, b, c, d, x[12], 6, 0x655b59c3);
  StepI(d, a, b, c, x[3], 10, 0x8f0ccc92);
  StepI(c, d, a, b, x[10], 15, 0xffeff47d);
  StepI(b, c, d, a, x[1], 21, 0x85845dd1);
  StepI(a, b, c, d, x[8], 6, 0x6fa87e4f);
  StepI(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  StepI(c, d, a, b, x[6], 15, 0xa3014314);
  StepI(b, c, d, a, x[13], 21, 0x4e0811a1);
  StepI(a, b, c, d, x[4], 6, 0xf7537e82);
  StepI(d, a, b, c, x[11], 10, 0xbd3af235);
  StepI(c, d, a, b, x[2], 15, 0x2ad7d2bb);
  StepI(b, c, d, a, x[9], 21, 0xeb86d391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void Md5Init(Md5Context& ctx) {
  ctx.state[0] = 0x67452301;
  ctx.state[1] = 0xefcdab89;
  ctx.state[2] = 0x98badcfe;
  ctx.state[3] = 0x10325476;
  ctx.bitCount[0] = 0;
  ctx.bitCount[1] = 0;
}

void Md5Update(Md5Context& ctx, const unsigned char* input, std::uint32_t length) {
  if (length == 0) return;  // nothing to count or copy (and input may be null)
  std::uint32_t index = (ctx.bitCount[0] >> 3) & 63;

  const std::uint32_t oldLow = ctx.bitCount[0];
  ctx.bitCount[0] += length << 3;
  if (ctx.bitCount[0] < oldLow) ++ctx.bitCount[1];
  ctx.bitCount[1] += length >> 29;

  if (index > 0) {
    const std::uint32_t room = 64 - index;
    if (length < room) {
      std::memcpy(ctx.buffer + index, input, length);
      return;
    }
    std::memcpy(ctx.buffer + index, input, room);
    Md5Transform(ctx.state, ctx.buffer);
    input += room;
    length -= room;
  }
  // Whole blocks go through the context's buffer too, never compressed in
  // the caller's memory.
  for (; length >= 64; input += 64, length -= 64) {
    std::memcpy(ctx.buffer, input, 64);
    Md5Transform(ctx.state, ctx.buffer);
  }
  if (length > 0) std::memcpy(ctx.buffer, input, length);
}

void Md5Final(unsigned char digest[16], Md5Context& ctx) {
  const std::uint32_t index = (ctx.bitCount[0] >> 3) & 63;
  ctx.buffer[index] = 0x80;
  if (index >= 56) {
    // No room for the 8-byte length after the 0x80: one more block.
    std::memset(ctx.buffer + index + 1, 0, 63 - index);
    Md5Transform(ctx.state, ctx.buffer);
    std::memset(ctx.buffer, 0, 56);
  } else {
    std::memset(ctx.buffer + index + 1, 0, 55 - index);
  }
  StoreLittleEndian(ctx.buffer + 56, ctx.bitCount[0]);
  StoreLittleEndian(ctx.buffer + 60, ctx.bitCount[1]);
  Md5Transform(ctx.state, ctx.buffer);

  for (int i = 0; i < 4; ++i) StoreLittleEndian(digest + 4 * i, ctx.state[i]);
  ctx.state[0] = 0;  // only A: the rest of the context is left as it is
}

void Md5Compute(const unsigned char* input, std::uint32_t length, unsigned char digest[16]) {
  Md5Context ctx{};
  Md5Init(ctx);
  Md5Update(ctx, input, length);
  Md5Final(digest, ctx);
}

}  // namespace vrel
