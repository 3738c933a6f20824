// White space as the C locale's isspace and iswspace see it: space, \t, \n,
// \v, \f and \r, whatever locale the process has set. Internal to the library.
#pragma once

namespace vrel {

template <typename Char>
constexpr bool IsCLocaleSpace(Char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace vrel
