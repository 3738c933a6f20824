// The card pass on any script of the fake WMI: any number of adapters and
// configurations whose properties are any texts, numbers, arrays, nulls or
// failures, and a failure at any COM or WMI step. Checks that:
//   - the fake sees balanced references, CoInitializeEx/CoUninitialize and
//     no use of a released object (any gtest failure of the fake aborts);
//   - the cards are exactly what the filter, the MAC and IPv4 parsers and the
//     index join give on the property texts (a model written out here), so
//     there are never more cards than adapters and every name is terminated;
//   - the MAC, IPv4 and index parsers agree with the C library's sscanf and
//     wcstoll wherever their documented rules and the C library's coincide.
#include <fuzzer/FuzzedDataProvider.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "fake_machine.h"
#include "fake_wmi.h"
#include "vrel/identity/machine_info.h"
#include "vrel/wmi/card_text.h"

namespace {

using vrel::test::FakeObject;
using vrel::test::PropertyValue;

// Up to 210 plain cards: past two grow steps of 100.

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "card_pass_fuzz: %s\n", what.c_str());
  std::abort();
}

// A property as scripted: how Get answers, and the text rendering gives.
struct Property {
  PropertyValue value;
  std::wstring text;
};

std::wstring UpToNul(const std::wstring& s) { return s.substr(0, s.find(L'\0')); }

std::wstring Text(FuzzedDataProvider& in, std::size_t maxLength) {
  static const wchar_t kAlphabet[] = L"0123456789abcdefABCDEF:-., {}xX+\t";
  std::wstring text(in.ConsumeIntegralInRange<std::size_t>(0, maxLength), L'a');
  for (wchar_t& c : text) {
    const int kind = in.ConsumeIntegralInRange(0, 15);
    c = kind == 0   ? static_cast<wchar_t>(in.ConsumeIntegral<std::uint16_t>())
        : kind == 1 ? static_cast<wchar_t>(in.ConsumeIntegralInRange(0x20, 0x7E))
                    : kAlphabet[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kAlphabet /
                                                                           sizeof(wchar_t) - 2)];
  }
  return text;
}

std::wstring Choose(FuzzedDataProvider& in, std::initializer_list<const wchar_t*> likely,
                    std::size_t maxLength) {
  const std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(0, likely.size());
  return pick < likely.size() ? likely.begin()[pick] : Text(in, maxLength);
}

std::wstring Number(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return std::to_wstring(in.ConsumeIntegral<std::int64_t>() % 100000000000LL);
    case 1: return L" " + std::to_wstring(in.ConsumeIntegralInRange(-300, 300));
    default: return std::to_wstring(in.ConsumeIntegralInRange(0, 255));
  }
}

std::wstring MacText(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 3) == 0) return Text(in, 40);
  static const wchar_t kHex[] = L"0123456789abcdefABCDEF";
  const wchar_t separator = in.ConsumeBool() ? L':' : static_cast<wchar_t>(in.ConsumeIntegral<std::uint8_t>());
  std::wstring text;
  const int groups = in.ConsumeIntegralInRange(0, 7);
  for (int g = 0; g < groups; ++g) {
    if (g > 0) text += separator;
    const int digits = in.ConsumeIntegralInRange(0, 3) == 0 ? in.ConsumeIntegralInRange(0, 12) : 2;
    for (int d = 0; d < digits; ++d) text += kHex[in.ConsumeIntegralInRange(0, 21)];
  }
  return text;
}

std::wstring AddressText(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: return Text(in, 24);
    case 1: return L"fe80::" + std::to_wstring(in.ConsumeIntegralInRange(0, 0xFFFF));
    default: {
      std::wstring text;
      const int numbers = in.ConsumeIntegralInRange(1, 5);
      for (int n = 0; n < numbers; ++n) text += (n > 0 ? L"." : L"") + Number(in);
      return text;
    }
  }
}

// One property: mostly a text (from `makeText`), sometimes another form.
template <typename MakeText>
Property MakeProperty(FuzzedDataProvider& in, MakeText makeText) {
  switch (in.ConsumeIntegralInRange(0, 11)) {
    case 0: return {vrel::test::FailingValue(), L"<N/A>"};
    case 1: return {vrel::test::NullValue(), L"<UNKNOWN>"};
    case 2: {
      const std::int32_t n = in.ConsumeIntegral<std::int32_t>();
      return {vrel::test::IntValue(n), std::to_wstring(n)};
    }
    case 3: {
      std::vector<std::wstring> texts(in.ConsumeIntegralInRange<std::size_t>(0, 4));
      std::wstring text = L"{";
      for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i] = makeText();
        text += (i > 0 ? L", " : L"") + UpToNul(texts[i]);
      }
      return {vrel::test::TextArrayValue(texts), text + L"}"};
    }
    default: {
      const std::wstring text = makeText();
      return {vrel::test::TextValue(text), UpToNul(text)};
    }
  }
}

struct ScriptedObject {
  FakeObject object;
  std::vector<std::wstring> texts;  // by the order of `names` below
};

// Properties the pass reads; a property left out fails Get (text "<N/A>").
ScriptedObject MakeObject(FuzzedDataProvider& in, const std::vector<const wchar_t*>& names,
                          const std::vector<std::function<std::wstring()>>& makers) {
  ScriptedObject scripted;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) {
      scripted.texts.push_back(L"<N/A>");
      continue;
    }
    Property p = MakeProperty(in, makers[i]);
    scripted.object.push_back({names[i], p.value});
    scripted.texts.push_back(p.text);
  }
  return scripted;
}

// An Ethernet card that passes the filter, from two bytes of input.
ScriptedObject PlainAdapter(FuzzedDataProvider& in) {
  const std::int32_t index = in.ConsumeIntegralInRange(0, 300);
  const unsigned mac = in.ConsumeIntegral<std::uint8_t>();
  wchar_t macText[18];
  std::swprintf(macText, 18, L"00:1A:2B:3C:4D:%02X", mac);
  const std::wstring caption = L"card " + std::to_wstring(index);
  ScriptedObject scripted;
  scripted.object = {{L"AdapterType", vrel::test::TextValue(L"Ethernet 802.3")},
                     {L"Manufacturer", vrel::test::TextValue(L"Intel")},
                     {L"Caption", vrel::test::TextValue(caption)},
                     {L"MACAddress", vrel::test::TextValue(macText)},
                     {L"Index", vrel::test::IntValue(index)}};
  scripted.texts = {L"Ethernet 802.3", L"Intel", caption, macText, std::to_wstring(index)};
  return scripted;
}

ScriptedObject PlainConfiguration(FuzzedDataProvider& in) {
  const std::int32_t index = in.ConsumeIntegralInRange(0, 300);
  const std::wstring address = L"10.0." + std::to_wstring(in.ConsumeIntegral<std::uint8_t>()) + L".1";
  ScriptedObject scripted;
  scripted.object = {{L"Index", vrel::test::IntValue(index)},
                     {L"IPAddress", vrel::test::TextArrayValue({address})}};
  scripted.texts = {std::to_wstring(index), L"{" + address + L"}"};
  return scripted;
}

// ---- the C library's readings, where they coincide with the documented rules ----

std::string Narrow(const std::wstring& text, std::size_t limit, bool stopAtNonAscii) {
  std::string narrow;
  for (const wchar_t c : text) {
    if (narrow.size() == limit) break;
    if (c == L'\0' || static_cast<std::uint32_t>(c) > 0x7F) {
      if (stopAtNonAscii) break;
      narrow += '?';
      continue;
    }
    narrow += static_cast<char>(c);
  }
  return narrow;
}

// Longest run of decimal (or hexadecimal) digits: runs that overflow are read
// differently by the C library and by the documented rules.
std::size_t LongestRun(const std::string& text, bool hex) {
  std::size_t longest = 0, run = 0;
  for (const char c : text) {
    const bool digit = (c >= '0' && c <= '9') ||
                       (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    run = digit ? run + 1 : 0;
    if (run > longest) longest = run;
  }
  return longest;
}

void CheckMacParser(const std::wstring& text) {
  const std::string buffer = Narrow(text, 63, true);
  if (LongestRun(buffer, true) > 7) return;
  vrel::MacAddress expected;
  for (std::size_t i = 0; i < 6; ++i) {
    unsigned int group = 0;
    if (3 * i >= buffer.size() || std::sscanf(buffer.c_str() + 3 * i, "%x", &group) != 1) {
      expected = vrel::MacAddress();
      break;
    }
    expected.bytes[i] = static_cast<std::uint8_t>(group & 0xFF);
  }
  if (vrel::ParseMacText(text) != expected) Fail("MAC parser differs from sscanf \"%x\"");
}

void CheckIpv4Parser(const std::wstring& text) {
  const std::string narrow = Narrow(text, std::string::npos, false);
  if (LongestRun(narrow, false) > 9) return;
  std::uint32_t expected = 0;
  if (!narrow.empty() && narrow[0] == '{') {
    for (std::size_t start = 1; start != std::string::npos;) {
      int a = 0, b = 0, c = 0, d = 0;
      if (std::sscanf(narrow.c_str() + start, "%d.%d.%d.%d", &a, &b, &c, &d) == 4) {
        expected = static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(b) << 16 |
                   static_cast<std::uint32_t>(c) << 8 | static_cast<std::uint32_t>(d);
        break;
      }
      const std::size_t separator = narrow.find(", ", start);
      start = separator == std::string::npos ? separator : separator + 2;
    }
  }
  if (vrel::ParseIpv4Text(text) != expected) Fail("IPv4 parser differs from sscanf");
}

void CheckIndexParser(const std::wstring& text) {
  for (const wchar_t c : text) {
    if (static_cast<std::uint32_t>(c) > 0x7F) return;
  }
  long long value = std::wcstoll(text.c_str(), nullptr, 10);
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  if (vrel::TextToInt(text) != value) Fail("index parser differs from wcstoll");
}

struct ExpectedCard {
  vrel::NetCardInfo card;
  std::int32_t index;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  testing::TestPartResultArray failures;
  {
    testing::ScopedFakeTestPartResultReporter reporter(
        testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
    vrel::test::FakeMachine machine;
    vrel::test::FakeWmi wmi(machine);

    // At most one step fails, or one pass ends early.
    bool fails = false;
    switch (in.ConsumeIntegralInRange(0, 15)) {
      case 0: wmi.coInitializeResult = E_FAIL; fails = true; break;
      case 1: wmi.coInitializeResult = S_FALSE; break;
      case 2: wmi.coInitializeResult = RPC_E_CHANGED_MODE; break;
      case 3: wmi.securityResult = E_FAIL; fails = true; break;
      case 4: wmi.securityResult = RPC_E_TOO_LATE; break;
      case 5: wmi.createLocatorResult = REGDB_E_CLASSNOTREG; fails = true; break;
      case 6: wmi.connectResult = WBEM_E_INVALID_NAMESPACE; fails = true; break;
      case 7: wmi.blanketResult = E_FAIL; fails = true; break;
      case 8: wmi.adapterQueryResult = WBEM_E_FAILED; fails = true; break;
      case 9: wmi.configurationQueryResult = WBEM_E_FAILED; fails = true; break;
      case 10: wmi.adapterNextFailsAfter = in.ConsumeIntegralInRange(0, 20); break;
      case 11: wmi.configurationNextFailsAfter = in.ConsumeIntegralInRange(0, 20); break;
      default: break;
    }
    machine.version = in.ConsumeIntegralInRange(0, 7) == 0 ? 5 : 10;  // Windows 2000 or 10

    const std::vector<const wchar_t*> adapterNames = {L"AdapterType", L"Manufacturer", L"Caption",
                                                      L"MACAddress", L"Index"};
    const std::vector<std::function<std::wstring()>> adapterMakers = {
        [&] { return Choose(in, {L"Ethernet 802.3", L"Ethernet 802.3", L"ethernet 802.3"}, 20); },
        [&] { return Choose(in, {L"Intel", L"Microsoft", L"Microsoft Corporation"}, 20); },
        [&] { return Text(in, in.ConsumeBool() ? 16 : 200); },
        [&] { return MacText(in); },
        [&] { return Number(in); }};
    const std::vector<const wchar_t*> configurationNames = {L"Index", L"IPAddress"};
    const std::vector<std::function<std::wstring()>> configurationMakers = {
        [&] { return Number(in); }, [&] { return AddressText(in); }};

    // Mostly objects of any shape; sometimes many plain cards, so that short
    // inputs reach the growth of the card and index lists.
    const bool plain = in.ConsumeIntegralInRange(0, 7) == 0;
    std::vector<ScriptedObject> adapters(
        in.ConsumeIntegralInRange<std::size_t>(plain ? 95 : 0, plain ? 210 : 40));
    for (ScriptedObject& a : adapters) {
      a = plain ? PlainAdapter(in) : MakeObject(in, adapterNames, adapterMakers);
    }
    std::vector<ScriptedObject> configurations(
        in.ConsumeIntegralInRange<std::size_t>(0, plain ? 210 : 40));
    for (ScriptedObject& c : configurations) {
      c = plain ? PlainConfiguration(in) : MakeObject(in, configurationNames, configurationMakers);
    }
    for (const ScriptedObject& a : adapters) wmi.adapters.push_back(a.object);
    for (const ScriptedObject& c : configurations) wmi.configurations.push_back(c.object);

    // The model: filter, parse and join the texts.
    std::vector<ExpectedCard> expected;
    const std::size_t adapterLimit =
        wmi.adapterNextFailsAfter >= 0 ? static_cast<std::size_t>(wmi.adapterNextFailsAfter)
                                       : adapters.size();
    for (std::size_t i = 0; i < adapters.size() && i < adapterLimit; ++i) {
      const std::vector<std::wstring>& t = adapters[i].texts;
      if (t[0] != L"Ethernet 802.3" || t[1] == L"Microsoft") continue;
      ExpectedCard e;
      vrel::CopyCardName(t[2], e.card.name);
      e.card.mac = vrel::ParseMacText(t[3]);
      e.index = vrel::TextToInt(t[4]);
      expected.push_back(e);
      CheckMacParser(t[3]);
      CheckIndexParser(t[4]);
    }
    const std::size_t configurationLimit =
        wmi.configurationNextFailsAfter >= 0
            ? static_cast<std::size_t>(wmi.configurationNextFailsAfter)
            : configurations.size();
    for (std::size_t i = 0; i < configurations.size() && i < configurationLimit; ++i) {
      const std::vector<std::wstring>& t = configurations[i].texts;
      CheckIndexParser(t[0]);
      CheckIpv4Parser(t[1]);
      const std::int32_t index = vrel::TextToInt(t[0]);
      for (ExpectedCard& e : expected) {
        if (e.index != index) continue;
        e.card.ip = vrel::ParseIpv4Text(t[1]);
        break;
      }
    }
    if (fails) expected.clear();  // a failed step leaves no card

    {
      vrel::MachineInfo collector;
      vrel::NetCardList copy(vrel::kCardListGrowStep);
      const bool status = collector.CopyNetCards(copy);
      if (status == fails) Fail("wrong enumeration result");
      if (copy.GetCount() != collector.GetCardCount()) Fail("the copy differs in length");
      if (static_cast<std::size_t>(copy.GetCount()) > adapters.size()) Fail("more cards than adapters");
      if (static_cast<std::size_t>(copy.GetCount()) != expected.size()) Fail("wrong number of cards");
      for (int i = 0; i < copy.GetCount(); ++i) {
        const vrel::NetCardInfo& card = *copy.GetItem(i);
        const vrel::NetCardInfo& want = expected[static_cast<std::size_t>(i)].card;
        if (std::memchr(card.name, '\0', sizeof card.name) == nullptr) Fail("name not terminated");
        if (std::strcmp(card.name, want.name) != 0) Fail("wrong name");
        if (card.mac != want.mac) Fail("wrong MAC");
        if (card.ip != want.ip) Fail("wrong IPv4 address");
      }
      if (copy.capacity % vrel::kCardListGrowStep != 0 || copy.capacity < copy.GetCount())
        Fail("list capacity is not whole grow steps");
      vrel::MachineIds ids;
      const int missing = collector.GetIds(ids);
      if (((missing & vrel::MISSING_MAC) != 0) != expected.empty()) Fail("MISSING_MAC is wrong");
    }
  }  // The fake checks its books here.
  if (failures.size() > 0) {
    for (int i = 0; i < failures.size(); ++i) {
      std::fprintf(stderr, "%s\n", failures.GetTestPartResult(i).message());
    }
    Fail("the fake WMI saw misuse");
  }
  return 0;
}
