// Every entry of this build's real platform table answers as the Windows
// function of its name: Windows itself under Wine, the stand-ins natively.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "vrel/platform/platform.h"

namespace vrel {
namespace {

const platform::Api& os = platform::Real();

TEST(RealPlatformEntriesTest, KernelCalls) {
  char buffer[256] = {};
  EXPECT_EQ(os.GetEnvironmentVariableA("VREL_NO_SUCH_VARIABLE_7F3A", buffer, sizeof buffer), 0u);
  EXPECT_EQ(os.GetLastError(), ERROR_ENVVAR_NOT_FOUND);

  const DWORD length = os.GetEnvironmentVariableA("SYSTEMROOT", buffer, sizeof buffer);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(std::strlen(buffer), length);
  EXPECT_EQ(buffer[1], ':');

  DWORD serial = 0;
  char root[] = "C:\\";
  root[0] = buffer[0];
  EXPECT_TRUE(os.GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  EXPECT_FALSE(os.GetVolumeInformationA("C:\\no such folder\\", nullptr, 0, &serial, nullptr,
                                        nullptr, nullptr, 0));

  EXPECT_GE(os.GetVersion() & 0xFF, 5u);  // major version: Windows 2000 or later

  const auto start = std::chrono::steady_clock::now();
  os.Sleep(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}

TEST(RealPlatformEntriesTest, ComCalls) {
  ASSERT_EQ(os.CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(os.CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  os.CoUninitialize();
  const HRESULT security = os.CoInitializeSecurity(
      nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
      nullptr, EOAC_NONE, nullptr);
  EXPECT_TRUE(security == S_OK || security == RPC_E_TOO_LATE) << std::hex << security;
  IWbemLocator* locator = nullptr;
  ASSERT_EQ(os.CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator)),
            S_OK);
  // CoSetProxyBlanket is exercised by every enumeration on the real platform.
  locator->Release();
  os.CoUninitialize();
}

}  // namespace
}  // namespace vrel
