// Bases for fake WMI objects: on Windows the interfaces declare many methods
// that the library never calls; these bases answer each of them with
// WBEM_E_NOT_SUPPORTED and fail the running test, so that a fake needs to
// define only what the library uses. The stand-in declares only those.
#pragma once

#include <gtest/gtest.h>

#include "vrel/platform/com_api.h"

namespace vrel::test {

#ifdef _WIN32

#define VREL_UNUSED_METHOD(name, ...)                                   \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override {                \
    ADD_FAILURE() << "unexpected call of " #name;                       \
    return WBEM_E_NOT_SUPPORTED;                                        \
  }

class StubWbemClassObject : public IWbemClassObject {
 public:
  VREL_UNUSED_METHOD(GetQualifierSet, IWbemQualifierSet**)
  VREL_UNUSED_METHOD(Put, LPCWSTR, LONG, VARIANT*, CIMTYPE)
  VREL_UNUSED_METHOD(Delete, LPCWSTR)
  VREL_UNUSED_METHOD(GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
  VREL_UNUSED_METHOD(BeginEnumeration, LONG)
  VREL_UNUSED_METHOD(Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
  VREL_UNUSED_METHOD(EndEnumeration)
  VREL_UNUSED_METHOD(GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
  VREL_UNUSED_METHOD(Clone, IWbemClassObject**)
  VREL_UNUSED_METHOD(GetObjectText, LONG, BSTR*)
  VREL_UNUSED_METHOD(SpawnDerivedClass, LONG, IWbemClassObject**)
  VREL_UNUSED_METHOD(SpawnInstance, LONG, IWbemClassObject**)
  VREL_UNUSED_METHOD(CompareTo, LONG, IWbemClassObject*)
  VREL_UNUSED_METHOD(GetPropertyOrigin, LPCWSTR, BSTR*)
  VREL_UNUSED_METHOD(InheritsFrom, LPCWSTR)
  VREL_UNUSED_METHOD(GetMethod, LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**)
  VREL_UNUSED_METHOD(PutMethod, LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*)
  VREL_UNUSED_METHOD(DeleteMethod, LPCWSTR)
  VREL_UNUSED_METHOD(BeginMethodEnumeration, LONG)
  VREL_UNUSED_METHOD(NextMethod, LONG, BSTR*, IWbemClassObject**, IWbemClassObject**)
  VREL_UNUSED_METHOD(EndMethodEnumeration)
  VREL_UNUSED_METHOD(GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
  VREL_UNUSED_METHOD(GetMethodOrigin, LPCWSTR, BSTR*)
};

class StubEnumWbemClassObject : public IEnumWbemClassObject {
 public:
  VREL_UNUSED_METHOD(Reset)
  VREL_UNUSED_METHOD(NextAsync, ULONG, IWbemObjectSink*)
  VREL_UNUSED_METHOD(Clone, IEnumWbemClassObject**)
  VREL_UNUSED_METHOD(Skip, LONG, ULONG)
};

class StubWbemServices : public IWbemServices {
 public:
  VREL_UNUSED_METHOD(OpenNamespace, const BSTR, LONG, IWbemContext*, IWbemServices**,
                     IWbemCallResult**)
  VREL_UNUSED_METHOD(CancelAsyncCall, IWbemObjectSink*)
  VREL_UNUSED_METHOD(QueryObjectSink, LONG, IWbemObjectSink**)
  VREL_UNUSED_METHOD(GetObject, const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                     IWbemCallResult**)
  VREL_UNUSED_METHOD(GetObjectAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(PutClass, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
  VREL_UNUSED_METHOD(PutClassAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(DeleteClass, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
  VREL_UNUSED_METHOD(DeleteClassAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(CreateClassEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
  VREL_UNUSED_METHOD(CreateClassEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(PutInstance, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
  VREL_UNUSED_METHOD(PutInstanceAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(DeleteInstance, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
  VREL_UNUSED_METHOD(DeleteInstanceAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(CreateInstanceEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
  VREL_UNUSED_METHOD(CreateInstanceEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(ExecQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
  VREL_UNUSED_METHOD(ExecNotificationQuery, const BSTR, const BSTR, LONG, IWbemContext*,
                     IEnumWbemClassObject**)
  VREL_UNUSED_METHOD(ExecNotificationQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                     IWbemObjectSink*)
  VREL_UNUSED_METHOD(ExecMethod, const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                     IWbemClassObject**, IWbemCallResult**)
  VREL_UNUSED_METHOD(ExecMethodAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                     IWbemClassObject*, IWbemObjectSink*)
};

#undef VREL_UNUSED_METHOD

#else  // !_WIN32

using StubWbemClassObject = IWbemClassObject;
using StubEnumWbemClassObject = IEnumWbemClassObject;
using StubWbemServices = IWbemServices;

#endif  // _WIN32

using StubWbemLocator = IWbemLocator;

}  // namespace vrel::test
