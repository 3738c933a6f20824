// This build's real platform: Windows itself under Wine, natively the Linux
// stand-ins. Whether the cards are the host's is the end-to-end check's to say.
#include <gtest/gtest.h>

#include <cstring>

#include "vrel/identity/machine_info.h"
#include "vrel/platform/platform.h"
#include "vrel/wmi/com_holders.h"
#include "vrel/wmi/enumerate_net_cards.h"

namespace vrel {
namespace {

bool SameCards(const NetCardList& a, const NetCardList& b) {
  if (a.GetCount() != b.GetCount()) return false;
  for (int i = 0; i < a.GetCount(); ++i) {
    const NetCardInfo& x = *a.GetItem(i);
    const NetCardInfo& y = *b.GetItem(i);
    if (std::strcmp(x.name, y.name) != 0 || x.ip != y.ip || x.mac != y.mac) return false;
  }
  return true;
}

TEST(RealPlatformTest, AMissingVariableReportsItsError) {
  char buffer[8];
  EXPECT_EQ(platform::Real().GetEnvironmentVariableA("VREL_NO_SUCH_VARIABLE", buffer, 8), 0u);
  EXPECT_EQ(platform::Real().GetLastError(), ERROR_ENVVAR_NOT_FOUND);
}

TEST(RealPlatformTest, EveryCollectorOnEveryApartmentFindsTheSameCards) {
  MachineInfo first;
  ASSERT_TRUE(first.EnsureEnumerated());
  // The first collector set the process's COM security. Windows refuses a
  // second setting with RPC_E_TOO_LATE and the stand-in does too; Wine
  // accepts it, so there this shows only that a second connection works.
  MachineInfo second;
  ASSERT_TRUE(second.EnsureEnumerated());
  EXPECT_TRUE(SameCards(first.cards, second.cards));
#ifndef _WIN32
  {
    const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
    EXPECT_EQ(InitComSecurity(), RPC_E_TOO_LATE);
  }
#endif
  // A thread in a single-threaded apartment, as a GUI thread is: the
  // enumeration's CoInitializeEx answers RPC_E_CHANGED_MODE (Windows, Wine
  // and the stand-in alike) and it enumerates there.
  const platform::Api& com = platform::Current();
  ASSERT_EQ(com.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  ASSERT_EQ(com.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  com.CoUninitialize();
  {
    MachineInfo collector;
    EXPECT_TRUE(collector.EnsureEnumerated());
    EXPECT_TRUE(SameCards(first.cards, collector.cards));
  }
  // Left as it was: still single-threaded, and entered exactly once.
  EXPECT_EQ(com.CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  com.CoUninitialize();
  EXPECT_EQ(com.CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  com.CoUninitialize();
}


}  // namespace
}  // namespace vrel
