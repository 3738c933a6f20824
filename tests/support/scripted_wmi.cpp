#include "scripted_wmi.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <cwctype>

namespace vrel::test {

struct ScriptedWmi::Books {
  explicit Books(std::string name) : label(std::move(name)) {}
  virtual ~Books() = default;
  std::string label;
  int references = 1;
};

namespace {

ScriptedWmi* current = nullptr;

void Use(const std::string& who, const char* what) {
  // A thread that another component put in a single-threaded apartment
  // (RPC_E_CHANGED_MODE) uses COM without an entry of its own.
  if (current->depth <= 0 && current->coInitialize != RPC_E_CHANGED_MODE) {
    ADD_FAILURE() << who << ": " << what << " outside the COM apartment";
  }
}

template <typename T>
T* Keep(std::unique_ptr<T> object) {
  T* kept = object.get();
  current->objects.push_back(std::move(object));
  return kept;
}

#ifdef _WIN32
// Windows declares methods the library never calls; each fails the test.
#define NOT_CALLED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { ADD_FAILURE() << #name; return E_NOTIMPL; }
using B = const BSTR;
using C = IWbemContext*;
using S = IWbemObjectSink*;
using O = IWbemClassObject*;
using R = IWbemCallResult**;
struct ClassObjectBase : IWbemClassObject {
  NOT_CALLED(GetQualifierSet, IWbemQualifierSet**) NOT_CALLED(Put, LPCWSTR, LONG, VARIANT*, CIMTYPE)
  NOT_CALLED(Delete, LPCWSTR) NOT_CALLED(GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
  NOT_CALLED(BeginEnumeration, LONG) NOT_CALLED(Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
  NOT_CALLED(EndEnumeration) NOT_CALLED(GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
  NOT_CALLED(Clone, O*) NOT_CALLED(GetObjectText, LONG, BSTR*) NOT_CALLED(SpawnDerivedClass, LONG, O*)
  NOT_CALLED(SpawnInstance, LONG, O*) NOT_CALLED(CompareTo, LONG, O) NOT_CALLED(InheritsFrom, LPCWSTR)
  NOT_CALLED(GetPropertyOrigin, LPCWSTR, BSTR*) NOT_CALLED(GetMethod, LPCWSTR, LONG, O*, O*)
  NOT_CALLED(PutMethod, LPCWSTR, LONG, O, O) NOT_CALLED(DeleteMethod, LPCWSTR)
  NOT_CALLED(BeginMethodEnumeration, LONG) NOT_CALLED(NextMethod, LONG, BSTR*, O*, O*)
  NOT_CALLED(EndMethodEnumeration) NOT_CALLED(GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
  NOT_CALLED(GetMethodOrigin, LPCWSTR, BSTR*)
};
struct EnumeratorBase : IEnumWbemClassObject {
  NOT_CALLED(Reset) NOT_CALLED(NextAsync, ULONG, S) NOT_CALLED(Clone, IEnumWbemClassObject**)
  NOT_CALLED(Skip, LONG, ULONG)
};
struct ServicesBase : IWbemServices {
  NOT_CALLED(OpenNamespace, B, LONG, C, IWbemServices**, R) NOT_CALLED(CancelAsyncCall, S)
  NOT_CALLED(QueryObjectSink, LONG, S*) NOT_CALLED(GetObject, B, LONG, C, O*, R)
  NOT_CALLED(GetObjectAsync, B, LONG, C, S) NOT_CALLED(PutClass, O, LONG, C, R)
  NOT_CALLED(PutClassAsync, O, LONG, C, S) NOT_CALLED(DeleteClass, B, LONG, C, R)
  NOT_CALLED(DeleteClassAsync, B, LONG, C, S) NOT_CALLED(CreateClassEnum, B, LONG, C, IEnumWbemClassObject**)
  NOT_CALLED(CreateClassEnumAsync, B, LONG, C, S) NOT_CALLED(PutInstance, O, LONG, C, R)
  NOT_CALLED(PutInstanceAsync, O, LONG, C, S) NOT_CALLED(DeleteInstance, B, LONG, C, R)
  NOT_CALLED(DeleteInstanceAsync, B, LONG, C, S)
  NOT_CALLED(CreateInstanceEnum, B, LONG, C, IEnumWbemClassObject**)
  NOT_CALLED(CreateInstanceEnumAsync, B, LONG, C, S) NOT_CALLED(ExecQueryAsync, B, B, LONG, C, S)
  NOT_CALLED(ExecNotificationQuery, B, B, LONG, C, IEnumWbemClassObject**)
  NOT_CALLED(ExecNotificationQueryAsync, B, B, LONG, C, S)
  NOT_CALLED(ExecMethod, B, B, LONG, C, O, O*, R) NOT_CALLED(ExecMethodAsync, B, B, LONG, C, O, S)
};
#undef NOT_CALLED
#else
using ClassObjectBase = IWbemClassObject;
using EnumeratorBase = IEnumWbemClassObject;
using ServicesBase = IWbemServices;
#endif

// IUnknown over the books: QueryInterface answers IUnknown and `iid`. The
// object stays in ScriptedWmi::objects after its last Release.
template <typename Interface>
struct Counted : Interface, ScriptedWmi::Books {
  Counted(std::string name, const IID& iid) : Books(std::move(name)), iid_(iid) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    Check("QueryInterface");
    *object = iid == IID_IUnknown || iid == iid_ ? static_cast<Interface*>(this) : nullptr;
    references += *object != nullptr ? 1 : 0;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Check("AddRef"), ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return Check("Release"), --references; }
  void Check(const char* what) {
    if (references <= 0) ADD_FAILURE() << label << ": " << what << " after its last Release";
    Use(label, what);
  }
  const IID& iid_;
};

struct ClassObject final : Counted<ClassObjectBase> {
  ClassObject(std::string name, Object properties)
      : Counted(std::move(name), IID_IWbemClassObject), properties_(std::move(properties)) {}
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE*, LONG*) override {
    Check("Get");
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
  HRESULT STDMETHODCALLTYPE Next(LONG, ULONG, IWbemClassObject** objects, ULONG* returned) override {
    Check("Next");
    *returned = 0;
    if (failsAfter_ >= 0 && next_ >= static_cast<std::size_t>(failsAfter_)) return WBEM_E_FAILED;
    if (next_ >= objects_.size()) return WBEM_S_FALSE;
    objects[0] = Keep(std::make_unique<ClassObject>(kind_ + " " + std::to_string(next_), objects_[next_]));
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
  HRESULT STDMETHODCALLTYPE ExecQuery(BSTR, BSTR query, LONG, IWbemContext*,
                                      IEnumWbemClassObject** result) override {
    Check("ExecQuery");
    current->log.push_back("ExecQuery");
    ScriptedWmi& wmi = *current;
    const bool adapters = std::wcscmp(query, L"SELECT * FROM Win32_NetworkAdapter") == 0;
    const HRESULT answer = adapters ? wmi.adapterQuery : wmi.configurationQuery;
    *result = nullptr;
    if (FAILED(answer)) return answer;
    *result = Keep(adapters ? std::make_unique<Enumerator>("adapter", wmi.adapters,
                                                           wmi.adapterNextFailsAfter)
                            : std::make_unique<Enumerator>("configuration", wmi.configurations,
                                                           wmi.configurationNextFailsAfter));
    return answer;
  }
};

struct Locator final : Counted<IWbemLocator> {
  Locator() : Counted("locator", IID_IWbemLocator) {}
  HRESULT STDMETHODCALLTYPE ConnectServer(BSTR, BSTR, BSTR, BSTR, LONG, BSTR, IWbemContext*,
                                          IWbemServices** services) override {
    Check("ConnectServer");
    *services = nullptr;
    if (FAILED(current->connect)) return current->connect;
    *services = Keep(std::make_unique<Services>());
    return current->connect;
  }
};

// Windows 2000's authentication list: NTLM then Kerberos, each with the
// identity MyUser / "MyDomain " / empty password in UTF-16, each text's
// length given without its terminating zero.
void CheckList(const void* authList) {
  const auto* list = static_cast<const SOLE_AUTHENTICATION_LIST*>(authList);
  ASSERT_EQ(list->cAuthInfo, 2u);
  for (DWORD i = 0; i < 2; ++i) {
    const SOLE_AUTHENTICATION_INFO& entry = list->aAuthInfo[i];
    const auto* id = static_cast<const SEC_WINNT_AUTH_IDENTITY_W*>(entry.pAuthInfo);
    const auto text = [](const USHORT* units, ULONG length) {
      return std::u16string(units, units + length + 1);
    };
    EXPECT_TRUE(entry.dwAuthnSvc == static_cast<DWORD>(i == 0 ? RPC_C_AUTHN_WINNT
                                                                : RPC_C_AUTHN_GSS_KERBEROS) &&
                entry.dwAuthzSvc == RPC_C_AUTHZ_NONE &&
                text(id->User, id->UserLength) == std::u16string(u"MyUser", 7) &&
                text(id->Domain, id->DomainLength) == std::u16string(u"MyDomain ", 10) &&
                text(id->Password, id->PasswordLength) == std::u16string(1, u'\0') &&
                id->Flags == SEC_WINNT_AUTH_IDENTITY_UNICODE) << "authentication entry " << i;
  }
}

HRESULT CoInitializeExScripted(void*, DWORD) {
  current->log.push_back("CoInitializeEx");
  if (SUCCEEDED(current->coInitialize)) ++current->depth;
  return current->coInitialize;
}

void CoUninitializeScripted() {
  ++current->uninitializes;
  if (current->depth-- == 0) ADD_FAILURE() << "CoUninitialize without a CoInitializeEx to balance";
}

HRESULT CoInitializeSecurityScripted(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*,
                                     void*, DWORD authnLevel, DWORD, void* authList, DWORD, void*) {
  Use("process", "CoInitializeSecurity");
  current->log.push_back("CoInitializeSecurity(" + std::to_string(authnLevel) +
                         (authList != nullptr ? ", list)" : ")"));
  if (authList != nullptr) CheckList(authList);
  return current->security;
}

HRESULT CoCreateInstanceScripted(REFCLSID, IUnknown*, DWORD, REFIID, void** object) {
  Use("process", "CoCreateInstance");
  *object = nullptr;
  if (FAILED(current->locator)) return current->locator;
  *object = static_cast<IWbemLocator*>(Keep(std::make_unique<Locator>()));
  return current->locator;
}

HRESULT CoSetProxyBlanketScripted(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                                  RPC_AUTH_IDENTITY_HANDLE, DWORD) {
  Use("process", "CoSetProxyBlanket");
  return current->blanket;
}

}  // namespace

Value Text(const std::wstring& text) {
  return [text](VARIANT* value) {
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(text.c_str());
    return value->bstrVal != nullptr ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  };
}

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

ScriptedWmi::ScriptedWmi(FakeMachine& machine) : machine_(machine), saved_(machine.api) {
  current = this;
  machine.api.CoInitializeEx = CoInitializeExScripted;
  machine.api.CoInitializeSecurity = CoInitializeSecurityScripted;
  machine.api.CoCreateInstance = CoCreateInstanceScripted;
  machine.api.CoSetProxyBlanket = CoSetProxyBlanketScripted;
  machine.api.CoUninitialize = CoUninitializeScripted;
}

ScriptedWmi::~ScriptedWmi() {
  for (const auto& object : objects) EXPECT_EQ(object->references, 0) << object->label;
  EXPECT_EQ(depth, 0) << "CoInitializeEx and CoUninitialize do not balance";
  machine_.api = saved_;
  current = nullptr;
}

int ScriptedWmi::Calls(const std::string& prefix) const {
  int n = 0;
  for (const std::string& call : log) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

int ScriptedWmi::Alive() const {
  int alive = 0;
  for (const auto& object : objects) alive += object->references > 0 ? 1 : 0;
  return alive;
}

IWbemClassObject* ScriptedWmi::NewObject(Object properties, std::string label) {
  return Keep(std::make_unique<ClassObject>(std::move(label), std::move(properties)));
}

}  // namespace vrel::test
