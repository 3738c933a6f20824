#include "vrel/base/hex_text.h"

namespace vrel {

void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t size, char separator,
               HexCase letters) {
  const char* digits = letters == HexCase::kLower ? "0123456789abcdef" : "0123456789ABCDEF";
  for (std::size_t i = 0; i < size; ++i) {
    if (i != 0 && separator != '\0') out += separator;
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0xF];
  }
}

bool ParseHex(std::vector<std::uint8_t>& out, std::string_view text, char separator) {
  out.clear();
  const std::size_t step = separator != '\0' ? 3 : 2;  // a pair and its separator
  if (!text.empty() && (text.size() + step - 2) % step != 0) return false;
  for (std::size_t at = 0; at < text.size(); at += step) {
    const int high = HexDigitValue(text[at]);
    const int low = HexDigitValue(text[at + 1]);
    const bool joined = step == 2 || at + 2 == text.size() || text[at + 2] == separator;
    if (high < 0 || low < 0 || !joined) {
      out.clear();
      return false;
    }
    out.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return true;
}

}  // namespace vrel
