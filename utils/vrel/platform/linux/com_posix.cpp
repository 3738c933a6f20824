// The COM and OLE Automation stand-in off Windows: BSTRs, SAFEARRAYs and
// VARIANTs with the Windows layouts, and the ole32 entry points the library
// calls, for the arguments it passes. WMI itself is served by wmi_posix.cpp.
#ifndef _WIN32

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <new>

#include "vrel/platform/com_api.h"
#include "vrel/platform/linux/wmi_posix.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IWbemLocator = {
    0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const IID IID_IWbemServices = {
    0x9556dc99, 0x828c, 0x11cf, {0xa3, 0x7e, 0x00, 0xaa, 0x00, 0x32, 0x40, 0xc7}};
const IID IID_IEnumWbemClassObject = {
    0x027947e1, 0xd731, 0x11ce, {0xa3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const IID IID_IWbemClassObject = {
    0xdc12a681, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const CLSID CLSID_WbemLocator = {
    0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

// ---- BSTR: a 32-bit byte length, then the characters and a NUL ----

namespace {

using LengthPrefix = std::uint32_t;
// The characters start after a prefix padded to wchar_t's alignment.
constexpr std::size_t kPrefixBytes =
    sizeof(LengthPrefix) > alignof(wchar_t) ? sizeof(LengthPrefix) : alignof(wchar_t);

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  void* block = std::malloc(kPrefixBytes + (std::size_t{length} + 1) * sizeof(OLECHAR));
  if (block == nullptr) return nullptr;
  auto* bytes = static_cast<unsigned char*>(block);
  const LengthPrefix byteLength = static_cast<LengthPrefix>(length * sizeof(OLECHAR));
  std::memcpy(bytes + kPrefixBytes - sizeof(LengthPrefix), &byteLength, sizeof byteLength);
  auto* chars = reinterpret_cast<OLECHAR*>(bytes + kPrefixBytes);
  if (text != nullptr) std::memcpy(chars, text, length * sizeof(OLECHAR));
  chars[length] = L'\0';
  return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR text) {
  if (text == nullptr) return;
  std::free(reinterpret_cast<unsigned char*>(text) - kPrefixBytes);
}

UINT SysStringLen(BSTR text) {
  LengthPrefix byteLength = 0;
  std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(text) - sizeof(LengthPrefix),
              sizeof byteLength);
  return byteLength / sizeof(OLECHAR);
}

// ---- SAFEARRAY: the header with its bounds, then the elements ----
// Only the element types the library reads and its tests build: 2- and
// 4-byte integers, and BSTRs, which destruction frees.

namespace {

std::size_t ElementSize(VARTYPE type) {
  switch (type) {
    case VT_I2: return 2;
    case VT_I4: return 4;
    case VT_BSTR: return sizeof(BSTR);
    default: return 0;
  }
}

// The fFeatures bit, as Windows sets it, that tells destruction to free BSTRs.
constexpr USHORT FADF_BSTR = 0x0100;

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE elementType, UINT dims, SAFEARRAYBOUND* bounds) {
  const std::size_t elementSize = ElementSize(elementType);
  if (elementSize == 0) return nullptr;
  std::size_t total = 1;  // calloc refuses what cannot be allocated
  for (UINT i = 0; i < dims; ++i) total *= bounds[i].cElements;
  const std::size_t headerSize = sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
  auto* array = static_cast<SAFEARRAY*>(std::calloc(1, headerSize));
  if (array == nullptr) return nullptr;
  array->pvData = std::calloc(total == 0 ? 1 : total, elementSize);
  if (array->pvData == nullptr) {
    std::free(array);
    return nullptr;
  }
  array->cDims = static_cast<USHORT>(dims);
  array->cbElements = static_cast<ULONG>(elementSize);
  if (elementType == VT_BSTR) array->fFeatures = FADF_BSTR;
  // Windows stores the bounds in reverse order of the argument.
  for (UINT i = 0; i < dims; ++i) array->rgsabound[i] = bounds[dims - 1 - i];
  return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE elementType, LONG lowerBound, ULONG count) {
  SAFEARRAYBOUND bound{count, lowerBound};
  return SafeArrayCreate(elementType, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (array->cLocks != 0) return static_cast<HRESULT>(0x8002000D);  // DISP_E_ARRAYISLOCKED
  std::size_t total = 1;
  for (USHORT i = 0; i < array->cDims; ++i) total *= array->rgsabound[i].cElements;
  if (array->fFeatures & FADF_BSTR) {
    auto* strings = static_cast<BSTR*>(array->pvData);
    for (std::size_t i = 0; i < total; ++i) SysFreeString(strings[i]);
  }
  std::free(array->pvData);
  std::free(array);
  return S_OK;
}

// ---- VARIANT ----

void VariantInit(VARIANT* value) { value->vt = VT_EMPTY; }

HRESULT VariantClear(VARIANT* value) {
  HRESULT hr = S_OK;
  if ((value->vt & VT_BYREF) == 0) {
    if (value->vt & VT_ARRAY) {
      hr = SafeArrayDestroy(value->parray);
    } else if (value->vt == VT_BSTR) {
      SysFreeString(value->bstrVal);
    } else if ((value->vt == VT_UNKNOWN || value->vt == VT_DISPATCH) && value->punkVal != nullptr) {
      value->punkVal->Release();
    }
  }
  if (SUCCEEDED(hr)) {
    std::memset(value, 0, sizeof *value);
    value->vt = VT_EMPTY;
  }
  return hr;
}

// ---- ole32 ----

namespace {

// Per thread: how often COM was entered, and in which apartment.
thread_local int comInitCount = 0;
thread_local DWORD comApartment = COINIT_MULTITHREADED;

std::mutex& SecurityMutex() {
  static std::mutex mutex;
  return mutex;
}
bool securitySet = false;

}  // namespace

HRESULT CoInitializeEx(void*, DWORD coInit) {
  const DWORD apartment = coInit & COINIT_APARTMENTTHREADED;
  if (comInitCount > 0) {
    if (apartment != comApartment) return RPC_E_CHANGED_MODE;
    ++comInitCount;
    return S_FALSE;
  }
  comApartment = apartment;
  comInitCount = 1;
  return S_OK;
}

void CoUninitialize() { --comInitCount; }

HRESULT CoInitializeSecurity(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*,
                             DWORD, DWORD, void*, DWORD, void*) {
  std::lock_guard<std::mutex> lock(SecurityMutex());
  // Process security can be set once per process, as on Windows.
  if (securitySet) return RPC_E_TOO_LATE;
  securitySet = true;
  return S_OK;
}

// The one class the library creates; any other is not registered here.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown*, DWORD, REFIID iid, void** object) {
  *object = nullptr;
  if (clsid != CLSID_WbemLocator) return REGDB_E_CLASSNOTREG;
  return vrel::platform::CreateHostWbemLocator(iid, object);
}

// In-process objects have no proxy to configure; Windows answers the same for
// an in-process server.
HRESULT CoSetProxyBlanket(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                          RPC_AUTH_IDENTITY_HANDLE, DWORD) {
  return S_OK;
}

#endif  // !_WIN32
