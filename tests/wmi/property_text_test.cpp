// GetPropertyText over values served by a scripted class object. Under Wine
// the BSTR, SAFEARRAY and VARIANT functions are oleaut32's own.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <type_traits>
#include <vector>

#include "scripted_wmi.h"
#include "vrel/wmi/property_text.h"

namespace vrel {
namespace {

using test::Scalar;
using test::Value;

IWbemClassObject* held = nullptr;  // an interface a value may hold, during Render

// The scripted WMI fails the test if the object is referenced, or if `held`
// keeps a reference: the VARIANT was not cleared.
std::wstring Render(const Value& value) {
  test::FakeMachine machine;
  test::ScriptedWmi wmi(machine);
  wmi.depth = 1;  // inside an apartment, as the enumeration is
  held = wmi.NewObject({}, "held");
  IWbemClassObject* object = wmi.NewObject({{L"Value", value}});
  const std::wstring text = GetPropertyText(object, L"value");
  object->Release();
  held->Release();
  wmi.depth = 0;
  return text;
}

// A `type` value holding a reference to `held`, from a Get that returns `result`.
Value Holding(HRESULT result, VARTYPE type = VT_UNKNOWN) {
  return [result, type](VARIANT* v) {
    held->AddRef();
    v->vt = type;
    v->punkVal = held;
    return result;
  };
}

// A SAFEARRAY from SafeArrayCreate with `bounds` as that function takes them
// (it stores them reversed), its slots filled from `slots`.
template <typename Slot>
Value Array(VARTYPE type, std::vector<SAFEARRAYBOUND> bounds, std::vector<Slot> slots) {
  return [=](VARIANT* value) mutable {
    SAFEARRAY* array = SafeArrayCreate(type, static_cast<UINT>(bounds.size()), bounds.data());
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if constexpr (std::is_same_v<Slot, const wchar_t*>) {
        static_cast<BSTR*>(array->pvData)[i] = slots[i] ? SysAllocString(slots[i]) : nullptr;
      } else {
        static_cast<Slot*>(array->pvData)[i] = slots[i];
      }
    }
    value->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    value->parray = array;
    return S_OK;
  };
}
Value Ints(std::vector<SAFEARRAYBOUND> b, std::vector<std::int32_t> s) {
  return Array(VT_I4, b, s);
}
Value Strings(std::vector<SAFEARRAYBOUND> b, std::vector<const wchar_t*> s) {
  return Array(VT_BSTR, b, s);
}

// A descriptor with any counts and up to 17 dimensions, over `slots`. It is
// locked, so that VariantClear leaves it (SafeArrayDestroy refuses a locked
// array, DISP_E_ARRAYISLOCKED).
struct HandMade {
  alignas(8) unsigned char bytes[sizeof(SAFEARRAY) + 16 * sizeof(SAFEARRAYBOUND)];
};
Value Described(HandMade& storage, VARTYPE type, USHORT dims, std::vector<ULONG> counts,
                void* slots) {
  std::memset(storage.bytes, 0, sizeof storage.bytes);
  auto* array = reinterpret_cast<SAFEARRAY*>(storage.bytes);
  array->cDims = dims;
  array->cLocks = 1;
  array->pvData = slots;
  for (std::size_t k = 0; k < counts.size(); ++k) array->rgsabound[k].cElements = counts[k];
  return [array, type](VARIANT* v) {
    v->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    v->parray = array;
    return S_OK;
  };
}

TEST(PropertyTextTest, EveryValueRendersAsDocumented) {
  static BSTR byref = nullptr;
  std::int32_t two[2] = {1, 2};
  HandMade a, b, c, d, e, f;
  const struct {
    const char* name;
    Value value;
    const wchar_t* text;
  } rows[] = {
      {"Get fails", test::Fails(), L"<N/A>"},
      {"Get fails after writing", Scalar(VT_I4, 5, WBEM_E_FAILED), L"<N/A>"},
      {"S_FALSE is success", Scalar(VT_I4, 7, S_FALSE), L"7"},
      // The value is cleared on every path.
      {"held", Holding(S_OK), L"<UNKNOWN>"}, {"held, S_FALSE", Holding(S_FALSE), L"<UNKNOWN>"},
      {"held, Get fails", Holding(WBEM_E_FAILED), L"<N/A>"},
      {"held as VT_DISPATCH", Holding(S_OK, VT_DISPATCH), L"<UNKNOWN>"},
      {"VT_UNKNOWN holding nothing", Scalar(VT_UNKNOWN, 0), L"<UNKNOWN>"},
      {"VT_EMPTY", Scalar(VT_EMPTY, 0), L"<EMPTY>"}, {"VT_NULL", Scalar(VT_NULL, 0), L"<UNKNOWN>"},
      {"VT_BOOL -1", Scalar(VT_BOOL, -1), L"True"}, {"VT_BOOL 1", Scalar(VT_BOOL, 1), L"True"},
      {"VT_BOOL 0 (upper bytes set)", Scalar(VT_BOOL, 0x10000), L"False"},
      {"VT_I4 -42", Scalar(VT_I4, -42), L"-42"}, {"min", Scalar(VT_I4, INT_MIN), L"-2147483648"},
      {"VT_UI4 2^32 - 1", Scalar(VT_UI4, -1), L"-1"},
      {"VT_I2 -1 reads the whole 32 bits", Scalar(VT_I2, 0xFFFF), L"65535"},
      {"VT_BSTR", test::Text(L"Ethernet 802.3"), L"Ethernet 802.3"},
      {"VT_BSTR empty", test::Text(L""), L""}, {"VT_BSTR null", Scalar(VT_BSTR, 0), L""},
      {"VT_BSTR with an inner NUL", test::Text(std::wstring(L"ab\0cd", 5)), L"ab"},
      {"VT_R8", Scalar(VT_R8, 1), L"<UNKNOWN>"}, {"VT_UI1", Scalar(VT_UI1, 1), L"<UNKNOWN>"},
      {"VT_BYREF | VT_BSTR", [](VARIANT* v) { v->vt = VT_BYREF | VT_BSTR; v->byref = &byref;
                                               return S_OK; }, L"<UNKNOWN>"},
      {"strings", Strings({{2, 0}}, {L"192.168.1.5", L"fe80::1"}), L"{192.168.1.5, fe80::1}"},
      {"strings from lower bound 1", Strings({{2, 1}}, {L"a", L"b"}), L"{a, b}"},
      {"copied as they are", Strings({{3, 0}}, {L"a, b", L"{c}", nullptr}), L"{a, b, {c}, }"},
      {"integers", Ints({{3, 0}}, {7, INT_MIN, -1}), L"{7, -2147483648, -1}"},
      // rgsabound[0] is 2 and rgsabound[1] is 3: two rows of three.
      {"2 x 3", Ints({{3, 0}, {2, 0}}, {1, 2, 3, 4, 5, 6}), L"{{1, 2, 3}, {4, 5, 6}}"},
      {"2 x 0", Ints({{0, 0}, {2, 0}}, {}), L"{{}, {}}"}, {"empty", Strings({{0, 0}}, {}), L"{}"},
      {"3D", Strings({{2, 0}, {1, 0}, {2, 0}}, {L"a", L"b", L"c", L"d"}), L"{{{a, b}}, {{c, d}}}"},
      {"VT_I2 elements", Array<std::int16_t>(VT_I2, {{1, 0}}, {1}), L"<N/A>{<UNSUPPORTED>}"},
      {"by reference", Scalar(VT_ARRAY | VT_BYREF | VT_BSTR, 0), L"<N/A>{<UNSUPPORTED>}"},
      {"null array", Scalar(VT_ARRAY | VT_BSTR, 0), L"<N/A>{<UNSUPPORTED>}"},
      {"2^31 elements", Described(a, VT_I4, 1, {0x80000000u}, two), L"{}"},
      {"2^32 - 1 strings", Described(b, VT_BSTR, 1, {0xFFFFFFFFu}, two), L"{}"},
      {"inner level of 2^31", Described(c, VT_I4, 2, {2, 0x80000000u}, two), L"{{}, {}}"},
      {"no dimension", Described(d, VT_I4, 0, {}, two), L"<N/A>{<UNSUPPORTED>}"},
      {"17 dims", Described(e, VT_I4, 17, std::vector<ULONG>(17, 1), two), L"<N/A>{<UNSUPPORTED>}"},
      {"16 dimensions", Described(f, VT_I4, 16, std::vector<ULONG>(16, 1), two),
       L"{{{{{{{{{{{{{{{{1}}}}}}}}}}}}}}}}"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Render(row.value), row.text);
  }
}

}  // namespace
}  // namespace vrel
