#include "fake_wmi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <stdexcept>

namespace vrel::test {
namespace {

FakeWmi* current = nullptr;

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; text != nullptr && *text != L'\0'; ++text) narrow += static_cast<char>(*text);
  return narrow;
}

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

// A BSTR carries its length in front; a plain wide string does not.
bool IsBstr(BSTR text) {
  return text != nullptr && SysStringLen(text) == std::wcslen(text);
}

// An identity text of the authentication list, read up to its NUL.
std::u16string IdentityText(const USHORT* text) {
  std::u16string copy;
  for (int i = 0; text != nullptr && text[i] != 0 && i < 256; ++i) {
    copy += static_cast<char16_t>(text[i]);
  }
  return copy;
}

class FakeEnumerator final : public Counted<StubEnumWbemClassObject> {
 public:
  FakeEnumerator(std::string label, std::string objectLabel, std::vector<FakeObject> objects,
                 int failsAfter)
      : Counted(std::move(label), IID_IEnumWbemClassObject),
        objectLabel_(std::move(objectLabel)),
        objects_(std::move(objects)),
        failsAfter_(failsAfter) {}

  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    CheckUse("Next");
    FakeWmi& wmi = FakeWmi::Current();
    wmi.nextCalls.push_back({Label(), timeout, count});
    if (objects == nullptr || returned == nullptr || count == 0) {
      ADD_FAILURE() << Label() << ": Next without room for an object";
      return WBEM_E_INVALID_PARAMETER;
    }
    *returned = 0;
    if (failsAfter_ >= 0 && handedOut_ >= static_cast<std::size_t>(failsAfter_)) {
      return WBEM_E_FAILED;
    }
    if (handedOut_ >= objects_.size()) return WBEM_S_FALSE;
    auto object = std::make_unique<FakeClassObject>(
        objectLabel_ + " " + std::to_string(handedOut_), objects_[handedOut_], &wmi.reads);
    // Adopted before it is handed out: if adopting throws, the caller never
    // holds a pointer to the deleted object.
    FakeClassObject* made = object.get();
    wmi.Adopt(std::move(object));
    objects[0] = made;
    ++handedOut_;
    *returned = 1;
    return count == 1 ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

 private:
  std::string objectLabel_;
  std::vector<FakeObject> objects_;
  int failsAfter_;
  std::size_t handedOut_ = 0;
};

class FakeServices final : public Counted<StubWbemServices> {
 public:
  FakeServices() : Counted("services", IID_IWbemServices) {}

  HRESULT STDMETHODCALLTYPE ExecQuery(BSTR language, BSTR query, LONG flags,
                                      IWbemContext* context,
                                      IEnumWbemClassObject** result) override {
    CheckUse("ExecQuery");
    FakeWmi& wmi = FakeWmi::Current();
    wmi.queryCalls.push_back({language != nullptr ? language : L"", query != nullptr ? query : L"",
                              IsBstr(language) && IsBstr(query), context == nullptr, flags});
    if (result == nullptr) {
      ADD_FAILURE() << "ExecQuery without a result slot";
      return WBEM_E_INVALID_PARAMETER;
    }
    *result = nullptr;
    const std::wstring text = query != nullptr ? query : L"";
    const bool adapters = text == L"SELECT * FROM Win32_NetworkAdapter";
    if (!adapters && text != L"SELECT * FROM Win32_NetworkAdapterConfiguration") {
      return WBEM_E_INVALID_QUERY;
    }
    const HRESULT scripted = adapters ? wmi.adapterQueryResult : wmi.configurationQueryResult;
    if (FAILED(scripted)) return scripted;
    auto enumerator = adapters
        ? std::make_unique<FakeEnumerator>("adapter enumerator", "adapter", wmi.adapters,
                                           wmi.adapterNextFailsAfter)
        : std::make_unique<FakeEnumerator>("configuration enumerator", "configuration",
                                           wmi.configurations, wmi.configurationNextFailsAfter);
    IEnumWbemClassObject* made = enumerator.get();
    wmi.Adopt(std::move(enumerator));
    *result = made;
    return scripted;
  }
};

class FakeLocator final : public Counted<StubWbemLocator> {
 public:
  FakeLocator() : Counted("locator", IID_IWbemLocator) {}

  HRESULT STDMETHODCALLTYPE ConnectServer(BSTR resource, BSTR user, BSTR password, BSTR locale,
                                          LONG securityFlags, BSTR authority,
                                          IWbemContext* context,
                                          IWbemServices** services) override {
    CheckUse("ConnectServer");
    FakeWmi& wmi = FakeWmi::Current();
    wmi.connectCalls.push_back({resource != nullptr ? resource : L"", IsBstr(resource),
                                user == nullptr && password == nullptr && locale == nullptr &&
                                    authority == nullptr,
                                context == nullptr, securityFlags});
    if (services == nullptr) {
      ADD_FAILURE() << "ConnectServer without a services slot";
      return WBEM_E_INVALID_PARAMETER;
    }
    *services = nullptr;
    if (FAILED(wmi.connectResult)) return wmi.connectResult;
    auto made = std::make_unique<FakeServices>();
    FakeServices* raw = made.get();
    wmi.Adopt(std::move(made));
    *services = raw;
    wmi.servicesMade = raw;
    return wmi.connectResult;
  }
};

// ---- the COM entry points of the seam ----

HRESULT FakeCoInitializeEx(void* reserved, DWORD coInit) {
  FakeWmi& wmi = FakeWmi::Current();
  ++wmi.coInitializeCalls;
  wmi.coInitializeModes.push_back(coInit);
  EXPECT_EQ(reserved, nullptr) << "CoInitializeEx's reserved argument";
  if (SUCCEEDED(wmi.coInitializeResult)) wmi.EnterApartment();
  return wmi.coInitializeResult;
}

void FakeCoUninitialize() {
  FakeWmi& wmi = FakeWmi::Current();
  ++wmi.coUninitializeCalls;
  wmi.LeaveApartment();
}

HRESULT FakeCoInitializeSecurity(PSECURITY_DESCRIPTOR descriptor, LONG serviceCount,
                                 SOLE_AUTHENTICATION_SERVICE* services, void* reserved1,
                                 DWORD authnLevel, DWORD impLevel, void* authList,
                                 DWORD capabilities, void* reserved3) {
  FakeWmi& wmi = FakeWmi::Current();
  wmi.CheckInsideApartment("process", "CoInitializeSecurity");
  FakeWmi::SecurityCall call{descriptor == nullptr, services == nullptr, reserved1 == nullptr,
                             reserved3 == nullptr, serviceCount, authnLevel, impLevel,
                             capabilities, authList != nullptr, {}};
  if (authList != nullptr) {
    const auto* list = static_cast<const SOLE_AUTHENTICATION_LIST*>(authList);
    for (DWORD i = 0; i < list->cAuthInfo; ++i) {
      const SOLE_AUTHENTICATION_INFO& info = list->aAuthInfo[i];
      const auto* identity = static_cast<const SEC_WINNT_AUTH_IDENTITY_W*>(info.pAuthInfo);
      FakeWmi::SecurityCall::Entry entry{info.dwAuthnSvc, info.dwAuthzSvc, {}, {}, {}, 0, 0, 0, 0};
      if (identity != nullptr) {
        entry.user = IdentityText(identity->User);
        entry.domain = IdentityText(identity->Domain);
        entry.password = IdentityText(identity->Password);
        entry.userLength = identity->UserLength;
        entry.domainLength = identity->DomainLength;
        entry.passwordLength = identity->PasswordLength;
        entry.flags = identity->Flags;
        EXPECT_NE(identity->Password, nullptr) << "the password is empty, not absent";
      }
      call.entries.push_back(entry);
    }
  }
  wmi.securityCalls.push_back(call);
  return wmi.securityResult;
}

HRESULT FakeCoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                             void** object) {
  FakeWmi& wmi = FakeWmi::Current();
  wmi.CheckInsideApartment("process", "CoCreateInstance");
  wmi.createCalls.push_back({clsid == CLSID_WbemLocator, outer == nullptr,
                             iid == IID_IWbemLocator, context});
  if (object == nullptr) {
    ADD_FAILURE() << "CoCreateInstance without an object slot";
    return E_POINTER;
  }
  *object = nullptr;
  if (FAILED(wmi.createLocatorResult)) return wmi.createLocatorResult;
  auto locator = std::make_unique<FakeLocator>();
  IWbemLocator* made = locator.get();
  wmi.Adopt(std::move(locator));
  *object = made;
  return wmi.createLocatorResult;
}

HRESULT FakeCoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                              OLECHAR* principal, DWORD authnLevel, DWORD impLevel,
                              RPC_AUTH_IDENTITY_HANDLE identity, DWORD capabilities) {
  FakeWmi& wmi = FakeWmi::Current();
  wmi.CheckInsideApartment("process", "CoSetProxyBlanket");
  wmi.blanketCalls.push_back({proxy != nullptr && proxy == wmi.servicesMade, principal == nullptr,
                              identity == nullptr, authnService, authzService, authnLevel,
                              impLevel, capabilities});
  return wmi.blanketResult;
}

}  // namespace

// ---- property values ----

PropertyValue TextValue(const std::wstring& text) {
  return [text](VARIANT* value) {
    value->bstrVal = SysAllocString(text.c_str());
    value->vt = VT_BSTR;
    return value->bstrVal != nullptr ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
  };
}

PropertyValue IntValue(std::int32_t number) {
  return [number](VARIANT* value) {
    value->vt = VT_I4;
    value->lVal = number;
    return WBEM_S_NO_ERROR;
  };
}

PropertyValue TextArrayValue(const std::vector<std::wstring>& texts) {
  return [texts](VARIANT* value) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (array == nullptr) return WBEM_E_OUT_OF_MEMORY;
    BSTR* slots = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&slots));
    for (std::size_t i = 0; i < texts.size(); ++i) slots[i] = SysAllocString(texts[i].c_str());
    SafeArrayUnaccessData(array);
    value->vt = VT_ARRAY | VT_BSTR;
    value->parray = array;
    return WBEM_S_NO_ERROR;
  };
}

PropertyValue NullValue() {
  return [](VARIANT* value) {
    value->vt = VT_NULL;
    return WBEM_S_NO_ERROR;
  };
}

PropertyValue FailingValue(HRESULT result) {
  return [result](VARIANT*) { return result; };
}

// ---- bookkeeping ----

ULONG FakeComObject::CountAddRef(const char* how) {
  CheckUse(how);
  return static_cast<ULONG>(++references_);
}

ULONG FakeComObject::CountRelease() {
  if (references_ <= 0) {
    ADD_FAILURE() << label_ << ": released once more than referenced";
    return 0;
  }
  if (current != nullptr) current->CheckInsideApartment(label_, "Release");
  return static_cast<ULONG>(--references_);
}

void FakeComObject::CheckUse(const char* method) const {
  if (references_ <= 0) ADD_FAILURE() << label_ << ": " << method << " after its last Release";
  if (current != nullptr) current->CheckInsideApartment(label_, method);
}

HRESULT FakeClassObject::Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                             LONG* flavor) {
  CheckUse("Get");
  if (reads_ != nullptr) reads_->push_back(Label() + "." + Narrow(name));
  EXPECT_EQ(flags, 0) << Label() << ": Get flags";
  EXPECT_EQ(type, nullptr) << Label() << ": Get asks for the CIM type";
  EXPECT_EQ(flavor, nullptr) << Label() << ": Get asks for the flavour";
  if (value == nullptr || name == nullptr) {
    ADD_FAILURE() << Label() << ": Get without a name or a value slot";
    return WBEM_E_INVALID_PARAMETER;
  }
  VARIANT zero;
  std::memset(static_cast<void*>(&zero), 0, sizeof zero);
  EXPECT_EQ(std::memcmp(value, &zero, sizeof zero), 0)
      << Label() << ": Get's value is not zero-filled and initialised";
  for (const FakeProperty& property : properties_) {
    if (EqualsIgnoringCase(property.name, name)) return property.value(value);
  }
  return WBEM_E_NOT_FOUND;
}

// ---- FakeWmi ----

FakeWmi::FakeWmi(FakeMachine& machine) : machine_(machine), saved_(machine.api) {
  if (current != nullptr) throw std::logic_error("one FakeWmi at a time");
  current = this;
  machine.api.CoInitializeEx = FakeCoInitializeEx;
  machine.api.CoInitializeSecurity = FakeCoInitializeSecurity;
  machine.api.CoCreateInstance = FakeCoCreateInstance;
  machine.api.CoSetProxyBlanket = FakeCoSetProxyBlanket;
  machine.api.CoUninitialize = FakeCoUninitialize;
}

FakeWmi::~FakeWmi() {
  for (const auto& object : objects_) {
    if (object->References() != 0) {
      ADD_FAILURE() << object->Label() << " still holds " << object->References()
                    << " reference(s)";
    }
  }
  if (apartmentDepth_ != 0) {
    ADD_FAILURE() << "CoInitializeEx succeeded " << apartmentDepth_
                  << " time(s) more than CoUninitialize was called";
  }
  machine_.api = saved_;
  current = nullptr;
}

FakeWmi& FakeWmi::Current() {
  if (current == nullptr) throw std::logic_error("no FakeWmi installed");
  return *current;
}

int FakeWmi::ObjectsAlive() const {
  int alive = 0;
  for (const auto& object : objects_) alive += object->References() > 0 ? 1 : 0;
  return alive;
}

void FakeWmi::EnterApartment() { ++apartmentDepth_; }

void FakeWmi::LeaveApartment() {
  if (apartmentDepth_ == 0) {
    ADD_FAILURE() << "CoUninitialize without a successful CoInitializeEx to balance";
    return;
  }
  --apartmentDepth_;
}

void FakeWmi::CheckInsideApartment(const std::string& who, const char* what) const {
  // A thread that another component put in a single-threaded apartment
  // (RPC_E_CHANGED_MODE) may use COM without an entry of its own.
  if (apartmentDepth_ > 0 || coInitializeResult == RPC_E_CHANGED_MODE) return;
  ADD_FAILURE() << who << ": " << what << " outside the COM apartment";
}

}  // namespace vrel::test
