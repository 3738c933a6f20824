// HMAC (RFC 2104) over SHA-256: a keyed digest, incremental or in one call.
// Keys longer than the 64-byte block are first hashed, as RFC 2104 says; any
// key length, zero included, is accepted. None of these functions allocates
// or throws.
#pragma once

#include <cstddef>

#include "vrel/crypto/sha256.h"

namespace vrel {

// A keyed digest in progress: the inner hash, already fed the inner key pad,
// and the outer hash, already fed the outer key pad.
struct HmacSha256Context {
  Sha256Context inner;
  Sha256Context outer;
};

// Starts a keyed digest; `key` may be null when keyLength is 0. The context
// keeps no copy of the key itself.
void HmacSha256Init(HmacSha256Context& ctx, const unsigned char* key, std::size_t keyLength);

// Appends `length` bytes to the message.
void HmacSha256Update(HmacSha256Context& ctx, const unsigned char* input, std::size_t length);

// Writes the 32-byte code and wipes the context.
void HmacSha256Final(HmacSha256Context& ctx, unsigned char mac[kSha256DigestSize]);

// The code of `length` bytes under `key` in one call.
void HmacSha256(const unsigned char* key, std::size_t keyLength, const unsigned char* input,
                std::size_t length, unsigned char mac[kSha256DigestSize]);

}  // namespace vrel
