// The WMI stand-in off Windows: a locator, the ROOT\CIMV2 services, query
// enumerators and class objects, serving Win32_NetworkAdapter and
// Win32_NetworkAdapterConfiguration from the host's interfaces. The locator
// and the services are one stateless object each; enumerators and class
// objects count their references and delete themselves at the last release.
#ifndef _WIN32

#include "vrel/platform/linux/wmi_posix.h"

#include <atomic>
#include <cwchar>
#include <new>
#include <utility>
#include <vector>

#include "vrel/platform/linux/host_interfaces.h"
#include "vrel/platform/linux/host_wmi_classes.h"

namespace vrel::platform {
namespace {

// Property names and WQL match without regard to (ASCII) case.
bool EqualsIgnoringCase(const wchar_t* a, const wchar_t* b) {
  auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
  for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
    if (fold(*a) != fold(*b)) return false;
  }
  return *a == *b;
}

// The reference count of one object, which deletes it at zero.
class Counted {
 public:
  virtual ~Counted() = default;
  ULONG Add() { return ++references_; }
  ULONG Drop() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// QueryInterface of `self`, whose own interface is `own`: IUnknown and `own`.
HRESULT Query(IUnknown* self, const IID& own, REFIID iid, void** object) {
  if (iid != IID_IUnknown && iid != own) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  self->AddRef();
  *object = self;  // single inheritance: the interface starts with its IUnknown
  return S_OK;
}

// IUnknown for an object without state, one for the process: nothing to
// count or free.
template <typename Interface>
class Stateless : public Interface {
 public:
  explicit Stateless(const IID& iid) : iid_(iid) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return Query(this, iid_, iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 private:
  const IID& iid_;
};

// IUnknown for one interface.
template <typename Interface>
class RefCounted : public Interface, public Counted {
 public:
  explicit RefCounted(const IID& iid) : iid_(iid) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return Query(this, iid_, iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

 private:
  const IID& iid_;
};

class HostClassObject final : public RefCounted<IWbemClassObject> {
 public:
  explicit HostClassObject(WmiObject properties)
      : RefCounted(IID_IWbemClassObject), properties_(std::move(properties)) {}

  // The library asks for the value alone, never the CIM type or flavor.
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE*, LONG*) override {
    for (const WmiProperty& property : properties_) {
      if (!EqualsIgnoringCase(property.name.c_str(), name)) continue;
      if (!ToVariant(property.value, value)) return WBEM_E_OUT_OF_MEMORY;
      return WBEM_S_NO_ERROR;
    }
    return WBEM_E_NOT_FOUND;
  }

 private:
  const WmiObject properties_;
};

class HostEnumerator final : public RefCounted<IEnumWbemClassObject> {
 public:
  explicit HostEnumerator(std::vector<WmiObject> objects)
      : RefCounted(IID_IEnumWbemClassObject), objects_(std::move(objects)) {}

  // Hands out up to `count` objects; WBEM_S_FALSE when fewer remained.
  HRESULT STDMETHODCALLTYPE Next(LONG, ULONG count, IWbemClassObject** objects,
                                 ULONG* returned) override {
    *returned = 0;
    try {
      while (*returned < count && next_ < objects_.size()) {
        objects[*returned] = new HostClassObject(objects_[next_]);
        ++*returned;
        ++next_;
      }
    } catch (const std::bad_alloc&) {
      return WBEM_E_OUT_OF_MEMORY;
    }
    return *returned == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

 private:
  const std::vector<WmiObject> objects_;
  std::size_t next_ = 0;
};

class HostServices final : public Stateless<IWbemServices> {
 public:
  HostServices() : Stateless(IID_IWbemServices) {}

  // The language is WQL, as the library always asks.
  HRESULT STDMETHODCALLTYPE ExecQuery(BSTR, BSTR query, LONG, IWbemContext*,
                                      IEnumWbemClassObject** result) override {
    *result = nullptr;
    WmiObject (*makeObject)(const HostInterface&) = nullptr;
    if (EqualsIgnoringCase(query, L"SELECT * FROM Win32_NetworkAdapter")) {
      makeObject = NetworkAdapterObject;
    } else if (EqualsIgnoringCase(query, L"SELECT * FROM Win32_NetworkAdapterConfiguration")) {
      makeObject = NetworkAdapterConfigurationObject;
    } else {
      return WBEM_E_INVALID_QUERY;
    }
    try {
      std::vector<WmiObject> objects;
      std::vector<HostInterface> hosts;
      ReadHostInterfaces(hosts);  // an unreadable /sys lists no interface
      for (const HostInterface& host : hosts) objects.push_back(makeObject(host));
      *result = new HostEnumerator(std::move(objects));
    } catch (const std::bad_alloc&) {
      return WBEM_E_OUT_OF_MEMORY;
    }
    return WBEM_S_NO_ERROR;
  }
};

class HostLocator final : public Stateless<IWbemLocator> {
 public:
  HostLocator() : Stateless(IID_IWbemLocator) {}

  // The namespace is ROOT\\CIMV2, as the library always asks.
  HRESULT STDMETHODCALLTYPE ConnectServer(BSTR, BSTR, BSTR, BSTR, LONG, BSTR, IWbemContext*,
                                          IWbemServices** services) override {
    *services = &hostServices;
    return WBEM_S_NO_ERROR;
  }

 private:
  HostServices hostServices;
};

HostLocator hostLocator;

}  // namespace

HRESULT CreateHostWbemLocator(REFIID iid, void** object) {
  return hostLocator.QueryInterface(iid, object);
}

}  // namespace vrel::platform

#endif  // !_WIN32
