// SHA-256 message digest (FIPS 180-4): an incremental interface and a one-call
// form. The digest bytes are the standard's (big-endian words) on every
// platform. None of these functions allocates, throws or keeps state outside
// the context it is given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrel {

constexpr std::size_t kSha256BlockSize = 64;
constexpr std::size_t kSha256DigestSize = 32;

// A digest in progress. A plain record: the caller owns it and may copy it.
struct Sha256Context {
  std::uint32_t state[8];                  // hash values H0..H7
  std::uint64_t byteCount;                 // bytes fed so far
  unsigned char buffer[kSha256BlockSize];  // pending input, byteCount % 64 bytes at its start
};

// Sets the FIPS 180-4 initial hash values and a zero byte count.
void Sha256Init(Sha256Context& ctx);

// Appends `length` bytes to the message; `input` may be null when length is 0.
void Sha256Update(Sha256Context& ctx, const unsigned char* input, std::size_t length);

// Pads the message, writes the 32-byte digest and wipes the context; call
// Sha256Init before digesting another message.
void Sha256Final(Sha256Context& ctx, unsigned char digest[kSha256DigestSize]);

// The digest of `length` bytes in one call.
void Sha256Compute(const unsigned char* input, std::size_t length,
                   unsigned char digest[kSha256DigestSize]);

}  // namespace vrel
