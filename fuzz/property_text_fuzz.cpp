// Property rendering on any VARIANT a class object may hand out: every type
// tag, scalars with any bits, null strings, arrays of 0 to 20 dimensions with
// any counts (also 2^31 and more) up to a size cap, and a null parray. The
// values are built with the platform's own BSTR and SAFEARRAY functions, as
// WMI builds them. Checks that the text equals the one the rendering rules
// give (computed here independently), that the value is cleared (a leak is
// LeakSanitizer's to find) and that an interface in it is released once.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vrel/platform/com_api.h"
#include "vrel/wmi/property_text.h"

namespace {

constexpr int kMaxDims = 20;
constexpr std::uint64_t kMaxSlots = 4096;  // element slots and brace levels rendered

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "property_text_fuzz: %s\n", what);
  std::abort();
}

// An interface placed in a VT_UNKNOWN value: counts its releases.
struct CountedUnknown final : IUnknown {
  int releases = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return 0;
  }
};

// A class object whose Get hands out one prepared value (ownership passes to
// the caller, as with WMI) and answers a prepared HRESULT.
struct OneValueObject final : IWbemClassObject {
  VARIANT value;
  HRESULT result = S_OK;
  int gets = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR, LONG, VARIANT* out, CIMTYPE*, LONG*) override {
    ++gets;
    std::memcpy(static_cast<void*>(out), &value, sizeof value);
    return result;
  }
};

BSTR MakeString(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 7) == 0) return nullptr;  // a null string
  std::wstring text(in.ConsumeIntegralInRange<std::size_t>(0, 12), L'\0');
  for (wchar_t& c : text) {
    // Mostly printable ASCII, sometimes a NUL or any 16-bit unit.
    const int kind = in.ConsumeIntegralInRange(0, 9);
    c = kind == 0   ? L'\0'
        : kind == 1 ? static_cast<wchar_t>(in.ConsumeIntegral<std::uint16_t>())
                    : static_cast<wchar_t>(in.ConsumeIntegralInRange(0x20, 0x7E));
  }
  BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (s == nullptr) Fail("SysAllocStringLen");
  return s;
}

VARTYPE MakeType(FuzzedDataProvider& in) {
  static const VARTYPE kInteresting[] = {
      VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH,
      VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN, VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4,
      VT_I8, VT_UI8, VT_INT, VT_UINT};
  VARTYPE type = in.ConsumeBool()
                     ? kInteresting[in.ConsumeIntegralInRange<std::size_t>(
                           0, sizeof kInteresting / sizeof kInteresting[0] - 1)]
                     : in.ConsumeIntegral<VARTYPE>();
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: type |= VT_ARRAY; break;
    case 1: type |= in.ConsumeIntegral<VARTYPE>() & (VT_ARRAY | VT_BYREF); break;
    default: break;
  }
  return type;
}

// Element storage the platform can make: the declared element type when the
// platform knows it, otherwise 32-bit slots (never read for such types).
SAFEARRAY* CreateArray(VARTYPE elementType, UINT dims, std::vector<SAFEARRAYBOUND>& bounds) {
  SAFEARRAY* array = SafeArrayCreate(elementType, dims, bounds.data());
  if (array == nullptr) array = SafeArrayCreate(VT_I4, dims, bounds.data());
  return array;
}

// An array of `elementType` with fuzzed dimensions and counts. Counts that
// read as negative stop the rendering at their level: no slot is allocated
// for them and the header is patched afterwards; such an array owns no
// element (fFeatures cleared) so that destroying it reads no slot.
SAFEARRAY* MakeArray(FuzzedDataProvider& in, VARTYPE elementType) {
  const int dims = in.ConsumeIntegralInRange(0, kMaxDims);
  std::vector<std::uint32_t> counts(static_cast<std::size_t>(dims == 0 ? 1 : dims));
  std::uint64_t rendered = 1;  // sub-arrays and slots the rendering walks
  bool negative = false;
  for (std::uint32_t& count : counts) {
    if (dims == 0) {
      count = in.ConsumeIntegralInRange(0u, 1u);
    } else if (in.ConsumeIntegralInRange(0, 15) == 0) {
      count = 0x80000000u | in.ConsumeIntegral<std::uint32_t>();
      negative = true;
    } else if (!negative) {
      count = in.ConsumeIntegralInRange(0u, 6u);
      if (rendered * (count + 1) > kMaxSlots) count = 0;
      rendered *= count + 1;
    } else {
      count = in.ConsumeIntegralInRange(0u, 1000000u);  // never reached
    }
  }
  // The platform takes the bounds in reverse of the order it stores them.
  std::vector<SAFEARRAYBOUND> bounds(counts.size());
  for (std::size_t k = 0; k < counts.size(); ++k) {
    bounds[counts.size() - 1 - k] = {negative ? 0u : counts[k], 0};
  }
  SAFEARRAY* array = CreateArray(elementType, static_cast<UINT>(counts.size()), bounds);
  if (array == nullptr) Fail("SafeArrayCreate");
  if (negative) {
    for (std::size_t k = 0; k < counts.size(); ++k) array->rgsabound[k].cElements = counts[k];
    array->fFeatures = 0;
  } else {
    std::uint64_t slots = 1;
    for (std::uint32_t count : counts) slots *= count;
    if (dims == 0) slots = counts[0];
    if (elementType == VT_BSTR) {
      auto* strings = static_cast<BSTR*>(array->pvData);
      for (std::uint64_t i = 0; i < slots; ++i) strings[i] = MakeString(in);
    } else if (elementType == VT_I4) {
      auto* numbers = static_cast<std::int32_t*>(array->pvData);
      for (std::uint64_t i = 0; i < slots; ++i) numbers[i] = in.ConsumeIntegral<std::int32_t>();
    }
  }
  if (dims == 0) array->cDims = 0;
  return array;
}

// ---- the rendering rules, written out independently ----

std::wstring Slot(const VARIANT& v, std::uint64_t index) {
  if ((v.vt & ~VT_ARRAY) == VT_I4) {
    return std::to_wstring(static_cast<const std::int32_t*>(v.parray->pvData)[index]);
  }
  const BSTR s = static_cast<const BSTR*>(v.parray->pvData)[index];
  return s == nullptr ? std::wstring() : std::wstring(s, std::wcslen(s));
}

std::wstring Level(const VARIANT& v, int k, std::uint64_t first) {
  const int dims = v.parray->cDims;
  const auto count = static_cast<std::int32_t>(v.parray->rgsabound[k].cElements);
  std::uint64_t stride = 1;
  for (int j = k + 1; j < dims; ++j) {
    const auto inner = static_cast<std::int32_t>(v.parray->rgsabound[j].cElements);
    stride *= inner > 0 ? static_cast<std::uint64_t>(inner) : 0;
  }
  std::wstring text = L"{";
  for (std::int32_t i = 0; i < count; ++i) {
    if (i != 0) text += L", ";
    text += k + 1 == dims ? Slot(v, first + static_cast<std::uint64_t>(i))
                          : Level(v, k + 1, first + static_cast<std::uint64_t>(i) * stride);
  }
  return text + L"}";
}

std::wstring Expected(const VARIANT& v, HRESULT hr) {
  if (hr < 0) return L"<N/A>";
  switch (v.vt) {
    case VT_EMPTY: return L"<EMPTY>";
    case VT_I2: case VT_I4: case VT_UI2: case VT_UI4: return std::to_wstring(v.lVal);
    case VT_BSTR: return v.bstrVal == nullptr ? L"" : std::wstring(v.bstrVal);
    case VT_BOOL: return v.boolVal != 0 ? L"True" : L"False";
    default: break;
  }
  if ((v.vt & VT_ARRAY) == 0) return L"<UNKNOWN>";
  const VARTYPE element = v.vt & ~VT_ARRAY;
  if ((element != VT_BSTR && element != VT_I4) || v.parray == nullptr || v.parray->cDims < 1 ||
      v.parray->cDims > 16) {
    return L"<N/A>{<UNSUPPORTED>}";
  }
  return Level(v, 0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  OneValueObject object;
  std::memset(static_cast<void*>(&object.value), 0, sizeof object.value);
  VARIANT& v = object.value;
  v.vt = MakeType(in);

  CountedUnknown unknown;
  SAFEARRAY* keptArray = nullptr;  // an array the value refers to but does not own
  const VARTYPE base = v.vt & ~(VT_ARRAY | VT_BYREF);
  if ((v.vt & VT_ARRAY) != 0) {
    SAFEARRAY* array = in.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : MakeArray(in, base);
    if ((v.vt & VT_BYREF) != 0) keptArray = array;
    v.parray = array;
  } else if (v.vt == VT_BSTR) {
    v.bstrVal = MakeString(in);
  } else if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
    v.punkVal = in.ConsumeBool() ? &unknown : nullptr;
  } else {
    v.llVal = in.ConsumeIntegral<std::int64_t>();
  }
  object.result = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegralInRange<HRESULT>(INT32_MIN, -1)
                                                       : in.ConsumeIntegralInRange<HRESULT>(0, 2);

  const std::wstring expected = Expected(v, object.result);
  const bool holdsUnknown = v.punkVal == &unknown && (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH);
  const std::wstring text = vrel::GetPropertyText(&object, L"Value");

  if (object.gets != 1) Fail("Get was not called exactly once");
  if (text != expected) Fail("text differs from the rendering rules");
  if (unknown.releases != (holdsUnknown ? 1 : 0)) Fail("the value's interface was not released once");
  if (keptArray != nullptr) SafeArrayDestroy(keptArray);
  return 0;
}
