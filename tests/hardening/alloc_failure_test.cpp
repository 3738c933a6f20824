// Allocation failure at every allocation a run reaches (the n-th fails, for
// n = 1, 2, ... until a run no longer reaches n): a collector's life over the
// scripted WMI and over the real platform (under Wine its WMI and oleaut32's
// BSTRs), the tool, the C interface (linked in here) and the cipher. A
// failure arrives as std::bad_alloc or _com_error(E_OUTOFMEMORY) (the C
// interface's as its code) or is absorbed as a failed step; no heap block,
// reference or COM entry is left; the objects stay usable.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "scripted_wmi.h"
#include "vrel/c/vrel_c.h"
#include "vrel/crypto/rijndael.h"
#include "vrel/identity/machine_info.h"
#include "vrel/json/fingerprint_json.h"
#ifndef _WIN32
#include "vrel/platform/linux/host_wmi_classes.h"
#endif
#include "vrel/vreltest/tool.h"

namespace vrel::test::alloc {
bool FailsBstrs();  // whether a BSTR allocation can be the one that fails
void Arm(std::int64_t n);
bool Disarm();  // whether the armed failure happened
std::int64_t Live();
}  // namespace vrel::test::alloc

namespace vrel {
namespace {

namespace alloc = test::alloc;

enum Ending { kCompleted, kBadAlloc, kComError };
// Runs its argument with the sweep's allocation failing; how it ended.
using Failing = std::function<Ending(const std::function<void()>&)>;

// Calls `iteration` for n = 1, 2, ... while allocation n is reached; each
// gives back every heap block. Returns how many runs ended each way.
std::vector<int> Sweep(const std::function<void(const Failing&)>& iteration) {
  std::vector<int> endings(3);
  bool reached = true;
  for (std::int64_t n = 1; reached && !::testing::Test::HasFailure(); ++n) {
    SCOPED_TRACE(::testing::Message() << "failing allocation " << n);
    const std::int64_t live = alloc::Live();
    reached = false;
    iteration([&](const std::function<void()>& run) {
      Ending ending = kCompleted;
      alloc::Arm(n);
      try {
        run();
      } catch (const std::bad_alloc&) {
        ending = kBadAlloc;
      } catch (const _com_error& error) {
        ending = kComError;
        EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
      }
      const bool failed = alloc::Disarm();
      endings[ending] += failed ? 1 : 0;
      reached = reached || failed;
      return ending;
    });
    EXPECT_EQ(alloc::Live(), live) << "heap blocks left";
  }
  return endings;
}

// Everything a client asks a collector, as the tool does.
std::vector<std::string> Life(MachineInfo& collector) {
  MachineIds ids;
  std::vector<std::string> seen = {std::to_string(collector.GetIds(ids))};
  NetCardList list(kCardListGrowStep);
  seen.push_back(collector.CopyNetCards(list) ? "ok" : "failed");
  for (int i = 0; i < list.GetCount(); ++i) seen.push_back(list.GetItem(i)->name);
  return seen;
}

// A run that absorbed the failure as a failed step gives at most `most`
// entries. After an exception (one amid the enumeration included) a collector
// whose enumeration threw holds no storage and enumerates again: a later life
// is whole. The scripted WMI checks that every interface was released.
void ExpectUsable(MachineInfo& collector, const std::vector<std::string>& full,
                  const std::vector<std::string>& seen, std::size_t most, Ending ending) {
  if (ending == kCompleted) {
    EXPECT_LE(seen.size(), most);
    return;
  }
  EXPECT_TRUE(collector.enumerated || collector.cards.items == nullptr);
  EXPECT_EQ(Life(collector), full);
}

// Three Ethernet adapters, the second made by Microsoft, each configured.
void Script(test::ScriptedWmi& wmi) {
  for (int i = 0; i < 3; ++i) {
    wmi.adapters.push_back({{L"AdapterType", test::Text(L"Ethernet 802.3")},
                            {L"Manufacturer", test::Text(i == 1 ? L"Microsoft" : L"Intel")},
                            {L"Caption", test::Text(L"A caption longer than short-string storage")},
                            {L"MACAddress", test::Text(L"00:1A:2B:3C:4D:5E")},
                            {L"Index", test::Int(i)}});
    wmi.configurations.push_back({{L"Index", test::Int(i)},
                                  {L"IPAddress", test::Texts({L"fe80::1", L"10.0.0.1"})}});
  }
}

// Over the scripted WMI an unreadable "Manufacturer" keeps the Microsoft
// adapter: one card more. The real platform reports its own shortage as a
// failed call (fewer cards) and leaves COM as it was.
TEST(AllocationFailureTest, CollectorOverTheScriptedWmiAndOverTheRealPlatform) {
  for (const bool scripted : {true, false}) {
    SCOPED_TRACE(scripted ? "scripted WMI" : "real platform");
    const auto with = [&](const std::function<void(MachineInfo&)>& use) {
      std::optional<test::FakeMachine> machine;
      std::optional<test::ScriptedWmi> wmi;  // checks references and COM at the end of each run
      if (scripted) Script(wmi.emplace(machine.emplace()));
      MachineInfo collector;
      use(collector);
    };
    std::vector<std::string> full;
    with([&](MachineInfo& collector) { full = Life(collector); });
    const std::vector<int> endings = Sweep([&](const Failing& failing) {
      with([&](MachineInfo& collector) {
        std::vector<std::string> seen;
        ExpectUsable(collector, full, seen, full.size() + (scripted ? 1 : 0),
                     failing([&] { seen = Life(collector); }));
      });
      if (scripted) return;
      // The single-threaded apartment can still be entered.
      const HRESULT hr = platform::Real().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      EXPECT_EQ(hr, S_OK);
      if (SUCCEEDED(hr)) platform::Real().CoUninitialize();
    });
    EXPECT_GT(endings[kBadAlloc], 0);
    EXPECT_TRUE(!scripted || !alloc::FailsBstrs() || endings[kComError] > 0)
        << "no BSTR allocation failed";
  }
}

#ifndef _WIN32
// The Linux stand-in's class objects for an interface with every property set, built and copied
// into VARIANTs as its Get does (its BSTRs come from malloc, which never fails here): apart from
// the host's interfaces, which may lack a driver or an address.
TEST(AllocationFailureTest, StandInObjectsOfAFullInterface) {
  platform::HostInterface host;
  host.name = "an interface name longer than short-string storage";
  host.hardwareType = platform::kHardwareTypeEther;
  host.driver = "a driver name longer than short-string storage";
  host.facts.current = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};
  host.ipv4 = {"192.0.2.1"};
  host.ipv6 = {"2001:db8::1"};
  const std::vector<int> endings = Sweep([&](const Failing& failing) {
    failing([&] {
      for (const auto make :
           {platform::NetworkAdapterObject, platform::NetworkAdapterConfigurationObject}) {
        for (const platform::WmiProperty& property : make(host)) {
          VARIANT value;
          VariantInit(&value);
          EXPECT_TRUE(platform::ToVariant(property.value, &value));
          VariantClear(&value);
        }
      }
    });
  });
  EXPECT_GT(endings[kBadAlloc], 0);
}
#endif

// A stream buffer that never allocates, for the tool's output.
struct FixedBuffer : std::streambuf {
  char data[1 << 15];
  FixedBuffer() { setp(data, data + sizeof data); }
  std::string Text() const { return std::string(pbase(), pptr()); }
};

TEST(AllocationFailureTest, TheToolReportsOrSaysWhyNot) {
  int messages = 0, comMessages = 0;
  Sweep([&](const Failing& failing) {
    FixedBuffer out, err;
    std::ostream outStream(&out), errStream(&err);
    int exitCode = -1;
    const char* argv[] = {"vreltest", nullptr};
    const Ending ending = failing([&] { exitCode = RunVreltest(1, argv, outStream, errStream); });
    EXPECT_EQ(ending, kCompleted) << "the tool catches what the library throws";
    if (exitCode == 0) {
      EXPECT_EQ(out.Text().rfind("Machine specific info:", 0), 0u);
      EXPECT_NE(out.Text().find("Netcard info (new API):"), std::string::npos);
      return;
    }
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(err.Text().rfind("vreltest: ", 0), 0u) << err.Text();
    ++messages;
    comMessages += err.Text() == "vreltest: COM error 0x8007000e\n" ? 1 : 0;
  });
  EXPECT_GT(messages, 0);
  EXPECT_TRUE(!alloc::FailsBstrs() || comMessages > 0);
}

// Each call answers the shortage with its code and writes nothing, or
// answers as it does with memory to spare; no exception crosses it.
TEST(AllocationFailureTest, TheCInterfaceAnswersOutOfMemory) {
  const MachineComponents machine = CollectComponents();
  const std::string token = MakeToken(machine, "key"), json = ComponentsJson(machine);
  const int verdict = vrel_compare(token.c_str(), token.c_str());
  const auto length = [](const std::string& text) { return static_cast<int>(text.size()); };
  int shortages = 0;
  Sweep([&](const Failing& failing) {
    const struct {
      std::function<int(char*, size_t)> call;
      int result;
      std::string text;  // written, for the calls that write one
    } rows[] = {
        {[](char* out, size_t size) { return vrel_fingerprint("key", 3, out, size); },
         length(token), token},
        {vrel_components_json, length(json), json},
        {[&](char*, size_t) { return vrel_compare(token.c_str(), token.c_str()); }, verdict, ""},
        {[&](char*, size_t) { return vrel_match("key", 3, token.c_str()); }, verdict, ""},
    };
    for (const auto& row : rows) {
      std::string out(row.text.size() + 1, '#');
      int result = 0;
      EXPECT_EQ(failing([&] { result = row.call(&out[0], out.size()); }), kCompleted);
      if (result == VREL_E_OUT_OF_MEMORY) {
        ++shortages;
        EXPECT_EQ(out, std::string(out.size(), '#'));
      } else {
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(out, row.text.empty() ? "#" : row.text + '\0');
      }
    }
  });
  EXPECT_GT(shortages, 0);
}

std::vector<unsigned char> Encrypt(const RijndaelCipher& cipher) {
  std::vector<unsigned char> in(static_cast<std::size_t>(cipher.GetBlockSize()), 0x3C), out(in);
  cipher.EncryptOneBlock(in.data(), out.data());
  return out;
}

// After a failure the cipher is as it was: round keys of one length beside
// the round count of another would make the block functions read past them.
TEST(AllocationFailureTest, RijndaelSetKeyAndAssignmentAreWholeOrNothing) {
  const unsigned char key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  const unsigned char chain[32] = {9, 8, 7};
  for (const int length : {16, 24, 32}) {
    for (const bool keyed : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "length " << length << (keyed ? ", keyed" : ""));
      const std::vector<int> endings = Sweep([&](const Failing& failing) {
        RijndaelCipher cipher, source;
        if (keyed) cipher.SetKey(chain, key, 48 - length, 48 - length);
        const std::vector<unsigned char> before = keyed ? Encrypt(cipher) : std::vector<unsigned char>();
        const int rounds = cipher.GetRounds();
        source.SetKey(key, chain, length, length);
        const Ending set = failing([&] { cipher.SetKey(key, chain, length, length); });
        RijndaelCipher target;
        if (keyed) target.SetKey(chain, key, 48 - length, 48 - length);
        const Ending assigned = failing([&] { target = source; });
        const std::pair<RijndaelCipher*, Ending> results[] = {{&cipher, set}, {&target, assigned}};
        for (const auto& [object, ending] : results) {
          if (ending == kCompleted) {
            EXPECT_EQ(Encrypt(*object), Encrypt(source));
          } else {
            EXPECT_TRUE(object->GetRounds() == rounds && object->IsKeyReady() == keyed);
            EXPECT_TRUE(!keyed || Encrypt(*object) == before);
          }
        }
      });
      EXPECT_GT(endings[kBadAlloc], 0);
    }
  }
}

}  // namespace
}  // namespace vrel
