#include "vrel/licence/base64.h"

namespace vrel {
namespace {

const char* Digits(Base64Alphabet alphabet) {
  return alphabet == Base64Alphabet::kStandard
             ? "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
             : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
}

int DigitValue(char c, Base64Alphabet alphabet) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  const char* digits = Digits(alphabet);
  if (c == digits[62]) return 62;
  if (c == digits[63]) return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(const std::uint8_t* data, std::size_t size, Base64Alphabet alphabet) {
  const char* digits = Digits(alphabet);
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::size_t left = size - i;
    const std::uint32_t group = (std::uint32_t{data[i]} << 16) |
                                (left > 1 ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                (left > 2 ? data[i + 2] : 0);
    const std::size_t chars = left >= 3 ? 4 : left + 1;
    for (std::size_t c = 0; c < 4; ++c) {
      if (c < chars) {
        text += digits[(group >> (18 - 6 * c)) & 0x3F];
      } else if (alphabet == Base64Alphabet::kStandard) {
        text += '=';
      }
    }
  }
  return text;
}

bool DecodeBase64(std::vector<std::uint8_t>& out, std::string_view text, Base64Alphabet alphabet) {
  out.clear();
  std::size_t padding = 0;
  if (alphabet == Base64Alphabet::kStandard) {
    if (text.size() % 4 != 0) return false;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
      ++padding;
    }
    text.remove_suffix(padding);
  } else if (text.size() % 4 == 1) {
    return false;
  }
  std::uint32_t bits = 0;
  int held = 0;
  for (const char c : text) {
    const int value = DigitValue(c, alphabet);
    if (value < 0) return out.clear(), false;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> held));
      bits &= (1u << held) - 1;
    }
  }
  // Left-over bits must be zero. The padding is what the length asks: a multiple of 4 less
  // 1 or 2 characters of padding leaves 3 or 2 digits, 2 or 1 bytes of the last group.
  const bool canonical = bits == 0;
  if (!canonical) out.clear();
  return canonical;
}

}  // namespace vrel
