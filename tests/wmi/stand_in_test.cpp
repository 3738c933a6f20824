// The Linux stand-ins answer the edge cases as the Windows functions do.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "vrel/platform/platform.h"
#include "vrel/wmi/com_holders.h"

namespace vrel {
namespace {

struct Counted final : IUnknown {  // an interface that counts its releases
  int releases = 0;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return static_cast<ULONG>(++releases); }
};

TEST(StandInTest, Kernel) {
  const platform::Api& os = platform::Real();
  char buffer[16] = "x";
  EXPECT_EQ(os.GetEnvironmentVariableA(nullptr, buffer, 16), 0u);
  EXPECT_EQ(os.GetLastError(), ERROR_INVALID_PARAMETER);
  const char* saved = std::getenv("SYSTEMROOT");
  const std::string value = saved != nullptr ? saved : "";
  unsetenv("SYSTEMROOT");
  EXPECT_EQ(os.GetEnvironmentVariableA("SystemRoot", buffer, 16), 10u);  // as Windows would
  EXPECT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", buffer, 10), 11u);  // the size needed
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  if (saved != nullptr) setenv("SYSTEMROOT", value.c_str(), 1);
  DWORD serial = 0, longest = 0, flags = 1;
  char name[4] = "x", system[4] = "x";
  EXPECT_TRUE(os.GetVolumeInformationA("c:\\", name, 4, &serial, &longest, &flags, system, 4));
  EXPECT_TRUE(longest > 0 && flags == 0 && name[0] == 0 && system[0] == 0);
  EXPECT_TRUE(os.GetVolumeInformationA("C:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", nullptr, 0), 11u);
  for (const char* root : {"D:\\", "C:", "C:/", static_cast<const char*>(nullptr)}) {
    EXPECT_FALSE(os.GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  }
  EXPECT_EQ(os.GetVersion(), 10u);  // major 10, minor 0
}

TEST(StandInTest, OleAutomation) {
  EXPECT_TRUE(SysAllocString(nullptr) == nullptr && SysStringLen(nullptr) == 0);
  SysFreeString(nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x7FFFFFFF), nullptr);  // bytes beyond the 32-bit prefix
  const Bstr blank(SysAllocStringLen(nullptr, 3));
  EXPECT_TRUE(SysStringLen(blank.Get()) == 3 && blank.Get()[0] == 0 && blank.Get()[3] == 0);
  SAFEARRAYBOUND bound{2, 0}, huge[2] = {{0x10000, 0}, {0x10000, 0}};
  for (SAFEARRAY* refused : {SafeArrayCreate(VT_I4, 0, &bound), SafeArrayCreate(VT_I4, 1, nullptr),
                             SafeArrayCreate(VT_EMPTY, 1, &bound), SafeArrayCreate(VT_UI1, 2, huge)}) {
    EXPECT_EQ(refused, nullptr);
  }
  const std::pair<VARTYPE, ULONG> sizes[] = {
      {VT_I1, 1}, {VT_UI1, 1}, {VT_I2, 2}, {VT_UI2, 2}, {VT_BOOL, 2}, {VT_I4, 4}, {VT_UI4, 4},
      {VT_R4, 4}, {VT_INT, 4}, {VT_UINT, 4}, {VT_ERROR, 4}, {VT_I8, 8}, {VT_UI8, 8}, {VT_R8, 8},
      {VT_CY, 8}, {VT_DATE, 8}, {VT_BSTR, sizeof(BSTR)}, {VT_UNKNOWN, sizeof(void*)},
      {VT_DISPATCH, sizeof(void*)}, {VT_VARIANT, sizeof(VARIANT)}};
  Counted held;
  for (const auto& [type, size] : sizes) {
    SAFEARRAY* array = SafeArrayCreateVector(type, 1, 2);
    ASSERT_NE(array, nullptr) << type;
    EXPECT_TRUE(array->cbElements == size && array->rgsabound[0].lLbound == 1) << type;
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    if (type == VT_UNKNOWN) static_cast<IUnknown**>(data)[1] = &held;
    if (type == VT_VARIANT) {
      static_cast<VARIANT*>(data)[0].vt = VT_UNKNOWN;
      static_cast<VARIANT*>(data)[0].punkVal = &held;
    }
    EXPECT_EQ(SafeArrayDestroy(array), static_cast<HRESULT>(0x8002000D)) << "locked";
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
  }
  EXPECT_EQ(held.releases, 2) << "arrays of interfaces and of VARIANTs release what they hold";
  void* data = nullptr;
  EXPECT_TRUE(SafeArrayAccessData(nullptr, &data) == E_INVALIDARG && SafeArrayDestroy(nullptr) == S_OK);
  VARIANT value{};
  value.vt = VT_UNKNOWN | VT_BYREF;  // by reference the value owns nothing
  value.byref = &held;
  EXPECT_TRUE(VariantClear(&value) == S_OK && value.vt == VT_EMPTY && held.releases == 2);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(StandInTest, ComAndWmi) {
  int other = 0;
  void* object = &other;
  EXPECT_EQ(CoInitializeEx(&other, COINIT_MULTITHREADED), E_INVALIDARG);
  CoUninitialize();  // one more than entered: ignored
  EXPECT_EQ(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IWbemLocator, &object),
            CO_E_NOTINITIALIZED);
  const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
  Counted outer;
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IWbemLocator, nullptr), E_POINTER);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, &outer, 1, IID_IWbemLocator, &object),
            static_cast<HRESULT>(0x80040110));  // CLASS_E_NOAGGREGATION
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 4, IID_IWbemLocator, &object),
            REGDB_E_CLASSNOTREG);  // only in-process
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IWbemServices, &object),
            E_NOINTERFACE);
  EXPECT_EQ(CoSetProxyBlanket(nullptr, 10, 0, nullptr, 3, 3, nullptr, 0), E_INVALIDARG);
  ComPtr<IWbemLocator> locator;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IUnknown,
                             reinterpret_cast<void**>(locator.Put())), S_OK);
  EXPECT_EQ(locator->QueryInterface(IID_IWbemServices, &object), E_NOINTERFACE);
  EXPECT_EQ(locator->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(locator->ConnectServer(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr),
            WBEM_E_INVALID_PARAMETER);
  ComPtr<IWbemServices> services;
  EXPECT_EQ(locator->ConnectServer(AllocBstr(L"ROOT\\DEFAULT").Get(), nullptr, nullptr, nullptr, 0,
                                   nullptr, nullptr, services.Put()), WBEM_E_INVALID_NAMESPACE);
  ASSERT_EQ(locator->ConnectServer(AllocBstr(L"root\\cimv2").Get(), nullptr, nullptr, nullptr, 0,
                                   nullptr, nullptr, services.Put()), S_OK);
  ComPtr<IEnumWbemClassObject> results;
  const auto query = [&](const char* language, const char* text) {
    return services->ExecQuery(AllocBstr(language).Get(), AllocBstr(text).Get(), 0x30, nullptr,
                               results.Put());
  };
  EXPECT_EQ(query("SQL", "SELECT * FROM Win32_NetworkAdapter"), WBEM_E_INVALID_QUERY_TYPE);
  EXPECT_EQ(query("WQL", "SELECT * FROM Win32_Processor"), WBEM_E_INVALID_QUERY);
  EXPECT_EQ(services->ExecQuery(nullptr, nullptr, 0, nullptr, nullptr), WBEM_E_INVALID_PARAMETER);
  ASSERT_EQ(query("wql", "select * from win32_networkadapterconfiguration"), S_OK);
  EXPECT_EQ(results->Next(WBEM_INFINITE, 1, nullptr, nullptr), WBEM_E_INVALID_PARAMETER);
  IWbemClassObject* objects[64] = {};
  ULONG returned = 0;
  EXPECT_EQ(results->Next(WBEM_INFINITE, 64, objects, &returned), WBEM_S_FALSE) << "fewer remain";
  ASSERT_GT(returned, 0u) << "every host has the loopback interface";
  VARIANT value{};
  CIMTYPE type = 0;
  LONG flavor = 1;
  EXPECT_EQ(objects[0]->Get(L"index", 0, &value, &type, &flavor), S_OK);  // case does not count
  EXPECT_TRUE(value.vt == VT_I4 && type == CIM_SINT32 && flavor == 0);
  EXPECT_EQ(objects[0]->Get(L"Index", 1, &value, nullptr, nullptr), WBEM_E_INVALID_PARAMETER);
  EXPECT_EQ(objects[0]->Get(L"Indexes", 0, &value, nullptr, nullptr), WBEM_E_NOT_FOUND);
  for (ULONG i = 0; i < returned; ++i) objects[i]->Release();
}

}  // namespace
}  // namespace vrel
#endif  // !_WIN32
