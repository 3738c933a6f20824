// The card filter and the parsers that turn property texts into card fields.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "vrel/wmi/card_text.h"

namespace vrel {
namespace {

MacAddress Mac(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint8_t e,
               std::uint8_t f) {
  MacAddress mac;
  const std::uint8_t bytes[6] = {a, b, c, d, e, f};
  std::memcpy(mac.bytes, bytes, sizeof bytes);
  return mac;
}

// For failure messages: the cases are ASCII.
std::string Narrow(const wchar_t* text) { return std::string(text, text + std::wcslen(text)); }

TEST(CardTextTest, FilterComparesWholeTextsWithCase) {
  EXPECT_TRUE(IsEthernetAdapterType(L"Ethernet 802.3"));
  for (const wchar_t* other : {L"ethernet 802.3", L"Ethernet 802.3 ", L" Ethernet 802.3",
                               L"Ethernet", L"Wireless", L"<N/A>", L"<UNKNOWN>", L""}) {
    EXPECT_FALSE(IsEthernetAdapterType(other)) << Narrow(other);
  }
  EXPECT_TRUE(IsMicrosoftManufacturer(L"Microsoft"));
  for (const wchar_t* other :
       {L"Microsoft Corporation", L"microsoft", L"<N/A>", L"<UNKNOWN>", L""}) {
    EXPECT_FALSE(IsMicrosoftManufacturer(other)) << Narrow(other);
  }
}

TEST(CardTextTest, MacTexts) {
  const MacAddress zero;
  const struct {
    const wchar_t* text;
    MacAddress expected;
  } cases[] = {
      {L"00:1A:2B:3C:4D:5E", Mac(0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E)},
      {L"00-1A-2B-3C-4D-5E", Mac(0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E)},
      {L"02:fc:00:00:00:01", Mac(0x02, 0xFC, 0x00, 0x00, 0x00, 0x01)},  // as Wine writes it
      {L"00:1A:2B", zero},                       // three groups
      {L"00:1A:2B:3C:4D:", zero},                // the text ends at the sixth group
      {L"00:1A:2B:3C:4D:5", Mac(0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x05)},
      {L"<N/A>", zero},
      {L"<UNKNOWN>", zero},
      {L"", zero},
      {L"00:1A:2B:3C:zz:5E", zero},              // a group without a digit
      {L"00.1A.2B.3C.4D.5E", Mac(0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E)},  // any separator
      // "%x" skips white space and reads every hex digit that follows: the
      // value's low 8 bits are kept, and groups overlap.
      {L" 1:1A:2B:3C:4D:5E", Mac(0x01, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E)},
      {L"123 4A 2B 3C 4D 5E", Mac(0x23, 0x4A, 0x2B, 0x3C, 0x4D, 0x5E)},
      {L"123:4A:2B:3C:4D:5E", zero},  // the fourth character is no group start
      {L"-1:1A:2B:3C:4D:5E", Mac(0xFF, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E)},
      {L"FFFFFFFFFFFFFFFFFF", Mac(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF)},
      {L"00:1A:2B:3C:4D:5E:6F:70", Mac(0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E)},
      {L"00:1A:2B:3C:4D:\x00E9", zero},      // not ASCII: the narrow text ends there
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseMacText(c.text), c.expected) << Narrow(c.text);
  }
  // Only the first 63 characters are looked at.
  EXPECT_EQ(ParseMacText(L"00:1A:2B:3C:4D:" + std::wstring(46, L' ') + L"5E"),
            Mac(0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E));
  EXPECT_EQ(ParseMacText(L"00:1A:2B:3C:4D:" + std::wstring(48, L' ') + L"5E"), zero);
}

TEST(CardTextTest, Ipv4TakesTheFirstDottedElement) {
  const struct {
    const wchar_t* text;
    std::uint32_t expected;
  } cases[] = {
      {L"{192.168.1.10, fe80::1}", 0xC0A8010Au},
      {L"{fe80::1, 192.168.1.10}", 0xC0A8010Au},
      {L"{fe80::fc:ff:fe00:1, fd00::2, 192.0.2.2, 10.0.0.1}", 0xC000'0202u},
      {L"{10.0.0.200}", 0x0A0000C8u},
      {L"{127.0.0.1}", 0x7F000001u},
      {L"{fe80::1}", 0},
      {L"{fe80::1, ::1}", 0},
      {L"{}", 0},
      {L"<N/A>", 0},
      {L"<UNKNOWN>", 0},
      {L"", 0},
      {L"192.168.1.10", 0},               // not an array text
      {L" {192.168.1.10}", 0},
      {L"{1.2.3}", 0},                    // three numbers only
      {L"{1.2.3, 4.5.6.7}", 0x04050607u},
      {L"{1.2.3.4.5}", 0x01020304u},      // what follows the fourth number is not looked at
      {L"{1.2.3.4/24}", 0x01020304u},
      {L"{ 1. 2. 3. 4}", 0x01020304u},    // "%d" skips white space
      {L"{+1.2.3.4}", 0x01020304u},
      {L"{1 .2.3.4}", 0},                 // but the dots are matched exactly
      // No range test: the numbers are combined on 32 bits.
      {L"{256.0.0.1}", 0x00000001u},
      {L"{1.300.0.0}", 0x012C0000u},
      {L"{-1.0.0.0}", 0xFF000000u},
      {L"{0.0.0.-1}", 0xFFFFFFFFu},
      {L"{2147483647.0.0.1}", 0xFF000001u},
      {L"{-2147483648.0.0.1}", 0x00000001u},
      // A number beyond the int range makes only its element unreadable.
      {L"{2147483648.0.0.1}", 0},
      {L"{99999999999999999999.1.1.1, 10.1.1.1}", 0x0A010101u},
      {L"{1.2.3.-2147483649, 10.1.1.1}", 0x0A010101u},
      {L"{a, b, 1.2.3.4}", 0x01020304u},
      {L"{a,1.2.3.4}", 0},                // elements are separated by ", "
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseIpv4Text(c.text), c.expected) << Narrow(c.text);
  }
  // A long array still yields its first IPv4 element.
  std::wstring many = L"{";
  for (int i = 0; i < 8; ++i) {
    many += L"2001:db8:1234:5678:9abc:def0:1234:" + std::to_wstring(i) + L", ";
  }
  EXPECT_EQ(ParseIpv4Text(many + L"192.0.2.2}"), 0xC0000202u);
}

TEST(CardTextTest, IndexTextsConvertLikeWtoi) {
  const struct {
    const wchar_t* text;
    std::int32_t expected;
  } cases[] = {
      {L"0", 0},          {L"7", 7},           {L"12abc", 12},       {L"  \t42", 42},
      {L"-3", -3},        {L"+5", 5},          {L"<N/A>", 0},        {L"", 0},
      {L"abc", 0},        {L"- 1", 0},         {L"2147483647", INT_MAX},
      {L"2147483648", INT_MAX},                {L"99999999999999999999", INT_MAX},
      {L"-2147483648", INT_MIN},               {L"-99999999999999999999", INT_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToInt(c.text), c.expected) << Narrow(c.text);
  }
}

TEST(CardTextTest, NamesKeepAtMost127Characters) {
  char name[kMaxCardNameLength + 1];
  std::memset(name, 'x', sizeof name);
  CopyCardName(L"Intel(R) PRO/1000", name);
  EXPECT_STREQ(name, "Intel(R) PRO/1000");

  for (const std::size_t length : {126u, 127u, 128u, 300u}) {
    std::memset(name, 'x', sizeof name);
    std::wstring caption;
    for (std::size_t i = 0; i < length; ++i) caption += static_cast<wchar_t>(L'a' + i % 26);
    CopyCardName(caption, name);
    const std::size_t kept = length < 127 ? length : 127;
    EXPECT_EQ(std::strlen(name), kept) << length;
    EXPECT_EQ(std::string(name), std::string(caption.begin(), caption.begin() + kept));
  }

  // A character the C locale cannot convert ends the name there.
  std::memset(name, 'x', sizeof name);
  CopyCardName(L"Realtek\x00AE Gigabit", name);
  EXPECT_STREQ(name, "Realtek");
  CopyCardName(L"<N/A>", name);
  EXPECT_STREQ(name, "<N/A>");
}

}  // namespace
}  // namespace vrel
