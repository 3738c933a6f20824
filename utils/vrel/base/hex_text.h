// Hexadecimal text: bytes as digit pairs and digit pairs as bytes. Shared by
// the interface reader, the WMI stand-in, the card parsers and the
// fingerprint's texts. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vrel {

enum class HexCase { kLower, kUpper };

// Appends `size` bytes to `out` as digit pairs, the high digit first, with
// `separator` between pairs ('\0': none).
void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t size,
               char separator = '\0', HexCase letters = HexCase::kLower);

// Replaces `out` with the bytes of `text`: digit pairs of either case with
// `separator` between them ('\0': none). False, `out` empty, for any other text.
bool ParseHex(std::vector<std::uint8_t>& out, std::string_view text, char separator = '\0');

// The value of one hexadecimal digit of either case; -1 for any other character.
template <typename Char>
constexpr int HexDigitValue(Char c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

}  // namespace vrel
