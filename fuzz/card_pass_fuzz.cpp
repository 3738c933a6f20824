// The card pass over any script of the scripted WMI: adapters and
// configurations whose properties are any texts, numbers, text arrays, nulls
// or failures, up to 210 of them (past two grow steps), and any step
// failing. Aborts when the scripted WMI sees misuse (an unbalanced reference
// or CoInitializeEx, a use after release), when a failed enumeration leaves
// cards or storage, or when there are more cards than adapters. AddressSanitizer
// watches the parsers and the name copies.
#include <fuzzer/FuzzedDataProvider.h>
#include <gtest/gtest-spi.h>

#include <cstdio>
#include <cstdlib>

#include "scripted_wmi.h"
#include "vrel/identity/machine_info.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "card_pass_fuzz: %s\n", what);
  std::abort();
}

// Mostly the texts the filter and the parsers look for, sometimes any.
std::wstring Text(FuzzedDataProvider& in) {
  static const wchar_t* const kLikely[] = {L"Ethernet 802.3", L"Microsoft", L"00:1A:2B:3C:4D:5E",
                                           L"7", L"10.0.0.1", L"fe80::1"};
  if (in.ConsumeBool()) return kLikely[in.ConsumeIntegralInRange<std::size_t>(0, 5)];
  std::wstring text;
  for (const char c : in.ConsumeRandomLengthString(160)) text += static_cast<wchar_t>(c & 0xFF);
  return text;
}

vrel::test::Object Object(FuzzedDataProvider& in, std::initializer_list<const wchar_t*> names) {
  vrel::test::Object object;
  for (const wchar_t* name : names) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
      case 0: break;  // absent: Get fails
      case 1: object.emplace_back(name, vrel::test::Scalar(VT_NULL, 0)); break;
      case 2: object.emplace_back(name, vrel::test::Int(in.ConsumeIntegral<std::int32_t>())); break;
      case 3: object.emplace_back(name, vrel::test::Texts({Text(in), Text(in)})); break;
      default: object.emplace_back(name, vrel::test::Text(Text(in))); break;
    }
  }
  return object;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  testing::TestPartResultArray failures;
  {
    testing::ScopedFakeTestPartResultReporter reporter(
        testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
    vrel::test::FakeMachine machine;
    vrel::test::ScriptedWmi wmi(machine);
    HRESULT* steps[] = {&wmi.coInitialize, &wmi.security, &wmi.locator, &wmi.connect,
                        &wmi.blanket, &wmi.adapterQuery, &wmi.configurationQuery};
    const std::size_t step = in.ConsumeIntegralInRange<std::size_t>(0, 9);
    if (step < 7) {
      *steps[step] = in.PickValueInArray({E_FAIL, S_FALSE, RPC_E_CHANGED_MODE, RPC_E_TOO_LATE});
    }
    if (step == 7) wmi.adapterNextFailsAfter = in.ConsumeIntegralInRange(0, 20);
    if (step == 8) wmi.configurationNextFailsAfter = in.ConsumeIntegralInRange(0, 20);
    machine.version = in.ConsumeBool() ? 5 : 10;  // Windows 2000 or 10
    const int many = in.ConsumeIntegralInRange(0, 7) == 0 ? 210 : 12;
    for (int i = in.ConsumeIntegralInRange(0, many); i > 0; --i) {
      wmi.adapters.push_back(Object(in, {L"AdapterType", L"Manufacturer", L"Caption", L"MACAddress",
                                         L"Index"}));
    }
    for (int i = in.ConsumeIntegralInRange(0, many); i > 0; --i) {
      wmi.configurations.push_back(Object(in, {L"Index", L"IPAddress"}));
    }
    // A thread in a single-threaded apartment, and security set before, go on.
    const bool fails = step < 7 && FAILED(*steps[step]) &&
                       !(step == 0 && wmi.coInitialize == RPC_E_CHANGED_MODE) &&
                       !(step == 1 && wmi.security == RPC_E_TOO_LATE);

    vrel::MachineInfo collector;
    vrel::NetCardList copy(vrel::kCardListGrowStep);
    Check(collector.CopyNetCards(copy) != fails, "wrong enumeration result");
    Check(!fails || collector.cards.items == nullptr, "a failed enumeration left card storage");
    Check(copy.GetCount() <= static_cast<int>(wmi.adapters.size()), "more cards than adapters");
  }  // The scripted WMI checks its books here.
  for (int i = 0; i < failures.size(); ++i) {
    std::fprintf(stderr, "%s\n", failures.GetTestPartResult(i).message());
  }
  Check(failures.size() == 0, "the scripted WMI saw misuse");
  return 0;
}
