// A scripted WMI behind the platform seam, the same on both targets: the COM
// entries of a FakeMachine's table and a locator, services, enumerators and
// class objects serving scripted adapters and configurations; any step can
// fail. At destruction the running test fails when an object keeps a
// reference, or CoInitializeEx and CoUninitialize do not balance; at once when
// an object is released too often or used after its last release or outside
// the COM apartment. Arguments are left to the real WMI under Wine to judge.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fake_machine.h"
#include "vrel/platform/com_api.h"

namespace vrel::test {

// Writes what IWbemClassObject::Get hands out (the caller owns it then) and
// returns Get's result.
using Value = std::function<HRESULT(VARIANT*)>;
Value Text(const std::wstring& text);                          // VT_BSTR
Value Texts(const std::vector<std::wstring>& texts);           // VT_ARRAY | VT_BSTR
Value Scalar(VARTYPE type, LONG bits, HRESULT result = S_OK);  // any type; lVal = bits
inline Value Int(std::int32_t number) { return Scalar(VT_I4, number); }
inline Value Fails() { return Scalar(VT_EMPTY, 0, WBEM_E_NOT_FOUND); }

// Properties by name, matched without regard to case as in WMI; Get of an
// absent one fails with WBEM_E_NOT_FOUND.
using Object = std::vector<std::pair<std::wstring, Value>>;

class ScriptedWmi {
 public:
  explicit ScriptedWmi(FakeMachine& machine);  // the machine must outlive it
  ~ScriptedWmi();
  ScriptedWmi(const ScriptedWmi&) = delete;
  ScriptedWmi& operator=(const ScriptedWmi&) = delete;

  std::vector<Object> adapters, configurations;  // in the order Next hands them out
  // What each step answers: a failure, or S_FALSE and RPC_E_CHANGED_MODE for
  // a thread already in an apartment, RPC_E_TOO_LATE for security set before.
  HRESULT coInitialize = S_OK, security = S_OK, locator = S_OK, connect = S_OK, blanket = S_OK,
          adapterQuery = S_OK, configurationQuery = S_OK;
  int adapterNextFailsAfter = -1, configurationNextFailsAfter = -1;  // objects; -1: never

  // CoInitializeEx, CoInitializeSecurity (with its authentication level and
  // whether it got a list) and ExecQuery calls in order; CoUninitialize is
  // counted instead.
  std::vector<std::string> log;
  int uninitializes = 0;
  int depth = 0;  // successful CoInitializeEx minus CoUninitialize
  int Calls(const std::string& prefix) const;  // log entries starting with prefix
  int Alive() const;                           // objects that hold a reference

  // A class object serving `properties`, with one reference for the caller.
  IWbemClassObject* NewObject(Object properties, std::string label = "object");

  struct Books;  // the objects made so far
  std::vector<std::unique_ptr<Books>> objects;

 private:
  FakeMachine& machine_;
  platform::Api saved_;
};

}  // namespace vrel::test
