// Owners for the COM resources the WMI code obtains: interface pointers,
// BSTRs, VARIANTs and the thread's COM apartment. Each frees its resource when
// it goes out of scope, so every return and every exception releases it.
#pragma once

#include <cstring>
#include <utility>

#include "vrel/platform/com_api.h"
#include "vrel/platform/platform.h"

namespace vrel {

// Holds one resource described by Traits (Type, Empty(), Free()); move-only.
template <typename Traits>
class ComOwner {
 public:
  using Type = typename Traits::Type;

  ComOwner() noexcept : value_(Traits::Empty()) {}
  // Takes over `value`, which the owner frees.
  explicit ComOwner(Type value) noexcept : value_(value) {}
  ComOwner(ComOwner&& other) noexcept : value_(other.Detach()) {}
  ComOwner& operator=(ComOwner&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = other.Detach();
    }
    return *this;
  }
  ComOwner(const ComOwner&) = delete;
  ComOwner& operator=(const ComOwner&) = delete;
  ~ComOwner() { Reset(); }

  const Type& Get() const noexcept { return value_; }
  Type& Get() noexcept { return value_; }
  // For pointer resources: the held pointer, to call through.
  Type operator->() const noexcept { return value_; }

  // Frees the held resource and returns the slot for an out-parameter.
  Type* Put() noexcept {
    Reset();
    return &value_;
  }
  // Frees the held resource; the owner is empty afterwards.
  void Reset() noexcept {
    Traits::Free(value_);
    value_ = Traits::Empty();
  }
  // Gives up ownership without freeing.
  Type Detach() noexcept {
    Type value = value_;
    value_ = Traits::Empty();
    return value;
  }

 private:
  Type value_;
};

template <typename Interface>
struct InterfaceTraits {
  using Type = Interface*;
  static Type Empty() noexcept { return nullptr; }
  static void Free(Type object) noexcept {
    if (object != nullptr) object->Release();
  }
};

struct BstrTraits {
  using Type = BSTR;
  static Type Empty() noexcept { return nullptr; }
  static void Free(Type text) noexcept { SysFreeString(text); }
};

struct VariantTraits {
  using Type = VARIANT;
  // All bytes zero, then VariantInit: what WMI expects of an out-parameter.
  static Type Empty() noexcept {
    VARIANT value;
    std::memset(static_cast<void*>(&value), 0, sizeof value);
    VariantInit(&value);
    return value;
  }
  static void Free(Type& value) noexcept { VariantClear(&value); }
};

// An owned reference to a COM interface.
template <typename Interface>
using ComPtr = ComOwner<InterfaceTraits<Interface>>;
// An owned BSTR.
using Bstr = ComOwner<BstrTraits>;
// An owned VARIANT, initialised on construction and cleared on destruction.
using Variant = ComOwner<VariantTraits>;

// Allocates a BSTR holding `text`. Throws _com_error(E_OUTOFMEMORY) when the
// allocation fails; never returns an empty owner.
Bstr AllocBstr(const wchar_t* text);
// The same for a text of ASCII characters.
Bstr AllocBstr(const char* text);

// The calling thread's entry into a COM apartment. Calls CoUninitialize on
// destruction only when its CoInitializeEx succeeded (S_OK or S_FALSE), so it
// balances its own entry and never another's.
class [[nodiscard]] ComApartment {
 public:
  // Calls CoInitializeEx(nullptr, coInit) through the platform seam.
  [[nodiscard]] static ComApartment Enter(DWORD coInit) { return ComApartment(coInit); }

  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) platform::Current().CoUninitialize();
  }

  // What CoInitializeEx returned.
  HRESULT Result() const noexcept { return result_; }

 private:
  explicit ComApartment(DWORD coInit)
      : result_(platform::Current().CoInitializeEx(nullptr, coInit)) {}

  HRESULT result_;
};

}  // namespace vrel
