// Rendering of one WMI property value as wide text. What cannot be read or
// rendered is marked in the text itself: "<N/A>", "<EMPTY>", "<UNKNOWN>",
// "{<UNSUPPORTED>}". None of these functions fails or throws, except that a
// string that cannot grow raises its allocation exception.
#pragma once

#include <cstdint>
#include <string>

#include "vrel/platform/com_api.h"

namespace vrel {

// Reads property `name` of `object` (borrowed, must be valid) with
// IWbemClassObject::Get and renders it:
//   Get fails (negative HRESULT)        "<N/A>"
//   VT_EMPTY                            "<EMPTY>"
//   VT_I2, VT_I4, VT_UI2, VT_UI4        the whole 32-bit lVal in signed decimal
//   VT_BSTR                             its characters up to the first NUL
//                                       (a null BSTR gives the empty text)
//   VT_BOOL                             "True" when non-zero, else "False"
//   VT_ARRAY of VT_BSTR or VT_I4        nested braces, one level per dimension
//                                       ("{a, b}", "{{1, 2}, {3, 4}}")
//   other VT_ARRAY, a null array, or
//   one without 1 to 16 dimensions      "<N/A>{<UNSUPPORTED>}"
//   anything else                       "<UNKNOWN>"
// The VARIANT is cleared before returning, on every path.
std::wstring GetPropertyText(IWbemClassObject* object, const wchar_t* name);

// One brace level of an array whose elements start at `elements`. counts[0]
// is this level's element count, counts[1..level] those of the levels inside
// it (level 0 is the innermost, whose elements are adjacent). A count is
// compared as a signed value, so one of 2^31 or more renders as "{}".
// Reads only the elements that the counts describe.
std::wstring RenderArrayLevel(const BSTR* elements, const std::int32_t* counts, int level);
std::wstring RenderArrayLevel(const std::int32_t* elements, const std::int32_t* counts, int level);

// `value` in decimal, "-" before a negative one: what _itow gives in radix 10.
std::wstring IntToText(std::int32_t value);

// The characters of `text` up to its first NUL; the empty text for null.
std::wstring BstrToText(const OLECHAR* text);

}  // namespace vrel
