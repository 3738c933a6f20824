// EnumerateNetCards on the real platform of each build: Wine's COM and WMI
// under the Windows build, the Linux stand-in natively. The cards must be the
// host's Ethernet-type interfaces as the test reads them apart from the
// library (host_cards.h).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iostream>

#include "host_cards.h"
#include "vrel/identity/machine_info.h"
#include "vrel/platform/platform.h"
#include "vrel/wmi/com_holders.h"
#include "vrel/wmi/enumerate_net_cards.h"

namespace vrel {
namespace {

std::string MacText(const std::uint8_t* bytes) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2],
                bytes[3], bytes[4], bytes[5]);
  return text;
}

void ExpectHostCards(const NetCardList& cards) {
  const auto host = test::ReadHostCards();
  if (!host) GTEST_SKIP() << "the host's interfaces cannot be read apart from the library";
  ASSERT_EQ(static_cast<std::size_t>(cards.GetCount()), host->size());
  for (int i = 0; i < cards.GetCount(); ++i) {
    const NetCardInfo& card = *cards.GetItem(i);
    const test::HostCard& expected = (*host)[static_cast<std::size_t>(i)];
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(MacText(card.mac.bytes), MacText(expected.mac.data()));
    EXPECT_EQ(card.ip, expected.ip);
#ifndef _WIN32
    // Windows gives captions; Wine's WMI fails Get for "Caption" ("<N/A>").
    EXPECT_STREQ(card.name, expected.name.c_str());
#endif
  }
}

bool SameCards(const NetCardList& a, const NetCardList& b) {
  if (a.GetCount() != b.GetCount()) return false;
  for (int i = 0; i < a.GetCount(); ++i) {
    const NetCardInfo& x = *a.GetItem(i);
    const NetCardInfo& y = *b.GetItem(i);
    if (std::strcmp(x.name, y.name) != 0 || x.ip != y.ip || x.mac != y.mac) return false;
  }
  return true;
}

TEST(RealPlatformTest, FindsTheHostsEthernetCards) {
  MachineInfo collector;
  const auto start = std::chrono::steady_clock::now();
  collector.Enumerate();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::cout << "one enumeration: "
            << std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() << " us\n";
  ASSERT_TRUE(collector.status);
  for (int i = 0; i < collector.cards.GetCount(); ++i) {
    const NetCardInfo& card = *collector.cards.GetItem(i);
    std::cout << "card " << i + 1 << ": " << card.name << " " << MacText(card.mac.bytes) << " "
              << (card.ip >> 24) << '.' << (card.ip >> 16 & 0xFF) << '.' << (card.ip >> 8 & 0xFF)
              << '.' << (card.ip & 0xFF) << '\n';
  }
  ExpectHostCards(collector.cards);
}

TEST(RealPlatformTest, ASecondCollectorFindsTheSameCards) {
  // The first collector sets the process's COM security. Windows refuses a
  // second setting with RPC_E_TOO_LATE, and the enumeration goes on; the
  // stand-in answers the same. Wine accepts the second call, so under Wine
  // this shows only that a second connection works.
  MachineInfo first;
  ASSERT_TRUE(first.EnsureEnumerated());
  MachineInfo second;
  ASSERT_TRUE(second.EnsureEnumerated());
  EXPECT_TRUE(SameCards(first.cards, second.cards));
  ExpectHostCards(second.cards);

#ifndef _WIN32
  const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
  ASSERT_EQ(apartment.Result(), S_OK);
  EXPECT_EQ(InitComSecurity(), RPC_E_TOO_LATE) << "the stand-in refuses a second setting";
#endif
}

TEST(RealPlatformTest, AThreadInASingleThreadedApartmentFindsTheCardsToo) {
  MachineInfo reference;
  ASSERT_TRUE(reference.EnsureEnumerated());

  // This thread enters a single-threaded apartment first, as a GUI thread
  // would; the enumeration's CoInitializeEx then answers RPC_E_CHANGED_MODE
  // (on Windows, under Wine and in the stand-in alike).
  const platform::Api& com = platform::Current();
  const HRESULT entered = com.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(SUCCEEDED(entered));
  {
    MachineInfo collector;
    EXPECT_TRUE(collector.EnsureEnumerated());
    EXPECT_TRUE(SameCards(reference.cards, collector.cards));
  }
  // The enumeration left the apartment as it found it: still single-threaded...
  EXPECT_EQ(com.CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  com.CoUninitialize();
  // ...and entered exactly once, so one CoUninitialize leaves it.
  const HRESULT after = com.CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(after, S_OK) << "the thread is still in an apartment";
  if (SUCCEEDED(after)) com.CoUninitialize();
}

}  // namespace
}  // namespace vrel
