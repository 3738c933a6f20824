// A scripted WMI behind the platform seam, the same on both targets: the COM
// entries of a FakeMachine's table, and a locator, services, enumerators and
// class objects serving scripted adapters and configurations. Any step can
// be made to fail. Every call is logged with its arguments. At destruction
// the running test fails when an object still holds a reference, was
// released once too often or used after its last release or outside the COM
// apartment, or when CoInitializeEx and CoUninitialize do not balance.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fake_machine.h"
#include "vrel/platform/com_api.h"

namespace vrel::test {

// Writes the value IWbemClassObject::Get hands out (the caller owns it then)
// and returns Get's result.
using Value = std::function<HRESULT(VARIANT*)>;
Value Text(const std::wstring& text);                 // VT_BSTR
Value Int(std::int32_t number);                       // VT_I4
Value Texts(const std::vector<std::wstring>& texts);  // VT_ARRAY | VT_BSTR
Value Scalar(VARTYPE type, LONG bits, HRESULT result = S_OK);  // any type, lVal = bits
Value Fails(HRESULT result = WBEM_E_NOT_FOUND);

// Properties by name, matched without regard to case as in WMI; Get of an
// absent one fails with WBEM_E_NOT_FOUND.
using Object = std::vector<std::pair<std::wstring, Value>>;

class ScriptedWmi {
 public:
  explicit ScriptedWmi(FakeMachine& machine);  // the machine must outlive it
  ~ScriptedWmi();
  ScriptedWmi(const ScriptedWmi&) = delete;
  ScriptedWmi& operator=(const ScriptedWmi&) = delete;
  static ScriptedWmi& Current();

  std::vector<Object> adapters, configurations;  // in the order Next hands them out
  // What each step answers: S_FALSE or RPC_E_CHANGED_MODE for a thread
  // already in an apartment, RPC_E_TOO_LATE for security set before, or a
  // failure.
  HRESULT coInitialize = S_OK, security = S_OK, locator = S_OK, connect = S_OK, blanket = S_OK,
          adapterQuery = S_OK, configurationQuery = S_OK;
  // Next fails once this many objects were handed out; -1: never.
  int adapterNextFailsAfter = -1, configurationNextFailsAfter = -1;

  // Every call in order, such as "CoInitializeEx(null, 0)" or
  // "adapter 1.Get(Caption)"; Release and CoUninitialize are counted instead.
  std::vector<std::string> log;
  int uninitializes = 0;
  int Calls(const std::string& prefix) const;  // log entries that start with prefix
  int Alive() const;                           // objects that still hold a reference

  // A class object serving `properties`, with one reference for the caller.
  IWbemClassObject* NewObject(Object properties, std::string label = "object");

  // For the scripted objects.
  void Use(const std::string& who, const char* what) const;
  template <typename T>
  T* Keep(std::unique_ptr<T> object) {
    T* raw = object.get();
    objects_.push_back(std::move(object));
    return raw;
  }
  int depth = 0;  // successful CoInitializeEx minus CoUninitialize
  void* services = nullptr;

  struct Books {
    explicit Books(std::string l) : label(std::move(l)) {}
    virtual ~Books() = default;
    std::string label;
    int references = 1;
  };

 private:
  FakeMachine& machine_;
  platform::Api saved_;
  std::vector<std::unique_ptr<Books>> objects_;
};

}  // namespace vrel::test
