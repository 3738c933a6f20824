// MD5 message digest (RFC 1321): an incremental interface and a one-call form.
// The digest bytes are the RFC's, in its byte order, on every platform.
//
// Contexts are passed by reference (they are always there); byte runs and
// digests are passed as pointers. None of these functions allocates, throws or
// keeps state outside the context it is given.
#pragma once

#include <cstdint>

namespace vrel {

// A digest in progress. A plain record: the caller owns it and may copy it.
struct Md5Context {
  std::uint32_t state[4];     // chaining values A, B, C, D
  std::uint32_t bitCount[2];  // bits fed so far, mod 2^64: low word, high word
  unsigned char buffer[64];   // pending input, (bitCount[0] >> 3) % 64 bytes at its start
};

// Sets state to the RFC 1321 initial values and bitCount to 0. buffer is left
// as it is.
void Md5Init(Md5Context& ctx);

// Appends `length` bytes to the message. A length of 0 is allowed and changes
// nothing (`input` may then be null). Every complete 64-byte block is copied
// into ctx.buffer before it is compressed.
void Md5Update(Md5Context& ctx, const unsigned char* input, std::uint32_t length);

// Pads the message, writes the 16-byte digest (A, B, C, D, each least
// significant byte first) and then clears state[0] only: the rest of the
// context (B, C, D, bitCount, buffer) keeps its values. Call Md5Init before
// digesting another message; a second Md5Final without it writes a value that
// is not the digest of anything fed.
void Md5Final(unsigned char digest[16], Md5Context& ctx);

// The RFC 1321 compression of one 64-byte block into the four chaining words.
// Md5Update and Md5Final call it; clients normally don't.
void Md5Transform(std::uint32_t state[4], const unsigned char block[64]);

// The digest of `length` bytes in one call, through a zero-filled context of
// its own. `input` may be null when length is 0.
void Md5Compute(const unsigned char* input, std::uint32_t length, unsigned char digest[16]);

}  // namespace vrel
