// The Linux stand-ins answer as Windows does where the library needs it; the
// end-to-end check reads drive C and the cards they report against the host.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdlib>

#include "vrel/platform/platform.h"
#include "vrel/wmi/com_holders.h"
#include "vrel/wmi/property_text.h"

namespace vrel {
namespace {

TEST(StandInTest, Kernel) {
  const platform::Api& os = platform::Real();
  unsetenv("SYSTEMROOT");  // as on most Linux hosts
  char buffer[16] = "x";
  EXPECT_EQ(os.GetEnvironmentVariableA("SystemRoot", buffer, 16), 10u);  // as Windows would
  EXPECT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", buffer, 10), 11u);  // the size needed
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  setenv("SYSTEMROOT", "D:\\", 1);  // a system on another drive: the stand-in has only C:
  ASSERT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", buffer, 16), 3u);
  DWORD serial = 0;  // failing, it writes nothing
  EXPECT_FALSE(os.GetVolumeInformationA(buffer, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  unsetenv("SYSTEMROOT");
  EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(os.GetVersion(), 10u);  // major 10, minor 0
}

TEST(StandInTest, ComAndWmi) {
  EXPECT_TRUE(SysAllocString(nullptr) == nullptr && SafeArrayCreateVector(VT_R8, 0, 1) == nullptr);
  EXPECT_EQ(SysStringLen(Bstr(SysAllocStringLen(nullptr, 3)).Get()), 3u);
  const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
  ComPtr<IWbemLocator> locator;
  void** out = reinterpret_cast<void**>(locator.Put());
  EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, 1, IID_IUnknown, out), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IWbemServices, out), E_NOINTERFACE);
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IUnknown, out), S_OK);
  ComPtr<IWbemServices> services;
  ASSERT_EQ(locator->ConnectServer(AllocBstr(L"ROOT\\CIMV2").Get(), nullptr, nullptr, nullptr, 0,
                                   nullptr, nullptr, services.Put()), S_OK);
  ComPtr<IEnumWbemClassObject> results;
  const auto query = [&](const char* text) {
    return services->ExecQuery(AllocBstr("WQL").Get(), AllocBstr(text).Get(), 0, nullptr,
                               results.Put());
  };
  EXPECT_EQ(query("SELECT * FROM Win32_Processor"), WBEM_E_INVALID_QUERY);
  ASSERT_EQ(query("select * from win32_networkadapterconfiguration"), S_OK);  // in any case
  ComPtr<IWbemClassObject> loopback;  // interface 1 on every Linux host
  ULONG returned = 0;
  ASSERT_EQ(results->Next(WBEM_INFINITE, 1, loopback.Put(), &returned), S_OK);
  EXPECT_EQ(GetPropertyText(loopback.Get(), L"index"), L"1");  // in any case
  EXPECT_EQ(GetPropertyText(loopback.Get(), L"Indexes"), L"<N/A>");
  EXPECT_TRUE(loopback->AddRef() == 2 && loopback->Release() == 1);  // counted
}

}  // namespace
}  // namespace vrel
#endif  // !_WIN32
