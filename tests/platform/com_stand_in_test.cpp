// The Linux stand-in for OLE Automation (BSTR, SAFEARRAY, VARIANT) and ole32:
// the Windows answers for the edge cases, where the library or a host
// process might meet them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "vrel/platform/com_api.h"

namespace vrel {
namespace {

TEST(ComStandInTest, BstrsCarryTheirLengthAndToleratesNull) {
  const BSTR text = SysAllocStringLen(L"ab\0cd", 5);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 5u);  // the prefix, not the first NUL
  EXPECT_EQ(std::memcmp(text, L"ab\0cd", 6 * sizeof(OLECHAR)), 0);
  SysFreeString(text);

  // No text: room for `length` characters, zero-filled.
  const BSTR blank = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 3u);
  EXPECT_EQ(blank[0] | blank[1] | blank[2] | blank[3], 0);
  SysFreeString(blank);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  // A length whose byte count does not fit the 32-bit prefix.
  EXPECT_EQ(SysAllocStringLen(nullptr, std::numeric_limits<UINT>::max() / 2), nullptr);
}

TEST(ComStandInTest, SafeArrayCreateRefusesWhatWindowsRefuses) {
  SAFEARRAYBOUND bound{4, 0};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(static_cast<VARTYPE>(VT_BSTR | VT_BYREF), 1, &bound), nullptr);
  SAFEARRAYBOUND huge[2] = {{0x10000, 0}, {0x10000, 0}};  // 2^32 elements
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, huge), nullptr);

  // Every element type the platform knows gets elements of its size.
  const struct {
    VARTYPE type;
    ULONG size;
  } kinds[] = {{VT_I1, 1}, {VT_UI2, 2}, {VT_BOOL, 2}, {VT_R4, 4}, {VT_ERROR, 4}, {VT_R8, 8},
               {VT_CY, 8}, {VT_DATE, 8}, {VT_I8, 8}, {VT_BSTR, sizeof(BSTR)},
               {VT_DISPATCH, sizeof(void*)}, {VT_VARIANT, sizeof(VARIANT)}};
  for (const auto& kind : kinds) {
    SAFEARRAY* array = SafeArrayCreateVector(kind.type, 1, 2);
    ASSERT_NE(array, nullptr) << kind.type;
    EXPECT_EQ(array->cbElements, kind.size) << kind.type;
    EXPECT_EQ(array->rgsabound[0].lLbound, 1) << kind.type;
    EXPECT_EQ(SafeArrayDestroy(array), S_OK) << kind.type;
  }
}

// An interface that counts its releases.
struct Counted final : IUnknown {
  int releases = 0;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return static_cast<ULONG>(++releases); }
};

TEST(ComStandInTest, DestroyingAnArrayReleasesWhatItOwnsUnlessLocked) {
  Counted a, b;
  SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 3);
  ASSERT_NE(objects, nullptr);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(objects, &data), S_OK);
  static_cast<IUnknown**>(data)[0] = &a;
  static_cast<IUnknown**>(data)[2] = &b;  // the middle one stays null
  EXPECT_EQ(SafeArrayDestroy(objects), static_cast<HRESULT>(0x8002000D));  // locked
  EXPECT_EQ(a.releases, 0);
  ASSERT_EQ(SafeArrayUnaccessData(objects), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(objects), E_INVALIDARG);  // not locked
  EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
  EXPECT_EQ(a.releases, 1);
  EXPECT_EQ(b.releases, 1);

  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
  SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 1);
  EXPECT_EQ(SafeArrayAccessData(numbers, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayUnaccessData(nullptr), E_INVALIDARG);
  // An array whose storage was taken away is destroyed without it.
  std::free(numbers->pvData);
  numbers->pvData = nullptr;
  EXPECT_EQ(SafeArrayDestroy(numbers), S_OK);
}

TEST(ComStandInTest, VariantClearFreesWhatTheValueOwns) {
  Counted object;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_UNKNOWN;
  value.punkVal = &object;
  EXPECT_EQ(VariantClear(&value), S_OK);
  EXPECT_EQ(object.releases, 1);
  EXPECT_EQ(value.vt, VT_EMPTY);

  // By reference, the value owns nothing.
  value.vt = static_cast<VARTYPE>(VT_UNKNOWN | VT_BYREF);
  value.byref = &object;
  EXPECT_EQ(VariantClear(&value), S_OK);
  EXPECT_EQ(object.releases, 1);

  value.vt = VT_DISPATCH;
  value.punkVal = nullptr;
  EXPECT_EQ(VariantClear(&value), S_OK);

  // An array that cannot be destroyed leaves the value as it was.
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  value.vt = static_cast<VARTYPE>(VT_ARRAY | VT_I4);
  value.parray = array;
  EXPECT_EQ(VariantClear(&value), static_cast<HRESULT>(0x8002000D));
  EXPECT_EQ(value.parray, array);
  SafeArrayUnaccessData(array);
  EXPECT_EQ(VariantClear(&value), S_OK);

  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(ComStandInTest, ApartmentsNestAndRefuseAChangeOfModel) {
  int dummy = 0;
  EXPECT_EQ(CoInitializeEx(&dummy, COINIT_MULTITHREADED), E_INVALIDARG);
  EXPECT_EQ(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr),
            CO_E_NOTINITIALIZED);
  void* object = &dummy;
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);

  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // one more than entered: ignored, as on Windows
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

TEST(ComStandInTest, OnlyTheInProcessWmiLocatorIsCreated) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             nullptr),
            E_POINTER);
  void* object = nullptr;
  Counted outer;
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, &outer, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             &object),
            static_cast<HRESULT>(0x80040110));  // CLASS_E_NOAGGREGATION
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 0x4 /* local server */, IID_IWbemLocator,
                             &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(IID_IWbemServices, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemServices,
                             &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             &object),
            S_OK);
  auto* locator = static_cast<IWbemLocator*>(object);
  EXPECT_EQ(CoSetProxyBlanket(locator, 10, 0, nullptr, 3, 3, nullptr, 0), S_OK);
  EXPECT_EQ(CoSetProxyBlanket(nullptr, 10, 0, nullptr, 3, 3, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(locator->Release(), 0u);
  CoUninitialize();
}

}  // namespace
}  // namespace vrel
