// The COM and OLE Automation stand-in off Windows: BSTRs, SAFEARRAYs and
// VARIANTs with the Windows layouts, and the ole32 entry points the library
// calls. WMI itself is served by wmi_posix.cpp.
#ifndef _WIN32

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <new>

#include "vrel/platform/com_api.h"
#include "vrel/platform/wmi_posix.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IWbemLocator = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const IID IID_IWbemServices = {0x9556dc99, 0x828c, 0x11cf, {0xa3, 0x7e, 0x00, 0xaa, 0x00, 0x32, 0x40, 0xc7}};
const IID IID_IEnumWbemClassObject = {0x027947e1, 0xd731, 0x11ce, {0xa3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const IID IID_IWbemClassObject = {0xdc12a681, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const CLSID CLSID_WbemLocator = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

// ---- BSTR: a 32-bit byte length, then the characters and a NUL ----

namespace {

using LengthPrefix = std::uint32_t;
// The characters start after a prefix padded to wchar_t's alignment.
constexpr std::size_t kPrefixBytes =
    sizeof(LengthPrefix) > alignof(wchar_t) ? sizeof(LengthPrefix) : alignof(wchar_t);

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (0xFFFFFFFFu - kPrefixBytes) / sizeof(OLECHAR) - 1) return nullptr;
  void* block = std::malloc(kPrefixBytes + (std::size_t{length} + 1) * sizeof(OLECHAR));
  if (block == nullptr) return nullptr;
  auto* bytes = static_cast<unsigned char*>(block);
  const LengthPrefix byteLength = static_cast<LengthPrefix>(length * sizeof(OLECHAR));
  std::memcpy(bytes + kPrefixBytes - sizeof(LengthPrefix), &byteLength, sizeof byteLength);
  auto* chars = reinterpret_cast<OLECHAR*>(bytes + kPrefixBytes);
  if (text != nullptr) {
    std::memcpy(chars, text, length * sizeof(OLECHAR));
  } else {
    std::memset(chars, 0, length * sizeof(OLECHAR));
  }
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
  if (text == nullptr) return 0;
  LengthPrefix byteLength = 0;
  std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(text) - sizeof(LengthPrefix),
              sizeof byteLength);
  return byteLength / sizeof(OLECHAR);
}

// ---- SAFEARRAY: the header with its bounds, then the elements ----

namespace {

std::size_t ElementSize(VARTYPE type) {
  switch (type) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_UNKNOWN: case VT_DISPATCH: return sizeof(IUnknown*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

// fFeatures bits, as Windows sets them, so that destruction knows what to free.
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_VARIANT = 0x0800;

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE elementType, UINT dims, SAFEARRAYBOUND* bounds) {
  const std::size_t elementSize = ElementSize(elementType);
  if (dims == 0 || dims > 0xFFFF || bounds == nullptr || elementSize == 0) return nullptr;
  std::size_t total = 1;
  for (UINT i = 0; i < dims; ++i) {
    const std::size_t n = bounds[i].cElements;
    if (n != 0 && total > (std::size_t{1} << 31) / n) return nullptr;
    total *= n;
  }
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
  if (elementType == VT_UNKNOWN || elementType == VT_DISPATCH) array->fFeatures = FADF_UNKNOWN;
  if (elementType == VT_VARIANT) array->fFeatures = FADF_VARIANT;
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
  if (array->pvData != nullptr) {
    if (array->fFeatures & FADF_BSTR) {
      auto* strings = static_cast<BSTR*>(array->pvData);
      for (std::size_t i = 0; i < total; ++i) SysFreeString(strings[i]);
    } else if (array->fFeatures & FADF_UNKNOWN) {
      auto* objects = static_cast<IUnknown**>(array->pvData);
      for (std::size_t i = 0; i < total; ++i)
        if (objects[i] != nullptr) objects[i]->Release();
    } else if (array->fFeatures & FADF_VARIANT) {
      auto* values = static_cast<VARIANT*>(array->pvData);
      for (std::size_t i = 0; i < total; ++i) VariantClear(&values[i]);
    }
    std::free(array->pvData);
  }
  std::free(array);
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
  if (array == nullptr || array->cLocks == 0) return E_INVALIDARG;
  --array->cLocks;
  return S_OK;
}

// ---- VARIANT ----

void VariantInit(VARIANT* value) { value->vt = VT_EMPTY; }

HRESULT VariantClear(VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
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

HRESULT CoInitializeEx(void* reserved, DWORD coInit) {
  if (reserved != nullptr) return E_INVALIDARG;
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

void CoUninitialize() {
  if (comInitCount > 0) --comInitCount;
}

HRESULT CoInitializeSecurity(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*,
                             DWORD, DWORD, void*, DWORD, void*) {
  if (comInitCount == 0) return CO_E_NOTINITIALIZED;
  std::lock_guard<std::mutex> lock(SecurityMutex());
  // Process security can be set once per process, as on Windows.
  if (securitySet) return RPC_E_TOO_LATE;
  securitySet = true;
  return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (comInitCount == 0) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return static_cast<HRESULT>(0x80040110);  // CLASS_E_NOAGGREGATION
  if ((context & CLSCTX_INPROC_SERVER) == 0 || clsid != CLSID_WbemLocator)
    return REGDB_E_CLASSNOTREG;
  return vrel::platform::CreateHostWbemLocator(iid, object);
}

HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                          RPC_AUTH_IDENTITY_HANDLE, DWORD) {
  // In-process objects have no proxy to configure; Windows answers the same
  // for an in-process server.
  return proxy != nullptr ? S_OK : E_INVALIDARG;
}

#endif  // !_WIN32
