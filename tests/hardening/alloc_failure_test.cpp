// Allocation failure at every allocation a run reaches: the n-th allocation
// fails, for n = 1, 2, ... until a run completes without reaching n. Runs:
// a collector's whole life over the scripted WMI and over this build's real
// platform (under Wine its WMI and oleaut32's BSTRs), the tool, and the
// cipher's SetKey and copy assignment. A failure must arrive as
// std::bad_alloc or _com_error(E_OUTOFMEMORY) or be absorbed as a failed step;
// no heap block, reference or COM entry may be left; and the objects stay
// usable: a collector that saw an exception enumerates again in full later,
// a cipher keeps its old key and rounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "scripted_wmi.h"
#include "vrel/crypto/rijndael.h"
#include "vrel/identity/machine_info.h"

namespace vrel::test::alloc {
bool FailsBstrs();
void Arm(std::int64_t n);
bool Disarm();
std::int64_t Live();
}  // namespace vrel::test::alloc

int RunVreltest();  // the tool's main (below)

namespace vrel {
namespace {

namespace alloc = test::alloc;

enum Ending { kCompleted, kBadAlloc, kComError };
// Runs its argument with the sweep's allocation failing; how it ended.
using Failing = std::function<Ending(const std::function<void()>&)>;

// Calls `iteration` for n = 1, 2, ... until allocation n is not reached; each
// must give back every heap block. Returns how many runs ended each way.
std::vector<int> Sweep(const std::function<void(const Failing&)>& iteration) {
  std::vector<int> endings(3);
  for (std::int64_t n = 1; !::testing::Test::HasFailure(); ++n) {
    SCOPED_TRACE(::testing::Message() << "failing allocation " << n);
    const std::int64_t live = alloc::Live();
    bool reached = false;
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
      reached = alloc::Disarm();
      endings[ending] += reached ? 1 : 0;
      return ending;
    });
    EXPECT_EQ(alloc::Live(), live) << "heap blocks left";
    if (!reached) break;
  }
  std::cout << endings[kBadAlloc] << " std::bad_alloc, " << endings[kComError] << " _com_error, "
            << endings[kCompleted] << " absorbed\n";
  return endings;
}

// Everything a client asks a collector, as the tool does.
std::vector<std::string> Life(MachineInfo& collector) {
  MachineIds ids;
  std::vector<std::string> seen = {std::to_string(collector.GetIds(ids))};
  NetCardList list(kCardListGrowStep);
  seen.push_back(collector.CopyNetCards(list) ? "ok" : "failed");
  for (int i = 0; i < list.GetCount(); ++i) {
    seen.push_back(list.GetItem(i)->name + (" " + std::to_string(list.GetItem(i)->ip)));
  }
  return seen;
}

// A run that absorbed the failure as a failed step gives at most `most`
// entries. After an exception a collector whose enumeration threw holds no
// storage and is not enumerated; either way a later life is whole.
void ExpectUsable(MachineInfo& collector, const std::vector<std::string>& full,
                  const std::vector<std::string>& seen, std::size_t most, Ending ending) {
  if (ending == kCompleted) {
    EXPECT_LE(seen.size(), most);
    return;
  }
  EXPECT_TRUE(collector.enumerated || collector.cards.items == nullptr);
  EXPECT_EQ(Life(collector), full);
}

void Script(test::ScriptedWmi& wmi) {
  for (int i = 0; i < 3; ++i) {
    wmi.adapters.push_back({{L"AdapterType", test::Text(L"Ethernet 802.3")},
                            {L"Manufacturer", test::Text(i == 1 ? L"Microsoft" : L"Intel")},
                            {L"Caption", test::Text(L"Adapter with a caption longer than "
                                                    L"short-string storage " + std::to_wstring(i))},
                            {L"MACAddress", test::Text(L"00:1A:2B:3C:4D:5E")},
                            {L"Index", test::Int(i)}});
    wmi.configurations.push_back({{L"Index", test::Int(i)},
                                  {L"IPAddress", test::Texts({L"fe80::1", L"10.0.0.1"})}});
  }
}

TEST(AllocationFailureTest, CollectorOverTheScriptedWmi) {
  std::vector<std::string> full;
  {
    test::FakeMachine machine;
    test::ScriptedWmi wmi(machine);
    Script(wmi);
    MachineInfo collector;
    full = Life(collector);
    ASSERT_EQ(full.size(), 4u);
  }
  const std::vector<int> endings = Sweep([&](const Failing& failing) {
    test::FakeMachine machine;
    test::ScriptedWmi wmi(machine);  // checks its books at the end of each run
    Script(wmi);
    MachineInfo collector;
    std::vector<std::string> seen;
    // An unreadable "Manufacturer" keeps the Microsoft adapter: one card more.
    ExpectUsable(collector, full, seen, full.size() + 1,
                 failing([&] { seen = Life(collector); }));
  });
  EXPECT_GT(endings[kBadAlloc], 0);
  EXPECT_TRUE(!alloc::FailsBstrs() || endings[kComError] > 0) << "no BSTR allocation failed";
}

// The thread's COM state is as before: the single-threaded apartment can be
// entered only outside the multithreaded one.
bool ComLeftAsItWas() {
  const HRESULT hr = platform::Real().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr)) platform::Real().CoUninitialize();
  return hr == S_OK;
}

TEST(AllocationFailureTest, CollectorOverTheRealPlatform) {
  std::vector<std::string> full;
  {
    MachineInfo collector;
    full = Life(collector);
  }
  const std::vector<int> endings = Sweep([&](const Failing& failing) {
    {
      MachineInfo collector;
      std::vector<std::string> seen;
      // The platform reports its own shortage as a failed call: fewer cards.
      ExpectUsable(collector, full, seen, full.size(),
                   failing([&] { seen = Life(collector); }));
    }
    EXPECT_TRUE(ComLeftAsItWas());
  });
  EXPECT_GT(endings[kBadAlloc], 0);
  EXPECT_TRUE(!alloc::FailsBstrs() || endings[kComError] > 0) << "no BSTR allocation failed";
}

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
    std::streambuf* savedOut = std::cout.rdbuf(&out);
    std::streambuf* savedErr = std::cerr.rdbuf(&err);
    int exitCode = -1;
    const Ending ending = failing([&] { exitCode = RunVreltest(); });
    std::cout.rdbuf(savedOut);
    std::cerr.rdbuf(savedErr);
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

// ---- the cipher: after a failure the object is as it was ----

std::vector<unsigned char> Encrypt(const RijndaelCipher& cipher) {
  std::vector<unsigned char> in(static_cast<std::size_t>(cipher.GetBlockSize()), 0x3C), out(in);
  cipher.EncryptOneBlock(in.data(), out.data());
  return out;
}

TEST(AllocationFailureTest, RijndaelSetKeyAndAssignmentAreWholeOrNothing) {
  const unsigned char key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  const unsigned char chain[32] = {9, 8, 7};
  for (const bool keyed : {false, true}) {
    for (const int length : {16, 24, 32}) {
      SCOPED_TRACE(::testing::Message() << (keyed ? "keyed" : "fresh") << ", length " << length);
      const std::vector<int> endings = Sweep([&](const Failing& failing) {
        RijndaelCipher cipher;
        if (keyed) cipher.SetKey(chain, key, 24, 32);
        const std::vector<unsigned char> before = keyed ? Encrypt(cipher) : std::vector<unsigned char>();
        if (failing([&] { cipher.SetKey(key, chain, length, length); }) == kCompleted) {
          EXPECT_EQ(cipher.GetBlockSize(), length);
          return;
        }
        EXPECT_EQ(cipher.IsKeyReady(), keyed);
        EXPECT_TRUE(!keyed || Encrypt(cipher) == before);
      });
      EXPECT_GT(endings[kBadAlloc], 0);
    }
  }
  // Round keys of one length beside the round count of another would make
  // the block functions read past the rows.
  for (const int sourceLength : {16, 32}) {
    SCOPED_TRACE(::testing::Message() << "source length " << sourceLength);
    RijndaelCipher source;
    source.SetKey(key, chain, sourceLength, sourceLength);
    const std::vector<int> endings = Sweep([&](const Failing& failing) {
      RijndaelCipher target;
      target.SetKey(chain, key, 48 - sourceLength, 48 - sourceLength);
      const std::vector<unsigned char> before = Encrypt(target);
      const int rounds = target.GetRounds();
      if (failing([&] { target = source; }) == kCompleted) {
        EXPECT_EQ(Encrypt(target), Encrypt(source));
        return;
      }
      EXPECT_EQ(target.GetBlockSize(), 48 - sourceLength);
      EXPECT_EQ(target.GetRounds(), rounds);
      EXPECT_EQ(Encrypt(target), before);
    });
    EXPECT_GT(endings[kBadAlloc], 0);
  }
}

}  // namespace
}  // namespace vrel

// The tool's entry point, compiled here under another name so that its two
// catch blocks run in this process.
#define main RunVreltest
#include "vrel/vreltest/main.cpp"  // NOLINT(bugprone-suspicious-include)
