#include "scripted_wmi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <stdexcept>

namespace vrel::test {
namespace {

ScriptedWmi* current = nullptr;

std::string Narrow(const wchar_t* text) {
  std::string narrow = text == nullptr ? "null" : "";
  for (; text != nullptr && *text != L'\0'; ++text) narrow += static_cast<char>(*text);
  return narrow;
}
// A BSTR carries its length in front; a plain wide string does not.
std::string Bstr(BSTR text) {
  const bool bstr = text == nullptr || SysStringLen(text) == std::wcslen(text);
  return Narrow(text) + (bstr ? "" : " (not a BSTR)");
}
std::string Ptr(const void* p) { return p == nullptr ? "null" : "set"; }
template <typename... T>
std::string Join(std::string text, const T&... rest) {
  ((text += ", " + std::string(rest)), ...);
  return text;
}
std::string N(long long n) { return std::to_string(n); }

#ifdef _WIN32
// Windows declares methods the library never calls; each fails the test.
#define VREL_NOT_CALLED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { ADD_FAILURE() << #name; return E_NOTIMPL; }
struct ClassObjectBase : IWbemClassObject {
  VREL_NOT_CALLED(GetQualifierSet, IWbemQualifierSet**)
  VREL_NOT_CALLED(Put, LPCWSTR, LONG, VARIANT*, CIMTYPE)
  VREL_NOT_CALLED(Delete, LPCWSTR)
  VREL_NOT_CALLED(GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
  VREL_NOT_CALLED(BeginEnumeration, LONG)
  VREL_NOT_CALLED(Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
  VREL_NOT_CALLED(EndEnumeration)
  VREL_NOT_CALLED(GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
  VREL_NOT_CALLED(Clone, IWbemClassObject**)
  VREL_NOT_CALLED(GetObjectText, LONG, BSTR*)
  VREL_NOT_CALLED(SpawnDerivedClass, LONG, IWbemClassObject**)
  VREL_NOT_CALLED(SpawnInstance, LONG, IWbemClassObject**)
  VREL_NOT_CALLED(CompareTo, LONG, IWbemClassObject*)
  VREL_NOT_CALLED(GetPropertyOrigin, LPCWSTR, BSTR*)
  VREL_NOT_CALLED(InheritsFrom, LPCWSTR)
  VREL_NOT_CALLED(GetMethod, LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**)
  VREL_NOT_CALLED(PutMethod, LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*)
  VREL_NOT_CALLED(DeleteMethod, LPCWSTR)
  VREL_NOT_CALLED(BeginMethodEnumeration, LONG)
  VREL_NOT_CALLED(NextMethod, LONG, BSTR*, IWbemClassObject**, IWbemClassObject**)
  VREL_NOT_CALLED(EndMethodEnumeration)
  VREL_NOT_CALLED(GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
  VREL_NOT_CALLED(GetMethodOrigin, LPCWSTR, BSTR*)
};
struct EnumeratorBase : IEnumWbemClassObject {
  VREL_NOT_CALLED(Reset)
  VREL_NOT_CALLED(NextAsync, ULONG, IWbemObjectSink*)
  VREL_NOT_CALLED(Clone, IEnumWbemClassObject**)
  VREL_NOT_CALLED(Skip, LONG, ULONG)
};
using B = const BSTR;
using C = IWbemContext*;
using S = IWbemObjectSink*;
struct ServicesBase : IWbemServices {
  VREL_NOT_CALLED(OpenNamespace, B, LONG, C, IWbemServices**, IWbemCallResult**)
  VREL_NOT_CALLED(CancelAsyncCall, S)
  VREL_NOT_CALLED(QueryObjectSink, LONG, IWbemObjectSink**)
  VREL_NOT_CALLED(GetObject, B, LONG, C, IWbemClassObject**, IWbemCallResult**)
  VREL_NOT_CALLED(GetObjectAsync, B, LONG, C, S)
  VREL_NOT_CALLED(PutClass, IWbemClassObject*, LONG, C, IWbemCallResult**)
  VREL_NOT_CALLED(PutClassAsync, IWbemClassObject*, LONG, C, S)
  VREL_NOT_CALLED(DeleteClass, B, LONG, C, IWbemCallResult**)
  VREL_NOT_CALLED(DeleteClassAsync, B, LONG, C, S)
  VREL_NOT_CALLED(CreateClassEnum, B, LONG, C, IEnumWbemClassObject**)
  VREL_NOT_CALLED(CreateClassEnumAsync, B, LONG, C, S)
  VREL_NOT_CALLED(PutInstance, IWbemClassObject*, LONG, C, IWbemCallResult**)
  VREL_NOT_CALLED(PutInstanceAsync, IWbemClassObject*, LONG, C, S)
  VREL_NOT_CALLED(DeleteInstance, B, LONG, C, IWbemCallResult**)
  VREL_NOT_CALLED(DeleteInstanceAsync, B, LONG, C, S)
  VREL_NOT_CALLED(CreateInstanceEnum, B, LONG, C, IEnumWbemClassObject**)
  VREL_NOT_CALLED(CreateInstanceEnumAsync, B, LONG, C, S)
  VREL_NOT_CALLED(ExecQueryAsync, B, B, LONG, C, S)
  VREL_NOT_CALLED(ExecNotificationQuery, B, B, LONG, C, IEnumWbemClassObject**)
  VREL_NOT_CALLED(ExecNotificationQueryAsync, B, B, LONG, C, S)
  VREL_NOT_CALLED(ExecMethod, B, B, LONG, C, IWbemClassObject*, IWbemClassObject**,
                  IWbemCallResult**)
  VREL_NOT_CALLED(ExecMethodAsync, B, B, LONG, C, IWbemClassObject*, S)
};
#undef VREL_NOT_CALLED
#else
using ClassObjectBase = IWbemClassObject;
using EnumeratorBase = IEnumWbemClassObject;
using ServicesBase = IWbemServices;
#endif

// IUnknown over the books; QueryInterface answers IUnknown and `iid`. The
// object stays alive in the ScriptedWmi after its last Release.
template <typename Interface>
struct Counted : Interface, ScriptedWmi::Books {
  Counted(std::string label, const IID& iid) : Books(std::move(label)), iid_(iid) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    Use("QueryInterface");
    *object = nullptr;
    if (iid != IID_IUnknown && iid != iid_) return E_NOINTERFACE;
    ++references;
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    Use("AddRef");
    return static_cast<ULONG>(++references);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    if (references <= 0) ADD_FAILURE() << label << ": released once more than referenced";
    if (current != nullptr) current->Use(label, "Release");
    return static_cast<ULONG>(references > 0 ? --references : 0);
  }
  void Use(const char* what) const {
    if (references <= 0) ADD_FAILURE() << label << ": " << what << " after its last Release";
    current->Use(label, what);
  }
  const IID& iid_;
};

struct ClassObject final : Counted<ClassObjectBase> {
  ClassObject(std::string label, Object properties)
      : Counted(std::move(label), IID_IWbemClassObject), properties_(std::move(properties)) {}
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                LONG* flavor) override {
    Use("Get");
    current->log.push_back(label + ".Get(" + Narrow(name) + ")");
    VARIANT zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof zero);
    EXPECT_TRUE(flags == 0 && type == nullptr && flavor == nullptr &&
                std::memcmp(value, &zero, sizeof zero) == 0)
        << label << ": Get takes flags 0, no type or flavour, a zero-filled VT_EMPTY value";
    for (const auto& [property, answer] : properties_) {
      std::size_t i = 0;
      while (i < property.size() && std::towlower(property[i]) == std::towlower(name[i])) ++i;
      if (i == property.size() && name[i] == L'\0') return answer(value);
    }
    return WBEM_E_NOT_FOUND;
  }
  Object properties_;
};

struct Enumerator final : Counted<EnumeratorBase> {
  Enumerator(const std::string& kind, const std::vector<Object>& objects, int failsAfter)
      : Counted(kind + "s", IID_IEnumWbemClassObject), kind_(kind), objects_(objects),
        failsAfter_(failsAfter) {}
  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    Use("Next");
    current->log.push_back(label + ".Next(" + Join(N(timeout), N(count)) + ")");
    *returned = 0;
    if (failsAfter_ >= 0 && next_ >= static_cast<std::size_t>(failsAfter_)) return WBEM_E_FAILED;
    if (next_ >= objects_.size()) return WBEM_S_FALSE;
    objects[0] = current->Keep(std::make_unique<ClassObject>(kind_ + " " + N(next_),
                                                             objects_[next_]));
    ++next_;
    *returned = 1;
    return WBEM_S_NO_ERROR;
  }
  std::string kind_;
  std::vector<Object> objects_;
  int failsAfter_;
  std::size_t next_ = 0;
};

struct Services final : Counted<ServicesBase> {
  Services() : Counted("services", IID_IWbemServices) {}
  HRESULT STDMETHODCALLTYPE ExecQuery(BSTR language, BSTR query, LONG flags, IWbemContext* context,
                                      IEnumWbemClassObject** result) override {
    Use("ExecQuery");
    ScriptedWmi& wmi = *current;
    wmi.log.push_back("ExecQuery(" + Join(Bstr(language), Bstr(query), N(flags), Ptr(context)) +
                      ")");
    *result = nullptr;
    const bool adapters = Narrow(query) == "SELECT * FROM Win32_NetworkAdapter";
    const HRESULT answer = adapters ? wmi.adapterQuery : wmi.configurationQuery;
    if (FAILED(answer)) return answer;
    *result = adapters ? wmi.Keep(std::make_unique<Enumerator>("adapter", wmi.adapters,
                                                                wmi.adapterNextFailsAfter))
                       : wmi.Keep(std::make_unique<Enumerator>("configuration", wmi.configurations,
                                                               wmi.configurationNextFailsAfter));
    return answer;
  }
};

struct Locator final : Counted<IWbemLocator> {
  Locator() : Counted("locator", IID_IWbemLocator) {}
  HRESULT STDMETHODCALLTYPE ConnectServer(BSTR resource, BSTR user, BSTR password, BSTR locale,
                                          LONG flags, BSTR authority, IWbemContext* context,
                                          IWbemServices** services) override {
    Use("ConnectServer");
    ScriptedWmi& wmi = *current;
    wmi.log.push_back("ConnectServer(" + Join(Bstr(resource), Ptr(user), Ptr(password),
                                              Ptr(locale), N(flags), Ptr(authority), Ptr(context)) +
                      ")");
    *services = nullptr;
    if (FAILED(wmi.connect)) return wmi.connect;
    *services = wmi.Keep(std::make_unique<Services>());
    wmi.services = static_cast<IUnknown*>(*services);
    return wmi.connect;
  }
};

// An authentication identity's text, read up to its NUL.
std::string Identity(const USHORT* text, ULONG length) {
  std::string narrow;
  for (int i = 0; text != nullptr && text[i] != 0; ++i) narrow += static_cast<char>(text[i]);
  return "'" + narrow + "'/" + N(length);
}

HRESULT CoInitializeExScripted(void* reserved, DWORD mode) {
  ScriptedWmi& wmi = *current;
  wmi.log.push_back("CoInitializeEx(" + Join(Ptr(reserved), N(mode)) + ")");
  if (SUCCEEDED(wmi.coInitialize)) ++wmi.depth;
  return wmi.coInitialize;
}

void CoUninitializeScripted() {
  ScriptedWmi& wmi = *current;
  ++wmi.uninitializes;
  if (wmi.depth-- == 0) ADD_FAILURE() << "CoUninitialize without a CoInitializeEx to balance";
}

HRESULT CoInitializeSecurityScripted(PSECURITY_DESCRIPTOR descriptor, LONG count,
                                     SOLE_AUTHENTICATION_SERVICE* services, void* reserved1,
                                     DWORD authnLevel, DWORD impLevel, void* authList,
                                     DWORD capabilities, void* reserved3) {
  ScriptedWmi& wmi = *current;
  wmi.Use("process", "CoInitializeSecurity");
  std::string list = Ptr(authList);
  if (authList != nullptr) {
    const auto* entries = static_cast<const SOLE_AUTHENTICATION_LIST*>(authList);
    for (DWORD i = 0; i < entries->cAuthInfo; ++i) {
      const SOLE_AUTHENTICATION_INFO& e = entries->aAuthInfo[i];
      const auto* id = static_cast<const SEC_WINNT_AUTH_IDENTITY_W*>(e.pAuthInfo);
      list += " {" + Join(N(e.dwAuthnSvc), N(e.dwAuthzSvc), Identity(id->User, id->UserLength),
                          Identity(id->Domain, id->DomainLength),
                          Identity(id->Password, id->PasswordLength), N(id->Flags)) + "}";
    }
  }
  wmi.log.push_back("CoInitializeSecurity(" +
                    Join(Ptr(descriptor), N(count), Ptr(services), Ptr(reserved1), N(authnLevel),
                         N(impLevel), list, N(capabilities), Ptr(reserved3)) + ")");
  return wmi.security;
}

HRESULT CoCreateInstanceScripted(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                 void** object) {
  ScriptedWmi& wmi = *current;
  wmi.Use("process", "CoCreateInstance");
  wmi.log.push_back("CoCreateInstance(" +
                    Join(std::string(clsid == CLSID_WbemLocator ? "WbemLocator" : "other"),
                         Ptr(outer), N(context),
                         std::string(iid == IID_IWbemLocator ? "IWbemLocator" : "other")) + ")");
  *object = nullptr;
  if (FAILED(wmi.locator)) return wmi.locator;
  *object = static_cast<IWbemLocator*>(wmi.Keep(std::make_unique<Locator>()));
  return wmi.locator;
}

HRESULT CoSetProxyBlanketScripted(IUnknown* proxy, DWORD authn, DWORD authz, OLECHAR* principal,
                                  DWORD level, DWORD impersonation, RPC_AUTH_IDENTITY_HANDLE identity,
                                  DWORD capabilities) {
  ScriptedWmi& wmi = *current;
  wmi.Use("process", "CoSetProxyBlanket");
  wmi.log.push_back("CoSetProxyBlanket(" +
                    Join(std::string(proxy == wmi.services ? "services" : "other"), N(authn),
                         N(authz), Ptr(principal), N(level), N(impersonation), Ptr(identity),
                         N(capabilities)) + ")");
  return wmi.blanket;
}

}  // namespace

Value Text(const std::wstring& text) {
  return [text](VARIANT* value) {
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(text.c_str());
    return value->bstrVal != nullptr ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  };
}

Value Int(std::int32_t number) { return Scalar(VT_I4, number); }

Value Texts(const std::vector<std::wstring>& texts) {
  return [texts](VARIANT* value) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (array == nullptr) return WBEM_E_OUT_OF_MEMORY;
    value->vt = VT_ARRAY | VT_BSTR;
    value->parray = array;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      static_cast<BSTR*>(array->pvData)[i] = SysAllocString(texts[i].c_str());
    }
    return WBEM_S_NO_ERROR;
  };
}

Value Scalar(VARTYPE type, LONG bits, HRESULT result) {
  return [=](VARIANT* value) {
    value->vt = type;
    value->lVal = bits;
    return result;
  };
}

Value Fails(HRESULT result) {
  return [result](VARIANT*) { return result; };
}

ScriptedWmi::ScriptedWmi(FakeMachine& machine) : machine_(machine), saved_(machine.api) {
  if (current != nullptr) throw std::logic_error("one ScriptedWmi at a time");
  current = this;
  machine.api.CoInitializeEx = CoInitializeExScripted;
  machine.api.CoInitializeSecurity = CoInitializeSecurityScripted;
  machine.api.CoCreateInstance = CoCreateInstanceScripted;
  machine.api.CoSetProxyBlanket = CoSetProxyBlanketScripted;
  machine.api.CoUninitialize = CoUninitializeScripted;
}

ScriptedWmi::~ScriptedWmi() {
  for (const auto& object : objects_) {
    EXPECT_EQ(object->references, 0) << object->label << " keeps references";
  }
  EXPECT_EQ(depth, 0) << "CoInitializeEx and CoUninitialize do not balance";
  machine_.api = saved_;
  current = nullptr;
}

ScriptedWmi& ScriptedWmi::Current() {
  if (current == nullptr) throw std::logic_error("no ScriptedWmi installed");
  return *current;
}

int ScriptedWmi::Calls(const std::string& prefix) const {
  int n = 0;
  for (const std::string& call : log) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

int ScriptedWmi::Alive() const {
  int alive = 0;
  for (const auto& object : objects_) alive += object->references > 0 ? 1 : 0;
  return alive;
}

IWbemClassObject* ScriptedWmi::NewObject(Object properties, std::string label) {
  return Keep(std::make_unique<ClassObject>(std::move(label), std::move(properties)));
}

void ScriptedWmi::Use(const std::string& who, const char* what) const {
  // A thread that another component put in a single-threaded apartment
  // (RPC_E_CHANGED_MODE) uses COM without an entry of its own.
  if (depth <= 0 && coInitialize != RPC_E_CHANGED_MODE) {
    ADD_FAILURE() << who << ": " << what << " outside the COM apartment";
  }
}

}  // namespace vrel::test
