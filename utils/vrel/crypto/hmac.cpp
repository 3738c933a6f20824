#include "vrel/crypto/hmac.h"

#include "vrel/crypto/wipe.h"

namespace vrel {

void HmacSha256Init(HmacSha256Context& ctx, const unsigned char* key, std::size_t keyLength) {
  // K0: the key, or its digest when longer than a block, zero-padded to a block.
  unsigned char block[kSha256BlockSize] = {};
  if (keyLength > kSha256BlockSize) {
    Sha256Compute(key, keyLength, block);
  } else {
    for (std::size_t i = 0; i < keyLength; ++i) block[i] = key[i];
  }
  unsigned char pad[kSha256BlockSize];
  for (std::size_t i = 0; i < kSha256BlockSize; ++i) pad[i] = block[i] ^ 0x36;
  Sha256Init(ctx.inner);
  Sha256Update(ctx.inner, pad, sizeof pad);
  for (std::size_t i = 0; i < kSha256BlockSize; ++i) pad[i] = block[i] ^ 0x5c;
  Sha256Init(ctx.outer);
  Sha256Update(ctx.outer, pad, sizeof pad);
  Wipe(block, sizeof block);
  Wipe(pad, sizeof pad);
}

void HmacSha256Update(HmacSha256Context& ctx, const unsigned char* input, std::size_t length) {
  Sha256Update(ctx.inner, input, length);
}

void HmacSha256Final(HmacSha256Context& ctx, unsigned char mac[kSha256DigestSize]) {
  unsigned char innerDigest[kSha256DigestSize];
  Sha256Final(ctx.inner, innerDigest);
  Sha256Update(ctx.outer, innerDigest, sizeof innerDigest);
  Sha256Final(ctx.outer, mac);
  Wipe(innerDigest, sizeof innerDigest);
}

void HmacSha256(const unsigned char* key, std::size_t keyLength, const unsigned char* input,
                std::size_t length, unsigned char mac[kSha256DigestSize]) {
  HmacSha256Context ctx;
  HmacSha256Init(ctx, key, keyLength);
  HmacSha256Update(ctx, input, length);
  HmacSha256Final(ctx, mac);
}

}  // namespace vrel
