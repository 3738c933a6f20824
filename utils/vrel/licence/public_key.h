// Public key texts: the licence signer's P-256 key as one line of ASCII
// without blanks, for an application to embed as a string constant:
//     vrel-p256-<key id>-<point>
// <point> is the SEC 1 uncompressed point (0x04, X, Y: 65 bytes) in
// unpadded base64url (RFC 4648 section 5, 87 characters); <key id> is the
// first 8 bytes of the SHA-256 of those 65 bytes in 16 lower-case hex
// digits, which licence files name. A text is 114 characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "vrel/licence/ecdsa.h"

namespace vrel {

constexpr std::size_t kLicenceKeyIdSize = 8;
using LicenceKeyId = std::array<std::uint8_t, kLicenceKeyIdSize>;
constexpr std::size_t kPublicKeyTextLength = 10 + 2 * kLicenceKeyIdSize + 1 + 87;

LicenceKeyId KeyIdOf(const P256Point& point);
std::string KeyIdText(const LicenceKeyId& id);  // 16 lower-case hex digits

// The text of `point` (not checked: the signer's own key).
std::string FormatPublicKey(const P256Point& point);

// `ok` with the point and its id, or a one-line `error`: the form above
// exactly, a key id that is the point's, and a point the platform's
// cryptography takes as a P-256 key (on the curve).
struct ParsedPublicKey {
  bool ok = false;
  P256Point point{};
  LicenceKeyId id{};
  std::string error;
};
ParsedPublicKey ParsePublicKey(std::string_view text);

}  // namespace vrel
