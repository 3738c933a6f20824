// A scripted WMI behind the platform seam, for tests of the enumeration: the
// COM entry points of a FakeMachine's table and fake locator, services,
// enumerator and class objects. Every object counts its references and fails
// the running test when it is released too often, used after its last
// release, or released outside the COM apartment; the FakeWmi fails the test
// at destruction when a reference or a CoInitializeEx is left unbalanced.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_machine.h"
#include "vrel/platform/com_api.h"
#include "wmi_stubs.h"

namespace vrel::test {

// Writes the value that IWbemClassObject::Get hands out (ownership passes to
// the caller), or returns a failure. Called once per Get.
using PropertyValue = std::function<HRESULT(VARIANT* value)>;

PropertyValue TextValue(const std::wstring& text);                  // VT_BSTR
PropertyValue IntValue(std::int32_t number);                        // VT_I4
PropertyValue TextArrayValue(const std::vector<std::wstring>& texts);  // VT_ARRAY | VT_BSTR
PropertyValue NullValue();                                          // VT_NULL
PropertyValue FailingValue(HRESULT result = WBEM_E_NOT_FOUND);

struct FakeProperty {
  std::wstring name;  // matched without regard to case, as WMI does
  PropertyValue value;
};
// One class object; a property it does not list fails Get with WBEM_E_NOT_FOUND.
using FakeObject = std::vector<FakeProperty>;

// Reference bookkeeping shared by the fake COM objects.
class FakeComObject {
 public:
  explicit FakeComObject(std::string label) : label_(std::move(label)) {}
  virtual ~FakeComObject() = default;
  FakeComObject(const FakeComObject&) = delete;
  FakeComObject& operator=(const FakeComObject&) = delete;

  const std::string& Label() const { return label_; }
  // References held: 1 from creation, plus AddRef, minus Release.
  int References() const { return references_; }

 protected:
  ULONG CountAddRef(const char* how);
  ULONG CountRelease();
  // Fails the running test when the object is used after its last release
  // or outside the COM apartment of a FakeWmi.
  void CheckUse(const char* method) const;

 private:
  std::string label_;
  int references_ = 1;
};

// IUnknown over the bookkeeping: QueryInterface answers IUnknown and `iid`.
// The object is never deleted by Release, so that a test can still inspect it.
template <typename Interface>
class Counted : public Interface, public FakeComObject {
 public:
  Counted(std::string label, const IID& iid) : FakeComObject(std::move(label)), iid_(iid) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    CheckUse("QueryInterface");
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != iid_) return E_NOINTERFACE;
    CountAddRef("QueryInterface");
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CountAddRef("AddRef"); }
  ULONG STDMETHODCALLTYPE Release() override { return CountRelease(); }

 private:
  const IID& iid_;
};

// A class object serving `properties`. Each Get checks its arguments (flags
// 0, no type or flavour out-parameter, a zero-filled VT_EMPTY value) and is
// recorded as "label.Name" in `reads` when given.
class FakeClassObject final : public Counted<StubWbemClassObject> {
 public:
  FakeClassObject(std::string label, FakeObject properties,
                  std::vector<std::string>* reads = nullptr)
      : Counted(std::move(label), IID_IWbemClassObject),
        properties_(std::move(properties)),
        reads_(reads) {}

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                LONG* flavor) override;

 private:
  FakeObject properties_;
  std::vector<std::string>* reads_;
};

class FakeWmi {
 public:
  // Replaces the COM entries of machine.api; the machine must outlive this.
  explicit FakeWmi(FakeMachine& machine);
  ~FakeWmi();
  FakeWmi(const FakeWmi&) = delete;
  FakeWmi& operator=(const FakeWmi&) = delete;

  static FakeWmi& Current();

  // ---- script ----
  std::vector<FakeObject> adapters;        // Win32_NetworkAdapter, in order
  std::vector<FakeObject> configurations;  // Win32_NetworkAdapterConfiguration
  HRESULT coInitializeResult = S_OK;  // S_FALSE and RPC_E_CHANGED_MODE: the thread
                                      // is already in an apartment
  HRESULT securityResult = S_OK;
  HRESULT createLocatorResult = S_OK;
  HRESULT connectResult = S_OK;
  HRESULT blanketResult = S_OK;
  HRESULT adapterQueryResult = S_OK;
  HRESULT configurationQueryResult = S_OK;
  int adapterNextFailsAfter = -1;        // Next fails once this many objects were
  int configurationNextFailsAfter = -1;  // handed out; -1: never

  // ---- what the library did ----
  struct SecurityCall {
    bool descriptorNull, servicesNull, reserved1Null, reserved3Null;
    LONG serviceCount;
    DWORD authnLevel, impLevel, capabilities;
    bool hasAuthList;
    // Copied from the list during the call: service, authorisation, identity.
    struct Entry {
      DWORD authnService, authzService;
      std::u16string user, domain, password;
      ULONG userLength, domainLength, passwordLength, flags;
    };
    std::vector<Entry> entries;
  };
  struct CreateCall {
    bool wbemLocatorClass, outerNull, interfaceIsLocator;
    DWORD context;
  };
  struct ConnectCall {
    std::wstring resource;
    bool resourceIsBstr, otherTextsNull, contextNull;
    LONG securityFlags;
  };
  struct BlanketCall {
    bool proxyIsServices, principalNull, identityNull;
    DWORD authnService, authzService, authnLevel, impLevel, capabilities;
  };
  struct QueryCall {
    std::wstring language, query;
    bool textsAreBstrs, contextNull;
    LONG flags;
  };
  struct NextCall {
    std::string enumerator;
    LONG timeout;
    ULONG count;
  };
  int coInitializeCalls = 0;
  int coUninitializeCalls = 0;
  std::vector<DWORD> coInitializeModes;
  std::vector<SecurityCall> securityCalls;
  std::vector<CreateCall> createCalls;
  std::vector<ConnectCall> connectCalls;
  std::vector<BlanketCall> blanketCalls;
  std::vector<QueryCall> queryCalls;
  std::vector<NextCall> nextCalls;
  std::vector<std::string> reads;  // "adapter 0.AdapterType", "configuration 1.index", ...

  // Objects handed out so far, and how many of them still hold references.
  int ObjectsMade() const { return static_cast<int>(objects_.size()); }
  int ObjectsAlive() const;

  IWbemServices* servicesMade = nullptr;  // the services handed out, if any

  // Used by the fakes.
  void CheckInsideApartment(const std::string& who, const char* what) const;
  void EnterApartment();
  void LeaveApartment();
  void Adopt(std::unique_ptr<FakeComObject> object) { objects_.push_back(std::move(object)); }

 private:
  FakeMachine& machine_;
  platform::Api saved_;  // the machine's entries before this fake
  int apartmentDepth_ = 0;  // successful CoInitializeEx minus CoUninitialize
  std::vector<std::unique_ptr<FakeComObject>> objects_;
};

}  // namespace vrel::test
