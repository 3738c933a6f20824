#include "vrel/wmi/property_text.h"

#include <cstddef>

#include "vrel/wmi/com_holders.h"

namespace vrel {
namespace {

constexpr wchar_t kNotAvailable[] = L"<N/A>";
constexpr wchar_t kEmpty[] = L"<EMPTY>";
constexpr wchar_t kUnknown[] = L"<UNKNOWN>";
constexpr wchar_t kUnsupported[] = L"{<UNSUPPORTED>}";
constexpr int kMaxDimensions = 16;

// Slots covered by one sub-array of this level: the product of the inner
// levels' counts. A count that reads as negative renders no element, so it
// counts as 0 here: the text is the same and no offset overflows.
std::size_t SubArraySlots(const std::int32_t* counts, int level) {
  std::size_t slots = 1;
  for (int k = 1; k <= level; ++k) slots *= counts[k] > 0 ? static_cast<std::size_t>(counts[k]) : 0;
  return slots;
}

std::wstring ElementText(BSTR element) { return BstrToText(element); }
std::wstring ElementText(std::int32_t element) { return IntToText(element); }

template <typename Element>
std::wstring RenderLevel(const Element* elements, const std::int32_t* counts, int level) {
  const std::size_t step = SubArraySlots(counts, level);
  std::wstring text = L"{";
  for (std::int32_t i = 0; i < counts[0]; ++i) {
    if (i > 0) text += L", ";
    if (level > 0) {
      text +=
          RenderArrayLevel(elements + static_cast<std::size_t>(i) * step, counts + 1, level - 1);
    } else {
      text += ElementText(elements[i]);
    }
  }
  text += L"}";
  return text;
}

std::wstring RenderArray(const VARIANT& value) {
  const VARTYPE elementType = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
  const SAFEARRAY* array = value.parray;
  if ((elementType != VT_BSTR && elementType != VT_I4) || array == nullptr || array->cDims < 1 ||
      array->cDims > kMaxDimensions) {
    return std::wstring(kNotAvailable) + kUnsupported;
  }
  // Bounds in the order the array stores them: entry 0 is the outermost level.
  std::int32_t counts[kMaxDimensions];
  for (int k = 0; k < array->cDims; ++k) {
    counts[k] = static_cast<std::int32_t>(array->rgsabound[k].cElements);
  }
  const int level = array->cDims - 1;
  if (elementType == VT_BSTR) {
    return RenderArrayLevel(static_cast<const BSTR*>(array->pvData), counts, level);
  }
  return RenderArrayLevel(static_cast<const std::int32_t*>(array->pvData), counts, level);
}

}  // namespace

std::wstring GetPropertyText(IWbemClassObject* object, const wchar_t* name) {
  Variant value;
  const HRESULT hr = object->Get(name, 0, &value.Get(), nullptr, nullptr);
  std::wstring text = kNotAvailable;
  if (FAILED(hr)) return text;

  const VARIANT& v = value.Get();
  switch (v.vt) {
    case VT_EMPTY:
      return kEmpty;
    case VT_I2:
    case VT_I4:
    case VT_UI2:
    case VT_UI4:
      // All four read the whole 32-bit member, as Get left it.
      return IntToText(static_cast<std::int32_t>(v.lVal));
    case VT_BSTR:
      return BstrToText(v.bstrVal);
    case VT_BOOL:
      return v.boolVal != 0 ? L"True" : L"False";
    default:
      if ((v.vt & VT_ARRAY) != 0) return RenderArray(v);
      return kUnknown;
  }
}

std::wstring RenderArrayLevel(const BSTR* elements, const std::int32_t* counts, int level) {
  return RenderLevel(elements, counts, level);
}

std::wstring RenderArrayLevel(const std::int32_t* elements, const std::int32_t* counts, int level) {
  return RenderLevel(elements, counts, level);
}

std::wstring IntToText(std::int32_t value) {
  // Digits of the magnitude, taken in unsigned arithmetic so that the most
  // negative value has one too.
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  wchar_t digits[11];
  int n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::wstring text;
  if (value < 0) text += L'-';
  while (n > 0) text += digits[--n];
  return text;
}

std::wstring BstrToText(const OLECHAR* text) {
  return text != nullptr ? std::wstring(text) : std::wstring();
}

}  // namespace vrel
