// Allocation failure at every allocation a run reaches: the n-th allocation
// fails, for n = 1, 2, ... until a run completes without reaching n. Covered:
// a collector's whole life (enumeration, GetIds, CopyNetCards and the other
// queries) over the fake WMI and over this build's real platform, and
// RijndaelCipher::SetKey. Each failure must arrive as std::bad_alloc or as
// _com_error(E_OUTOFMEMORY), or be absorbed as a failed step; no heap block
// may be left (counted by the hooks; interfaces by the fake, which fails the
// test on an unbalanced reference); COM must be left as it was; and the
// objects must stay usable: a collector that saw an exception is still
// unenumerated and empty and a later query gives the full result, a cipher
// keeps its old key.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "alloc_hooks.h"
#include "fake_machine.h"
#include "fake_wmi.h"
#include "vrel/crypto/rijndael.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

namespace alloc = test::alloc;

struct CardsSeen {
  bool status = false;
  std::vector<std::string> names;
  std::vector<std::uint32_t> ips;
  int missing = 0;
  bool operator==(const CardsSeen& o) const {
    return status == o.status && names == o.names && ips == o.ips && missing == o.missing;
  }
};

// Everything a client does with a collector, in the order the tool does it.
CardsSeen Life(MachineInfo& collector) {
  CardsSeen seen;
  MachineIds ids;
  seen.missing = collector.GetIds(ids);
  NetCardList list(kCardListGrowStep);
  seen.status = collector.CopyNetCards(list);
  for (int i = 0; i < list.GetCount(); ++i) {
    seen.names.emplace_back(list.GetItem(i)->name);
    seen.ips.push_back(list.GetItem(i)->ip);
  }
  std::uint32_t ip[2];
  collector.GetFirstIp(ip);
  MacAddress mac;
  collector.GetMac(mac, 0);
  collector.FindMac(mac);
  collector.GetCardCount();
  return seen;
}

// How one run with a failing allocation ended.
enum class Ending { kCompleted, kBadAlloc, kComError };

// Runs `run` with the n-th allocation failing. Records a test failure for
// any exception other than the documented two.
Ending RunFailing(std::int64_t n, const std::function<void()>& run, bool& reached) {
  Ending ending = Ending::kCompleted;
  alloc::Arm(n);
  try {
    run();
  } catch (const std::bad_alloc&) {
    ending = Ending::kBadAlloc;
  } catch (const _com_error& error) {
    ending = Ending::kComError;
    EXPECT_EQ(error.Error(), E_OUTOFMEMORY) << "allocation " << n;
  } catch (...) {
    alloc::Disarm();
    ADD_FAILURE() << "allocation " << n << ": an undocumented exception";
    reached = true;
    return Ending::kCompleted;
  }
  reached = alloc::Disarm();
  return ending;
}

struct SweepCounts {
  std::int64_t allocations = 0;  // allocations one whole run makes
  int badAllocs = 0, comErrors = 0, absorbed = 0;
};

// Calls `iteration(n, counts)` for n = 1, 2, ... until it reports that the
// failure was not reached; each iteration must give back every heap block.
SweepCounts Sweep(const std::function<bool(std::int64_t, SweepCounts&)>& iteration) {
  SweepCounts counts;
  for (std::int64_t n = 1;; ++n) {
    const std::int64_t liveBefore = alloc::Live();
    SweepCounts step;
    const bool reached = iteration(n, step);
    if (reached) {
      counts.badAllocs += step.badAllocs;
      counts.comErrors += step.comErrors;
      counts.absorbed += step.absorbed;
    }
    EXPECT_EQ(alloc::Live(), liveBefore) << "heap blocks left after failing allocation " << n;
    if (!reached || ::testing::Test::HasFailure()) {
      counts.allocations = n - 1;
      return counts;
    }
  }
}

void Tally(Ending ending, SweepCounts& counts) {
  if (ending == Ending::kBadAlloc) ++counts.badAllocs;
  if (ending == Ending::kComError) ++counts.comErrors;
  if (ending == Ending::kCompleted) ++counts.absorbed;
}

// After an exception: an enumeration that threw left the collector
// unenumerated and without card storage; one that had completed before the
// exception (thrown while copying, or by the test's own bookkeeping) left it
// whole. Either way a later run of every query gives the full result.
// The later run costs a whole enumeration, so it is made for the first
// failures and then for every 16th; the state checks run for every one.
void ExpectUsableAfterException(MachineInfo& collector, const CardsSeen& full, std::int64_t n) {
  if (collector.enumerated) {
    EXPECT_EQ(static_cast<std::size_t>(collector.cards.GetCount()), full.names.size())
        << "allocation " << n;
  } else {
    EXPECT_EQ(collector.cards.GetCount(), 0) << "allocation " << n;
    EXPECT_EQ(collector.cards.capacity, 0) << "allocation " << n;
  }
  if (n <= 64 || n % 16 == 0) {
    EXPECT_EQ(Life(collector), full) << "a later run of the queries after failing allocation " << n;
  }
}

void Report(const char* what, const SweepCounts& c) {
  std::printf("%s: %lld allocations, each failed once: %d std::bad_alloc, %d _com_error, "
              "%d absorbed\n",
              what, static_cast<long long>(c.allocations), c.badAllocs, c.comErrors, c.absorbed);
}

// ---- over the fake WMI ----

test::FakeObject Adapter(int i) {
  return {{L"AdapterType", test::TextValue(L"Ethernet 802.3")},
          {L"Manufacturer", test::TextValue(i % 50 == 3 ? L"Microsoft" : L"Intel")},
          {L"Caption", test::TextValue(L"Adapter number " + std::to_wstring(i) +
                                       L" with a caption longer than short-string storage")},
          {L"MACAddress", test::TextValue(L"00:1A:2B:3C:4D:" + std::to_wstring(10 + i % 90))},
          {L"Index", test::IntValue(i)}};
}

test::FakeObject Configuration(int i) {
  return {{L"Index", test::IntValue(i)},
          {L"IPAddress", test::TextArrayValue({L"fe80::1", L"10.0.0." + std::to_wstring(i)})}};
}

// A script with more than one grow step of cards (and of adapter indices),
// skipped adapters and configurations that match no card.
void Script(test::FakeWmi& wmi, int adapters) {
  for (int i = 0; i < adapters; ++i) wmi.adapters.push_back(Adapter(i));
  for (int i = 0; i < adapters + 5; i += 2) wmi.configurations.push_back(Configuration(i));
}

TEST(AllocationFailureTest, CollectorLifeOverTheFakeWmi) {
  constexpr int kAdapters = 103;  // 101 cards: the lists grow twice
  constexpr std::size_t kCards = 101;
  CardsSeen full;
  {
    test::FakeMachine machine;
    test::FakeWmi wmi(machine);
    Script(wmi, kAdapters);
    MachineInfo collector;
    full = Life(collector);
    ASSERT_TRUE(full.status);
    ASSERT_EQ(full.names.size(), kCards);
  }

  const SweepCounts counts = Sweep([&](std::int64_t n, SweepCounts& counts) {
    test::FakeMachine machine;
    test::FakeWmi wmi(machine);  // fails the test on unbalanced references or COM
    Script(wmi, kAdapters);
    bool reached = false;
    {
      MachineInfo collector;
      CardsSeen seen;
      const Ending ending = RunFailing(n, [&] { seen = Life(collector); }, reached);
      Tally(ending, counts);
      if (ending == Ending::kCompleted) {
        // The fake reports a value it cannot allocate as a failed Get: the
        // pass completes, with a property read as "<N/A>".
        EXPECT_TRUE(seen.status) << "allocation " << n;
        EXPECT_LE(seen.names.size(), static_cast<std::size_t>(kAdapters)) << "allocation " << n;
      } else {
        ExpectUsableAfterException(collector, full, n);
      }
    }
    EXPECT_EQ(wmi.ObjectsAlive(), 0) << "allocation " << n;
    return reached;
  });
  Report("collector over the fake WMI", counts);
  EXPECT_GT(counts.badAllocs, 0);
  if (alloc::FailsBstrs()) {
    EXPECT_GT(counts.comErrors, 0) << "no BSTR allocation failed";
  }
}

// ---- over this build's real platform ----

// True when the thread's COM state is as it was before the run: entering
// the single-threaded apartment works only outside the multithreaded one.
bool ComLeftAsItWas() {
  const HRESULT hr = platform::Real().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr)) platform::Real().CoUninitialize();
  return hr == S_OK;
}

TEST(AllocationFailureTest, CollectorLifeOverTheRealPlatform) {
  ASSERT_TRUE(ComLeftAsItWas());
  CardsSeen full;
  {
    MachineInfo collector;
    full = Life(collector);
  }
  const SweepCounts counts = Sweep([&](std::int64_t n, SweepCounts& counts) {
    bool reached = false;
    {
      MachineInfo collector;
      CardsSeen seen;
      const Ending ending = RunFailing(n, [&] { seen = Life(collector); }, reached);
      Tally(ending, counts);
      if (ending == Ending::kCompleted) {
        // The platform reports its own shortage as a failed call: fewer
        // cards or a failed enumeration, never more cards.
        EXPECT_LE(seen.names.size(), full.names.size()) << "allocation " << n;
      } else {
        ExpectUsableAfterException(collector, full, n);
      }
    }
    EXPECT_TRUE(ComLeftAsItWas()) << "allocation " << n;
    return reached;
  });
  Report("collector over the real platform", counts);
  EXPECT_GT(counts.allocations, 0);
}

// ---- the cipher ----

std::vector<unsigned char> Encrypt(const RijndaelCipher& cipher) {
  std::vector<unsigned char> in(static_cast<std::size_t>(cipher.GetBlockSize()), 0x3C);
  std::vector<unsigned char> out(in.size());
  cipher.EncryptOneBlock(in.data(), out.data());
  return out;
}

TEST(AllocationFailureTest, RijndaelSetKeyLeavesTheObjectAsItWas) {
  const unsigned char key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  const unsigned char chain[32] = {9};
  for (const bool keyedBefore : {false, true}) {
    for (const int length : {16, 24, 32}) {
      SCOPED_TRACE(std::string(keyedBefore ? "keyed" : "fresh") + " object, lengths " +
                   std::to_string(length));
      const SweepCounts counts = Sweep([&](std::int64_t n, SweepCounts& counts) {
        RijndaelCipher cipher;
        if (keyedBefore) cipher.SetKey(chain, key, 24, 32);
        const std::vector<unsigned char> before =
            keyedBefore ? Encrypt(cipher) : std::vector<unsigned char>();
        bool reached = false;
        const Ending ending =
            RunFailing(n, [&] { cipher.SetKey(key, chain, length, length); }, reached);
        Tally(ending, counts);
        EXPECT_NE(ending, Ending::kComError);
        if (ending == Ending::kBadAlloc) {
          EXPECT_EQ(cipher.IsKeyReady(), keyedBefore) << "allocation " << n;
          if (keyedBefore) {
            EXPECT_EQ(cipher.GetBlockSize(), 32);
            EXPECT_EQ(Encrypt(cipher), before) << "allocation " << n;
          }
        } else {
          EXPECT_EQ(cipher.GetBlockSize(), length);
        }
        // Usable either way: keying again works.
        cipher.SetKey(key, chain, 16, 16);
        EXPECT_EQ(Encrypt(cipher).size(), 16u);
        return reached;
      });
      EXPECT_EQ(counts.badAllocs, counts.allocations);
      EXPECT_GT(counts.allocations, 0);
    }
  }
}


// A copy that runs out of memory half-way must not leave the target with the
// source's round keys beside its own round count: with a larger round count
// the block functions would read past the rows.
TEST(AllocationFailureTest, RijndaelAssignmentIsWholeOrNothing) {
  const unsigned char key[32] = {7, 6, 5, 4, 3, 2, 1};
  const unsigned char chain[32] = {1, 1, 2, 3, 5, 8, 13};
  for (const auto& [targetLength, sourceLength] : {std::pair{16, 32}, std::pair{32, 16}}) {
    SCOPED_TRACE("target " + std::to_string(targetLength) + ", source " +
                 std::to_string(sourceLength));
    RijndaelCipher source;
    source.SetKey(key, chain, sourceLength, sourceLength);
    const std::vector<unsigned char> sourceBlock = Encrypt(source);
    const SweepCounts counts = Sweep([&](std::int64_t n, SweepCounts& counts) {
      RijndaelCipher target;
      target.SetKey(chain, key, targetLength, targetLength);
      const std::vector<unsigned char> before = Encrypt(target);
      const int rounds = target.GetRounds();
      bool reached = false;
      const Ending ending = RunFailing(n, [&] { target = source; }, reached);
      Tally(ending, counts);
      EXPECT_NE(ending, Ending::kComError);
      if (ending == Ending::kBadAlloc) {
        EXPECT_EQ(target.GetBlockSize(), targetLength) << "allocation " << n;
        EXPECT_EQ(target.GetRounds(), rounds) << "allocation " << n;
        EXPECT_EQ(Encrypt(target), before) << "allocation " << n;
      } else {
        EXPECT_EQ(Encrypt(target), sourceBlock) << "allocation " << n;
      }
      return reached;
    });
    EXPECT_EQ(counts.badAllocs, counts.allocations);
    EXPECT_GT(counts.allocations, 0);
  }
}

}  // namespace
}  // namespace vrel
