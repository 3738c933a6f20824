// GetPropertyText on any VARIANT a class object may hand out: any type and
// value bits, strings with inner NULs, arrays of 1 to 20 dimensions made by
// the platform's SafeArrayCreate, counts of 2^31 and more, a null array, and
// any HRESULT. Aborts when Get is not called once, or when an interface held
// in the value is not released once (the VARIANT was not cleared);
// AddressSanitizer watches every element read. The texts themselves are the
// unit tests' to check.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vrel/platform/com_api.h"
#include "vrel/wmi/property_text.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property_text_fuzz: %s\n", what);
  std::abort();
}

// Hands out one prepared value (the caller owns it then); counts what it sees.
struct OneValue final : IWbemClassObject {
  VARIANT value;
  HRESULT result = S_OK;
  int gets = 0, releases = 0;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return static_cast<ULONG>(++releases); }
  HRESULT Get(LPCWSTR, LONG, VARIANT* out, CIMTYPE*, LONG*) override {
    ++gets;
    std::memcpy(static_cast<void*>(out), &value, sizeof value);
    return result;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  OneValue object, held;
  VARIANT& v = object.value;
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  v.vt = in.ConsumeIntegral<VARTYPE>();
  if (in.ConsumeBool()) {
    v.vt = in.PickValueInArray<VARTYPE>({VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_UI2, VT_UI4, VT_BSTR,
                                         VT_BOOL, VT_UNKNOWN, VT_ARRAY | VT_BSTR, VT_ARRAY | VT_I4});
  }
  std::wstring chars(in.ConsumeIntegralInRange<std::size_t>(0, 8), L'\0');
  for (wchar_t& c : chars) c = static_cast<wchar_t>(in.ConsumeIntegralInRange(0, 0x7F));
  const auto make = [&] { return SysAllocStringLen(chars.data(), static_cast<UINT>(chars.size())); };
  const VARTYPE element = static_cast<VARTYPE>(v.vt & ~VT_ARRAY);
  if ((v.vt & (VT_ARRAY | VT_BYREF)) == VT_ARRAY && in.ConsumeIntegralInRange(0, 15) != 0) {
    std::vector<SAFEARRAYBOUND> bounds(in.ConsumeIntegralInRange<std::size_t>(1, 20), {1, 0});
    std::size_t slots = 1, levels = 1;  // elements, and sub-arrays the text shows
    for (SAFEARRAYBOUND& bound : bounds) {
      bound.cElements = levels > 256 ? 1 : in.ConsumeIntegralInRange(0u, 3u);
      slots *= bound.cElements;
      levels *= bound.cElements > 0 ? bound.cElements : 1;
    }
    v.parray = SafeArrayCreate(element == VT_BSTR ? VT_BSTR : VT_I4,
                               static_cast<UINT>(bounds.size()), bounds.data());
    Check(v.parray != nullptr, "SafeArrayCreate");
    for (std::size_t i = 0; i < slots; ++i) {
      if (element == VT_BSTR) static_cast<BSTR*>(v.parray->pvData)[i] = make();
      if (element != VT_BSTR) {
        static_cast<std::int32_t*>(v.parray->pvData)[i] = in.ConsumeIntegral<std::int32_t>();
      }
    }
    // A count of 2^31 or more at one level: none of its elements may be read.
    // (An integer array owns no elements, so destroying it reads no count.)
    if (element != VT_BSTR && in.ConsumeBool()) {
      v.parray->rgsabound[in.ConsumeIntegralInRange<std::size_t>(0, bounds.size() - 1)]
          .cElements |= 0x80000000u;
    }
  } else if (v.vt == VT_BSTR) {
    v.bstrVal = in.ConsumeBool() ? make() : nullptr;
  } else if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
    v.punkVal = &held;
  } else if ((v.vt & VT_ARRAY) == 0) {
    v.llVal = in.ConsumeIntegral<std::int64_t>();
  }
  object.result = in.ConsumeBool() ? in.ConsumeIntegral<HRESULT>() : S_OK;
  const bool holds = v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH;
  vrel::GetPropertyText(&object, L"Value");
  Check(object.gets == 1, "Get was not called once");
  Check(held.releases == (holds ? 1 : 0), "the value's interface was not released once");
  return 0;
}
