// GetPropertyText over hand-built VARIANTs served by a fake class object.
// Under Wine the BSTR, SAFEARRAY and VARIANT functions are oleaut32's own.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "fake_wmi.h"
#include "vrel/wmi/property_text.h"

namespace vrel {
namespace {

using test::FakeClassObject;
using test::PropertyValue;

// A value that Get writes field by field, then answers `result`.
PropertyValue Raw(std::function<void(VARIANT*)> fill, HRESULT result = WBEM_S_NO_ERROR) {
  return [fill, result](VARIANT* value) {
    fill(value);
    return result;
  };
}

PropertyValue Scalar(VARTYPE type, LONG bits = 0) {
  return Raw([type, bits](VARIANT* v) {
    v->vt = type;
    v->lVal = bits;
  });
}

// Renders `value` as the only property of a fake class object.
std::wstring Render(PropertyValue value) {
  FakeClassObject object("object", {{L"Value", std::move(value)}});
  std::wstring text = GetPropertyText(&object, L"value");
  EXPECT_EQ(object.References(), 1) << "the object is borrowed, not referenced";
  return text;
}

// A SAFEARRAY made by SafeArrayCreate for `type` with `bounds` as the
// function takes them (the platform stores them in reverse), its slots filled
// from `fill`, handed out as VT_ARRAY | type.
PropertyValue Array(VARTYPE type, std::vector<SAFEARRAYBOUND> bounds,
                    std::function<void(void* slots)> fill) {
  return [=](VARIANT* value) mutable {
    SAFEARRAY* array = SafeArrayCreate(type, static_cast<UINT>(bounds.size()), bounds.data());
    if (array == nullptr) return WBEM_E_OUT_OF_MEMORY;
    void* slots = nullptr;
    SafeArrayAccessData(array, &slots);
    fill(slots);
    SafeArrayUnaccessData(array);
    value->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    value->parray = array;
    return WBEM_S_NO_ERROR;
  };
}

PropertyValue IntArray(std::vector<SAFEARRAYBOUND> bounds, std::vector<std::int32_t> slots) {
  return Array(VT_I4, std::move(bounds), [slots](void* data) {
    if (!slots.empty()) std::memcpy(data, slots.data(), slots.size() * sizeof slots[0]);
  });
}

PropertyValue StringArray(std::vector<SAFEARRAYBOUND> bounds,
                          std::vector<const wchar_t*> slots) {
  return Array(VT_BSTR, std::move(bounds), [slots](void* data) {
    auto* strings = static_cast<BSTR*>(data);
    for (std::size_t i = 0; i < slots.size(); ++i) {
      strings[i] = slots[i] != nullptr ? SysAllocString(slots[i]) : nullptr;
    }
  });
}

SAFEARRAYBOUND Bound(ULONG count, LONG lowerBound = 0) { return SAFEARRAYBOUND{count, lowerBound}; }

struct Case {
  const char* name;
  PropertyValue value;
  const wchar_t* expected;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Render(c.value), c.expected);
  }
}

TEST(PropertyTextTest, ScalarsRenderByType) {
  static wchar_t byrefText[] = L"text";
  static BSTR byrefString = byrefText;
  RunCases({
      {"Get fails", test::FailingValue(WBEM_E_NOT_FOUND), L"<N/A>"},
      {"Get fails after writing a value", Raw([](VARIANT* v) { v->vt = VT_I4; v->lVal = 5; },
                                              WBEM_E_FAILED), L"<N/A>"},
      {"S_FALSE is success", Raw([](VARIANT* v) { v->vt = VT_I4; v->lVal = 7; }, WBEM_S_FALSE),
       L"7"},
      {"VT_EMPTY", Scalar(VT_EMPTY), L"<EMPTY>"},
      {"VT_NULL", Scalar(VT_NULL), L"<UNKNOWN>"},
      {"VT_BOOL VARIANT_TRUE", Raw([](VARIANT* v) { v->vt = VT_BOOL; v->boolVal = -1; }), L"True"},
      {"VT_BOOL 1", Raw([](VARIANT* v) { v->vt = VT_BOOL; v->boolVal = 1; }), L"True"},
      {"VT_BOOL 0", Raw([](VARIANT* v) { v->vt = VT_BOOL; v->boolVal = 0; }), L"False"},
      {"VT_I4 -42", Scalar(VT_I4, -42), L"-42"},
      {"VT_I4 0", Scalar(VT_I4, 0), L"0"},
      {"VT_I4 max", Scalar(VT_I4, INT_MAX), L"2147483647"},
      {"VT_I4 min", Scalar(VT_I4, INT_MIN), L"-2147483648"},
      {"VT_UI4 4294967295", Raw([](VARIANT* v) { v->vt = VT_UI4; v->ulVal = 4294967295u; }), L"-1"},
      {"VT_UI4 2147483648", Raw([](VARIANT* v) { v->vt = VT_UI4; v->ulVal = 2147483648u; }),
       L"-2147483648"},
      {"VT_I2 -1 reads the whole 32 bits",
       Raw([](VARIANT* v) { v->vt = VT_I2; v->iVal = -1; }), L"65535"},
      {"VT_UI2 65535", Raw([](VARIANT* v) { v->vt = VT_UI2; v->uiVal = 65535; }), L"65535"},
      {"VT_BSTR", test::TextValue(L"Ethernet 802.3"), L"Ethernet 802.3"},
      {"VT_BSTR of length 0", test::TextValue(L""), L""},
      {"VT_BSTR with an inner NUL",
       Raw([](VARIANT* v) { v->vt = VT_BSTR; v->bstrVal = SysAllocStringLen(L"ab\0cd", 5); }),
       L"ab"},
      {"null VT_BSTR", Raw([](VARIANT* v) { v->vt = VT_BSTR; v->bstrVal = nullptr; }), L""},
      {"VT_R4", Scalar(VT_R4), L"<UNKNOWN>"},
      {"VT_R8", Raw([](VARIANT* v) { v->vt = VT_R8; v->dblVal = 1.5; }), L"<UNKNOWN>"},
      {"VT_CY", Scalar(VT_CY), L"<UNKNOWN>"},
      {"VT_DATE", Scalar(VT_DATE), L"<UNKNOWN>"},
      {"VT_DISPATCH null", Scalar(VT_DISPATCH), L"<UNKNOWN>"},
      {"VT_ERROR", Scalar(VT_ERROR), L"<UNKNOWN>"},
      {"VT_UNKNOWN null", Scalar(VT_UNKNOWN), L"<UNKNOWN>"},
      {"VT_DECIMAL", Scalar(VT_DECIMAL), L"<UNKNOWN>"},
      {"VT_I1", Scalar(VT_I1, -1), L"<UNKNOWN>"},
      {"VT_UI1", Scalar(VT_UI1, 1), L"<UNKNOWN>"},
      {"VT_I8", Scalar(VT_I8, 1), L"<UNKNOWN>"},
      {"VT_UI8", Scalar(VT_UI8, 1), L"<UNKNOWN>"},
      {"VT_INT", Scalar(VT_INT, 1), L"<UNKNOWN>"},
      {"VT_UINT", Scalar(VT_UINT, 1), L"<UNKNOWN>"},
      {"VT_BYREF | VT_BSTR",
       Raw([](VARIANT* v) { v->vt = VT_BYREF | VT_BSTR; v->byref = &byrefString; }), L"<UNKNOWN>"},
      {"VT_BYREF | VT_I4",
       Raw([](VARIANT* v) { v->vt = VT_BYREF | VT_I4; v->byref = &byrefString; }), L"<UNKNOWN>"},
  });
}

TEST(PropertyTextTest, ArraysRenderAsNestedBraces) {
  RunCases({
      {"strings", StringArray({Bound(2)}, {L"192.168.1.5", L"fe80::1"}), L"{192.168.1.5, fe80::1}"},
      {"strings, lower bound 1", StringArray({Bound(2, 1)}, {L"192.168.1.5", L"fe80::1"}),
       L"{192.168.1.5, fe80::1}"},
      {"no string", StringArray({Bound(0)}, {}), L"{}"},
      {"separators and braces copied as they are", StringArray({Bound(2)}, {L"a, b", L"{c}"}),
       L"{a, b, {c}}"},
      {"empty and null strings", StringArray({Bound(3)}, {L"", nullptr, L"x"}), L"{, , x}"},
      {"one integer", IntArray({Bound(1)}, {7}), L"{7}"},
      {"no integer", IntArray({Bound(0)}, {}), L"{}"},
      {"signed integers", IntArray({Bound(3)}, {-1, INT_MIN, INT_MAX}),
       L"{-1, -2147483648, 2147483647}"},
      // SafeArrayCreate takes bounds left to right and stores them reversed,
      // so {3, 2} here is rgsabound[0] 2, rgsabound[1] 3.
      {"two dimensions 2 x 3", IntArray({Bound(3), Bound(2)}, {1, 2, 3, 4, 5, 6}),
       L"{{1, 2, 3}, {4, 5, 6}}"},
      {"two dimensions 2 x 0", IntArray({Bound(0), Bound(2)}, {}), L"{{}, {}}"},
      {"two dimensions 0 x 2", IntArray({Bound(2), Bound(0)}, {}), L"{}"},
      {"two dimensions of strings", StringArray({Bound(2), Bound(2)}, {L"a", L"b", L"c", L"d"}),
       L"{{a, b}, {c, d}}"},
      {"three dimensions 2 x 1 x 3", IntArray({Bound(3), Bound(1), Bound(2)}, {1, 2, 3, 4, 5, 6}),
       L"{{{1, 2, 3}}, {{4, 5, 6}}}"},
      {"three dimensions 2 x 2 x 2, lower bounds 1",
       IntArray({Bound(2, 1), Bound(2, 1), Bound(2, 1)}, {1, 2, 3, 4, 5, 6, 7, 8}),
       L"{{{1, 2}, {3, 4}}, {{5, 6}, {7, 8}}}"},
  });
}

TEST(PropertyTextTest, BoundsAreReadInStorageOrder) {
  // The 2 x 3 case above relies on where the platform stores the bounds.
  SAFEARRAYBOUND bounds[2] = {Bound(3), Bound(2)};
  SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->rgsabound[0].cElements, 2u);
  EXPECT_EQ(array->rgsabound[1].cElements, 3u);
  SafeArrayDestroy(array);
}

TEST(PropertyTextTest, UnsupportedArraysKeepTheNotAvailableMark) {
  static SAFEARRAY* referenced = nullptr;
  RunCases({
      {"VT_UI1 elements", Array(VT_UI1, {Bound(2)}, [](void*) {}), L"<N/A>{<UNSUPPORTED>}"},
      {"VT_I2 elements", Array(VT_I2, {Bound(2)}, [](void*) {}), L"<N/A>{<UNSUPPORTED>}"},
      {"VT_VARIANT elements", Array(VT_VARIANT, {Bound(1)}, [](void*) {}),
       L"<N/A>{<UNSUPPORTED>}"},
      {"VT_ARRAY | VT_BYREF | VT_BSTR",
       Raw([](VARIANT* v) { v->vt = VT_ARRAY | VT_BYREF | VT_BSTR; v->byref = &referenced; }),
       L"<N/A>{<UNSUPPORTED>}"},
      {"null array", Raw([](VARIANT* v) { v->vt = VT_ARRAY | VT_BSTR; v->parray = nullptr; }),
       L"<N/A>{<UNSUPPORTED>}"},
  });
}

// A SAFEARRAY descriptor built by hand, for counts that no real array can
// have. It is locked (cLocks 1): SafeArrayDestroy refuses a locked array
// (DISP_E_ARRAYISLOCKED), so VariantClear leaves the descriptor to the test.
class HandMadeArray {
 public:
  HandMadeArray(USHORT dims, std::vector<ULONG> counts, void* data)
      : storage_(new std::max_align_t[kWords]) {
    std::memset(storage_.get(), 0, kWords * sizeof(std::max_align_t));
    SAFEARRAY* array = Get();
    array->cDims = dims;
    array->cbElements = 4;
    array->cLocks = 1;
    array->pvData = data;
    for (std::size_t k = 0; k < counts.size(); ++k) array->rgsabound[k].cElements = counts[k];
  }
  SAFEARRAY* Get() { return reinterpret_cast<SAFEARRAY*>(storage_.get()); }

 private:
  static constexpr std::size_t kWords =
      (sizeof(SAFEARRAY) + 17 * sizeof(SAFEARRAYBOUND)) / sizeof(std::max_align_t) + 1;
  std::unique_ptr<std::max_align_t[]> storage_;
};

PropertyValue HandMade(VARTYPE type, HandMadeArray& array) {
  return Raw([type, &array](VARIANT* v) {
    v->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    v->parray = array.Get();
  });
}

TEST(PropertyTextTest, CountsOf2To31OrMoreRenderNoElement) {
  std::int32_t slots[2] = {1, 2};
  HandMadeArray half(1, {0x80000000u}, slots);
  HandMadeArray all(1, {0xFFFFFFFFu}, slots);
  HandMadeArray inner(2, {2, 0x80000000u}, slots);
  HandMadeArray outer(2, {0x80000000u, 2}, slots);
  RunCases({
      {"2^31 elements", HandMade(VT_I4, half), L"{}"},
      {"2^32 - 1 strings", HandMade(VT_BSTR, all), L"{}"},
      {"inner level of 2^31", HandMade(VT_I4, inner), L"{{}, {}}"},
      {"outer level of 2^31", HandMade(VT_I4, outer), L"{}"},
  });
}

TEST(PropertyTextTest, ArraysWithoutOneTo16DimensionsAreUnsupported) {
  std::int32_t slots[1] = {1};
  HandMadeArray none(0, {}, slots);
  HandMadeArray seventeen(17, std::vector<ULONG>(17, 1), slots);
  HandMadeArray sixteen(16, std::vector<ULONG>(16, 1), slots);
  RunCases({
      {"no dimension", HandMade(VT_I4, none), L"<N/A>{<UNSUPPORTED>}"},
      {"17 dimensions", HandMade(VT_I4, seventeen), L"<N/A>{<UNSUPPORTED>}"},
      {"16 dimensions", HandMade(VT_I4, sixteen), L"{{{{{{{{{{{{{{{{1}}}}}}}}}}}}}}}}"},
  });
}

TEST(PropertyTextTest, TheValueIsClearedOnEveryPath) {
  // An interface held in the VARIANT is released by VariantClear: its count
  // shows whether the VARIANT was cleared.
  for (const HRESULT result : {WBEM_S_NO_ERROR, WBEM_S_FALSE, WBEM_E_FAILED}) {
    FakeClassObject held("held", {});
    const std::wstring text = Render(Raw(
        [&held](VARIANT* v) {
          held.AddRef();
          v->vt = VT_UNKNOWN;
          v->punkVal = static_cast<IWbemClassObject*>(&held);
        },
        result));
    EXPECT_EQ(text, SUCCEEDED(result) ? L"<UNKNOWN>" : L"<N/A>");
    EXPECT_EQ(held.References(), 1) << "result " << std::hex << result;
  }
}

TEST(PropertyTextTest, RenderArrayLevelReadsOnlyWhatTheCountsDescribe) {
  // Exactly sized storage: a read past it shows under AddressSanitizer.
  const std::vector<std::int32_t> six = {1, 2, 3, 4, 5, 6};
  const std::int32_t twoByThree[] = {2, 3};
  EXPECT_EQ(RenderArrayLevel(six.data(), twoByThree, 1), L"{{1, 2, 3}, {4, 5, 6}}");
  const std::int32_t threeByTwo[] = {3, 2};
  EXPECT_EQ(RenderArrayLevel(six.data(), threeByTwo, 1), L"{{1, 2}, {3, 4}, {5, 6}}");
  const std::int32_t inner[] = {2, 3};
  EXPECT_EQ(RenderArrayLevel(six.data() + 3, inner + 1, 0), L"{4, 5, 6}");
  // No element at all: nothing is read, not even through a null pointer.
  const std::int32_t empty[] = {3, 0};
  EXPECT_EQ(RenderArrayLevel(static_cast<const std::int32_t*>(nullptr), empty, 1), L"{{}, {}, {}}");
  const std::int32_t negative[] = {2, INT_MIN, 5};
  EXPECT_EQ(RenderArrayLevel(static_cast<const BSTR*>(nullptr), negative, 2), L"{{}, {}}");
}

TEST(PropertyTextTest, IntAndBstrText) {
  EXPECT_EQ(IntToText(0), L"0");
  EXPECT_EQ(IntToText(10), L"10");
  EXPECT_EQ(IntToText(-7), L"-7");
  EXPECT_EQ(IntToText(INT_MAX), L"2147483647");
  EXPECT_EQ(IntToText(INT_MIN), L"-2147483648");
  EXPECT_EQ(BstrToText(nullptr), L"");
  const wchar_t inner[] = L"ab\0cd";
  EXPECT_EQ(BstrToText(inner), L"ab");
}

}  // namespace
}  // namespace vrel
