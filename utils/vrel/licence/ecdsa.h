// ECDSA over P-256 with SHA-256 (FIPS 186-5), checked by the platform's own
// cryptography: libcrypto's EVP on Linux (ecdsa_posix.cpp), CNG on Windows
// (ecdsa_win32.cpp). Nothing here computes on the curve. Internal to the
// licence library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vrel {

// A public key as SEC 1 writes an uncompressed point: 0x04, X, Y (32 bytes each, big-endian).
constexpr std::size_t kP256PointSize = 65;
using P256Point = std::array<std::uint8_t, kP256PointSize>;
// A signature as r || s, 32 bytes each, big-endian (IEEE P1363).
constexpr std::size_t kP256SignatureSize = 64;

// Whether the platform takes `point` as a P-256 public key: the uncompressed
// form, on the curve, not the point at infinity.
bool IsP256PublicKey(const P256Point& point);

// Whether `signature` (any length: only kP256SignatureSize can be right) is a
// valid signature of `message` under `point`. False for a point the platform
// refuses. Throws std::bad_alloc only.
bool VerifyP256Sha256(const P256Point& point, const std::uint8_t* message, std::size_t messageSize,
                      const std::uint8_t* signature, std::size_t signatureSize);

}  // namespace vrel
