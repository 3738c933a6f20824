// The white-space sets the parsers accept, each written once. Internal to the
// library.
#pragma once

namespace vrel {

// White space as the C locale's isspace and iswspace see it: space, \t, \n,
// \v, \f and \r, whatever locale the process has set.
template <typename Char>
constexpr bool IsCLocaleSpace(Char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The blanks a token may carry around it: space, tab, CR and LF, what a line
// pasted from a file or a form brings along.
constexpr bool IsTokenBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace vrel
