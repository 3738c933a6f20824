// COM, OLE Automation and WMI as the library uses them. On Windows they come
// from the system headers (ole32, oleaut32, wbemuuid). Elsewhere this header
// declares a stand-in with the same names, layouts and calls, implemented in
// com_posix.cpp and wmi_posix.cpp over the host's own data.
#pragma once

#include "vrel/platform/win_api.h"

#ifdef _WIN32

// The COM headers, each after those it builds on (kept by hand):
// clang-format off
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <comdef.h>
// clang-format on

#else  // !_WIN32

#include <cstring>

using OLECHAR = wchar_t;
using BSTR = OLECHAR*;
using LPCWSTR = const wchar_t*;
using LPWSTR = wchar_t*;
using LPOLESTR = OLECHAR*;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using CIMTYPE = LONG;
using LONGLONG = std::int64_t;
using PSECURITY_DESCRIPTOR = void*;
using RPC_AUTH_IDENTITY_HANDLE = void*;

// The calling convention of COM methods: __stdcall on 32-bit Windows, the
// ordinary one here. Implementations of the interfaces below spell it so that
// one source serves both.
#define STDMETHODCALLTYPE

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
constexpr HRESULT RPC_E_TOO_LATE = static_cast<HRESULT>(0x80010119);
constexpr HRESULT WBEM_S_NO_ERROR = 0;
constexpr HRESULT WBEM_S_FALSE = 1;
constexpr HRESULT WBEM_E_FAILED = static_cast<HRESULT>(0x80041001);
constexpr HRESULT WBEM_E_NOT_FOUND = static_cast<HRESULT>(0x80041002);
constexpr HRESULT WBEM_E_OUT_OF_MEMORY = static_cast<HRESULT>(0x80041006);
constexpr HRESULT WBEM_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80041008);
constexpr HRESULT WBEM_E_INVALID_NAMESPACE = static_cast<HRESULT>(0x8004100E);
constexpr HRESULT WBEM_E_INVALID_QUERY = static_cast<HRESULT>(0x80041017);
constexpr HRESULT WBEM_E_INVALID_QUERY_TYPE = static_cast<HRESULT>(0x80041018);

enum COINIT : DWORD { COINIT_MULTITHREADED = 0x0, COINIT_APARTMENTTHREADED = 0x2 };
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD RPC_C_AUTHN_LEVEL_DEFAULT = 0;
constexpr DWORD RPC_C_AUTHN_LEVEL_CALL = 3;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD RPC_C_AUTHN_WINNT = 10;
constexpr DWORD RPC_C_AUTHN_GSS_KERBEROS = 16;
constexpr DWORD RPC_C_AUTHZ_NONE = 0;
constexpr DWORD EOAC_NONE = 0;
constexpr ULONG SEC_WINNT_AUTH_IDENTITY_UNICODE = 0x2;
constexpr LONG WBEM_FLAG_RETURN_IMMEDIATELY = 0x10;
constexpr LONG WBEM_FLAG_FORWARD_ONLY = 0x20;
constexpr LONG WBEM_INFINITE = static_cast<LONG>(0xFFFFFFFF);

struct SEC_WINNT_AUTH_IDENTITY_W {
  USHORT* User;
  ULONG UserLength;
  USHORT* Domain;
  ULONG DomainLength;
  USHORT* Password;
  ULONG PasswordLength;
  ULONG Flags;
};
struct SOLE_AUTHENTICATION_INFO {
  DWORD dwAuthnSvc;
  DWORD dwAuthzSvc;
  void* pAuthInfo;
};
struct SOLE_AUTHENTICATION_LIST {
  DWORD cAuthInfo;
  SOLE_AUTHENTICATION_INFO* aAuthInfo;
};
struct SOLE_AUTHENTICATION_SERVICE;

// ---- OLE Automation: BSTR, SAFEARRAY, VARIANT ----

// One row per group of codes (kept by hand):
// clang-format off
enum VARENUM : VARTYPE {
  VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_CY = 6,
  VT_DATE = 7, VT_BSTR = 8, VT_DISPATCH = 9, VT_ERROR = 10, VT_BOOL = 11, VT_VARIANT = 12,
  VT_UNKNOWN = 13, VT_DECIMAL = 14, VT_I1 = 16, VT_UI1 = 17, VT_UI2 = 18, VT_UI4 = 19,
  VT_I8 = 20, VT_UI8 = 21, VT_INT = 22, VT_UINT = 23,
  VT_ARRAY = 0x2000, VT_BYREF = 0x4000
};
// clang-format on
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

struct IUnknown;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    USHORT uiVal;
    ULONG ulVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    SAFEARRAY* parray;
    void* byref;
  };
};

// Same as the oleaut32 functions of these names. A BSTR is a length-prefixed,
// NUL-terminated wide string allocated by SysAllocString*.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
void VariantInit(VARIANT* value);
HRESULT VariantClear(VARIANT* value);
SAFEARRAY* SafeArrayCreate(VARTYPE elementType, UINT dims, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE elementType, LONG lowerBound, ULONG count);
HRESULT SafeArrayDestroy(SAFEARRAY* array);

// ---- COM interfaces ----

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IWbemContext;

struct IWbemClassObject : IUnknown {
  // Reads one property; property names match without regard to case.
  virtual HRESULT Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type, LONG* flavor) = 0;

 protected:
  ~IWbemClassObject() = default;
};

struct IEnumWbemClassObject : IUnknown {
  virtual HRESULT Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) = 0;

 protected:
  ~IEnumWbemClassObject() = default;
};

struct IWbemServices : IUnknown {
  virtual HRESULT ExecQuery(BSTR language, BSTR query, LONG flags, IWbemContext* context,
                            IEnumWbemClassObject** result) = 0;

 protected:
  ~IWbemServices() = default;
};

struct IWbemLocator : IUnknown {
  virtual HRESULT ConnectServer(BSTR networkResource, BSTR user, BSTR password, BSTR locale,
                                LONG securityFlags, BSTR authority, IWbemContext* context,
                                IWbemServices** services) = 0;

 protected:
  ~IWbemLocator() = default;
};

extern const IID IID_IUnknown;
extern const IID IID_IWbemLocator;
extern const IID IID_IWbemServices;
extern const IID IID_IEnumWbemClassObject;
extern const IID IID_IWbemClassObject;
extern const CLSID CLSID_WbemLocator;

// ---- ole32 entry points (same as the Windows functions of these names) ----

HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();
HRESULT CoInitializeSecurity(PSECURITY_DESCRIPTOR descriptor, LONG authnServiceCount,
                             SOLE_AUTHENTICATION_SERVICE* authnServices, void* reserved1,
                             DWORD authnLevel, DWORD impLevel, void* authList,
                             DWORD capabilities, void* reserved3);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         void** object);
HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                          OLECHAR* serverPrincipalName, DWORD authnLevel, DWORD impLevel,
                          RPC_AUTH_IDENTITY_HANDLE authInfo, DWORD capabilities);

// Same as the compiler support class of Windows: the error a BSTR allocation
// failure raises, carrying its HRESULT.
class _com_error {
 public:
  explicit _com_error(HRESULT hr) noexcept : hr_(hr) {}
  HRESULT Error() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

#endif  // _WIN32
