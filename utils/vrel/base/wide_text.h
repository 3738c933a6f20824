// Narrow text as wide text, one character a byte: ASCII keeps its value and
// bytes above 0x7F read as Latin-1. Internal to the library.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

inline std::wstring Widen(std::string_view text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace vrel
