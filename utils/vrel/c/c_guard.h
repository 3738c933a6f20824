// What every C interface of vrel shares (internal, not installed): the guard
// that keeps C++ exceptions from reaching a C caller, and the length
// convention's delivery of a result text.
#pragma once

#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "vrel/c/vrel_c.h"

namespace vrel::c {

// Runs `body` and returns its code. std::bad_alloc becomes
// VREL_E_OUT_OF_MEMORY; any other exception is handed to `other` inside its
// catch block (so that `other` may rethrow it to tell its kind), and whatever
// escapes that too becomes VREL_E_INTERNAL.
template <typename Body, typename Other>
int Guarded(Body body, Other other) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return VREL_E_OUT_OF_MEMORY;
  } catch (...) {
    try {
      return other();
    } catch (const std::bad_alloc&) {
      return VREL_E_OUT_OF_MEMORY;
    } catch (...) {
      return VREL_E_INTERNAL;
    }
  }
}

template <typename Body>
int Guarded(Body body) noexcept {
  return Guarded(body, []() -> int { return VREL_E_INTERNAL; });
}

// The length convention: `text` and its NUL go to `out` only when they fit;
// returns the length either way.
inline int Deliver(const std::string& text, char* out, size_t out_size) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return VREL_E_INTERNAL;
  if (text.size() < out_size) std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

}  // namespace vrel::c
