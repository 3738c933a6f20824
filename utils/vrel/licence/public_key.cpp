#include "vrel/licence/public_key.h"

#include <vector>

#include "vrel/base/hex_text.h"
#include "vrel/crypto/sha256.h"
#include "vrel/licence/base64.h"

namespace vrel {
namespace {

constexpr std::string_view kPrefix = "vrel-p256-";

ParsedPublicKey Refused(std::string error) {
  ParsedPublicKey parsed;
  parsed.error = std::move(error);
  return parsed;
}

}  // namespace

LicenceKeyId KeyIdOf(const P256Point& point) {
  unsigned char digest[kSha256DigestSize];
  Sha256Compute(point.data(), point.size(), digest);
  LicenceKeyId id;
  std::copy(digest, digest + id.size(), id.begin());
  return id;
}

std::string KeyIdText(const LicenceKeyId& id) {
  std::string text;
  AppendHex(text, id.data(), id.size());
  return text;
}

std::string FormatPublicKey(const P256Point& point) {
  return std::string(kPrefix) + KeyIdText(KeyIdOf(point)) + "-" +
         EncodeBase64(point.data(), point.size(), Base64Alphabet::kUrl);
}

ParsedPublicKey ParsePublicKey(std::string_view text) {
  if (text.size() != kPublicKeyTextLength || text.substr(0, kPrefix.size()) != kPrefix ||
      text[kPrefix.size() + 2 * kLicenceKeyIdSize] != '-') {
    return Refused("not a public key text (vrel-p256-<key id>-<point>)");
  }
  const std::string_view idText = text.substr(kPrefix.size(), 2 * kLicenceKeyIdSize);
  std::vector<std::uint8_t> bytes;
  // The text's length leaves 87 characters for the point: 65 bytes once they decode.
  if (!DecodeBase64(bytes, text.substr(kPrefix.size() + idText.size() + 1), Base64Alphabet::kUrl) ||
      bytes[0] != 0x04) {
    return Refused("the public key's point is not an uncompressed P-256 point");
  }
  ParsedPublicKey parsed;
  std::copy(bytes.begin(), bytes.end(), parsed.point.begin());
  parsed.id = KeyIdOf(parsed.point);
  if (KeyIdText(parsed.id) != idText) return Refused("the public key's key id is not its point's");
  if (!IsP256PublicKey(parsed.point)) return Refused("the public key's point is not on P-256");
  parsed.ok = true;
  return parsed;
}

}  // namespace vrel
