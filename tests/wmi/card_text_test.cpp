// The card filter and the parsers that turn property texts into card fields.
// Expected values follow the C library's reading ("%x", "%d" and _wtoi),
// which the parsers are documented to match.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "vrel/base/hex_text.h"
#include "vrel/wmi/card_text.h"

namespace vrel {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(CardTextTest, FilterComparesWholeTextsWithCase) {
  EXPECT_TRUE(IsEthernetAdapterType(L"Ethernet 802.3") && IsMicrosoftManufacturer(L"Microsoft"));
  for (const wchar_t* other : {L"ethernet 802.3", L"Ethernet 802.3 ", L" Ethernet 802.3",
                               L"Ethernet", L"Microsoft Corporation", L"microsoft", L"<N/A>", L""}) {
    EXPECT_FALSE(IsEthernetAdapterType(other) || IsMicrosoftManufacturer(other)) << Narrow(other);
  }
}

TEST(CardTextTest, MacTexts) {
  const MacAddress mac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
  const MacAddress zero;
  const std::pair<std::wstring, MacAddress> rows[] = {
      {L"00:1A:2B:3C:4D:5E", mac}, {L"00-1A-2B-3C-4D-5E", mac},  // any one separator
      {L"00:1a:2b:3c:4d:5e", mac}, {L"00:1A:2B:3C:4D:5E:6F:70", mac},  // Wine's case; more
      {L"00:1A:2B", zero}, {L"<N/A>", zero}, {L"", zero},
      {L"00:1A:2B:3C:4D:", zero},   // the text ends at the sixth group
      {L"00:1A:2B:3C:zz:5E", zero},  // a group without a digit
      {L"00:1A:2B:3C:4D:\x00E9", zero},  // not ASCII: the narrow text ends there
      {L"00:1A:2B:3C:4D:5", {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x05}}},
      // "%x" skips white space, takes a sign and reads every digit that
      // follows; the low 8 bits are kept.
      {L" 1:1A:2B:3C:4D:5E", {{0x01, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}}},
      {L"-1:1A:2B:3C:4D:5E", {{0xFF, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}}},
      {L"123 4A 2B 3C 4D 5E", {{0x23, 0x4A, 0x2B, 0x3C, 0x4D, 0x5E}}},
      {L"\v+1\f-2\r0x1B:0Xz 5E", {{0x01, 0xFE, 0x1B, 0x1B, 0x00, 0x5E}}},  // signs, "0x"
      {std::wstring(L"00:1A:2B\0:3C:4D:5E", 17), zero},  // a NUL ends the narrow text
      {L"123:4A:2B:3C:4D:5E", zero},  // position 3 holds no digit
      // Only the first 63 characters are converted.
      {L"00:1A:2B:3C:4D:" + std::wstring(46, L' ') + L"5E", mac},
      {L"00:1A:2B:3C:4D:" + std::wstring(48, L' ') + L"5E", zero},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ParseMacText(text), expected) << Narrow(text);
  // The interface reader takes sysfs's "aa:bb:..." whole; the WMI stand-in writes it in upper case.
  std::vector<std::uint8_t> bytes;
  std::string text;
  EXPECT_TRUE(ParseHex(bytes, "00:1a:2b:3C:4d:5E", ':') && std::equal(bytes.begin(), bytes.end(), mac.bytes));
  AppendHex(text, bytes.data(), bytes.size(), ':', HexCase::kUpper);
  EXPECT_EQ(text, "00:1A:2B:3C:4D:5E");
}

TEST(CardTextTest, Ipv4TakesTheFirstDottedElement) {
  const std::pair<const wchar_t*, std::uint32_t> rows[] = {
      {L"{192.168.1.10, fe80::1}", 0xC0A8010A}, {L"{fe80::1, 192.168.1.10}", 0xC0A8010A},
      {L"{10.0.0.200}", 0x0A0000C8},            {L"{127.0.0.1}", 0x7F000001},
      {L"{fe80::1, ::1}", 0},                   {L"{}", 0}, {L"", 0},
      {L"<N/A>", 0},                            {L"192.168.1.10", 0},  // not an array text
      {L" {1.2.3.4}", 0},                       {L"{1.2.3}", 0},
      {L"{1.2.3, 4.5.6.7}", 0x04050607},        {L"{1.2.3.4.5}", 0x01020304},
      {L"{ 1. 2. +3. 4}", 0x01020304},          {L"{1 .2.3.4}", 0},  // dots match exactly
      {L"{256.0.0.1}", 0x00000001},             {L"{-1.0.0.0}", 0xFF000000},  // no range test
      {L"{2147483647.0.0.1}", 0xFF000001},      {L"{2147483648.0.0.1}", 0},  // beyond int
      {L"{99999999999.1.1.1, 10.1.1.1}", 0x0A010101}, {L"{a,1.2.3.4}", 0},  // ", " separates
  };
  for (const auto& [text, value] : rows) EXPECT_EQ(ParseIpv4Text(text), value) << Narrow(text);
}

TEST(CardTextTest, IndexTextsConvertLikeWtoi) {
  const std::pair<const wchar_t*, std::int32_t> rows[] = {
      {L"7", 7}, {L"12abc", 12}, {L" \n\t42", 42}, {L"-3", -3}, {L"+5", 5}, {L"<N/A>", 0}, {L"", 0},
      {L"- 1", 0}, {L"2147483648", INT_MAX}, {L"-99999999999999999999", INT_MIN}};
  for (const auto& [text, expected] : rows) EXPECT_EQ(TextToInt(text), expected) << Narrow(text);
}

TEST(CardTextTest, NamesKeepAtMost127Bytes) {
  char name[kMaxCardNameLength + 1];
  for (const std::size_t length : {0u, 126u, 127u, 128u, 300u}) {
    std::wstring caption;
    for (std::size_t i = 0; i < length; ++i) caption += static_cast<wchar_t>(L'a' + i % 26);
    std::memset(name, 'x', sizeof name);
    CopyCardName(caption, name);
    EXPECT_EQ(name, Narrow(caption.substr(0, 127))) << length;
  }
  // The C runtime's wcstombs on Windows keeps U+00AE as one byte; the Linux
  // stand-in's ASCII rule ends the name there.
  CopyCardName(L"Realtek\x00AE Gigabit", name);
#ifdef _WIN32
  EXPECT_STREQ(name, "Realtek\xAE Gigabit");
#else
  EXPECT_STREQ(name, "Realtek");
#endif
}

}  // namespace
}  // namespace vrel
