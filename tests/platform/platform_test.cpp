// Every entry of this build's real platform table answers as the Windows
// function of its name: Windows itself under Wine, the stand-ins natively,
// where the Windows answers the library relies on are checked too.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

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
  char small[2];  // too small: the size needed, NUL included
  EXPECT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", small, sizeof small), length + 1);

  DWORD serial = 0;
  const char root[] = {buffer[0], ':', '\\', '\0'};
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
  const HRESULT security = os.CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr,
                                                   EOAC_NONE, nullptr);
  EXPECT_TRUE(security == S_OK || security == RPC_E_TOO_LATE) << std::hex << security;
  IWbemLocator* locator = nullptr;
  ASSERT_EQ(os.CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator)), S_OK);
  locator->Release();
  os.CoUninitialize();
}

#ifndef _WIN32

TEST(StandInTest, KernelAnswersAsAWindows10ProcessWouldSee) {
  const char* saved = std::getenv("SYSTEMROOT");
  const std::string value = saved != nullptr ? saved : "";
  unsetenv("SYSTEMROOT");
  char buffer[64];
  EXPECT_EQ(os.GetEnvironmentVariableA("SystemRoot", buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  if (saved != nullptr) setenv("SYSTEMROOT", value.c_str(), 1);

  EXPECT_EQ(os.GetVersion(), 10u);  // major 10, minor 0
  DWORD serial = 0, again = 1;
  ASSERT_TRUE(os.GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  EXPECT_TRUE(os.GetVolumeInformationA("c:\\", nullptr, 0, &again, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(again, serial);
  for (const char* root : {"D:\\", "C:", "C:\\WINDOWS", "C:/", "\\\\server\\share\\"}) {
    EXPECT_FALSE(os.GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND) << root;
  }
}

#endif  // !_WIN32

}  // namespace
}  // namespace vrel
