#include "vrel/wmi/card_text.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "vrel/base/hex_text.h"
#include "vrel/base/white_space.h"

namespace vrel {
namespace {

constexpr std::size_t kMacBufferSize = 64;

template <typename Char>
bool IsDigit(Char c) {
  return c >= '0' && c <= '9';
}

// Reads an unsigned hexadecimal number at p as "%x" does (strtoul, base 16),
// keeping it modulo 2^32. False when no digit follows.
bool ScanHex(const char* p, std::uint32_t& value) {
  while (IsCLocaleSpace(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0) p += 2;
  if (HexDigitValue(*p) < 0) return false;
  std::uint32_t v = 0;
  for (; HexDigitValue(*p) >= 0; ++p) v = v * 16u + static_cast<std::uint32_t>(HexDigitValue(*p));
  value = negative ? 0u - v : v;
  return true;
}

// Reads a signed decimal number at p as "%d" does and moves p past it. False
// when no digit follows or the number does not fit an int.
bool ScanInt(const wchar_t*& p, std::int32_t& value) {
  while (IsCLocaleSpace(*p)) ++p;
  const bool negative = *p == L'-';
  if (*p == L'+' || *p == L'-') ++p;
  if (!IsDigit(*p)) return false;
  const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
  std::int64_t magnitude = 0;
  for (; IsDigit(*p); ++p) {
    magnitude = magnitude * 10 + (*p - L'0');
    if (magnitude > limit) return false;
  }
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

// Reads "a.b.c.d" at p. False unless all four numbers were read.
bool ScanDottedIpv4(const wchar_t* p, std::uint32_t& ip) {
  std::uint32_t result = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *p++ != L'.') return false;
    std::int32_t number = 0;
    if (!ScanInt(p, number)) return false;
    result = (result << 8) | static_cast<std::uint32_t>(number);
  }
  ip = result;
  return true;
}

}  // namespace

bool IsEthernetAdapterType(const std::wstring& adapterType) {
  return adapterType == L"Ethernet 802.3";
}

bool IsMicrosoftManufacturer(const std::wstring& manufacturer) {
  return manufacturer == L"Microsoft";
}

std::size_t NarrowText(const std::wstring& text, char* buffer, std::size_t size) {
  std::size_t n = 0;
  for (; n + 1 < size && n < text.size(); ++n) {
    const wchar_t c = text[n];
    if (c == L'\0' || static_cast<std::uint32_t>(c) > 0x7F) break;
    buffer[n] = static_cast<char>(c);
  }
  buffer[n] = '\0';
  return n;
}

void CopyCardName(const std::wstring& caption, char (&name)[kMaxCardNameLength + 1]) {
#ifdef _WIN32
  // The C runtime's own conversion in its default locale: U+0080 to U+00FF
  // become single bytes; at a character it cannot convert it stops and
  // reports failure, and the zeroed field keeps the name terminated.
  std::memset(name, 0, sizeof name);
  std::wcstombs(name, caption.c_str(), kMaxCardNameLength);
  name[kMaxCardNameLength] = '\0';
#else
  NarrowText(caption, name, sizeof name);
#endif
}

MacAddress ParseMacText(const std::wstring& text) {
  char buffer[kMacBufferSize];
  const std::size_t length = NarrowText(text, buffer, sizeof buffer);
  MacAddress mac;
  for (std::size_t i = 0; i < sizeof mac.bytes; ++i) {
    const std::size_t position = 3 * i;
    std::uint32_t group = 0;
    if (position >= length || !ScanHex(buffer + position, group)) return MacAddress();
    mac.bytes[i] = static_cast<std::uint8_t>(group & 0xFF);
  }
  return mac;
}

std::uint32_t ParseIpv4Text(const std::wstring& text) {
  if (text.empty() || text[0] != L'{') return 0;
  const wchar_t* const begin = text.c_str();
  // Elements start after the opening brace and after every ", ".
  for (std::size_t start = 1; start != std::wstring::npos;) {
    std::uint32_t ip = 0;
    if (ScanDottedIpv4(begin + start, ip)) return ip;
    const std::size_t separator = text.find(L", ", start);
    start = separator == std::wstring::npos ? separator : separator + 2;
  }
  return 0;
}

std::int32_t TextToInt(const std::wstring& text) {
  const wchar_t* p = text.c_str();
  while (IsCLocaleSpace(*p)) ++p;
  const bool negative = *p == L'-';
  if (*p == L'+' || *p == L'-') ++p;
  std::int64_t magnitude = 0;
  const std::int64_t limit = std::int64_t{1} << 31;
  for (; IsDigit(*p); ++p) {
    magnitude = magnitude * 10 + (*p - L'0');
    if (magnitude > limit) magnitude = limit;  // saturates; more digits change nothing
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return magnitude > std::numeric_limits<std::int32_t>::max()
             ? std::numeric_limits<std::int32_t>::max()
             : static_cast<std::int32_t>(magnitude);
}

}  // namespace vrel
