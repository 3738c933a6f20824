// The record of one network card and the list that holds such records.
#pragma once

#include <cstdint>
#include <cstring>

#include "vrel/identity/grow_array.h"

namespace vrel {

// A six-byte hardware address, first byte first as written. Zero on construction.
struct MacAddress {
  std::uint8_t bytes[6] = {0, 0, 0, 0, 0, 0};

  bool IsZero() const { return *this == MacAddress(); }
  friend bool operator==(const MacAddress& a, const MacAddress& b) {
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
  }
  friend bool operator!=(const MacAddress& a, const MacAddress& b) { return !(a == b); }
};
static_assert(sizeof(MacAddress) == 6, "MacAddress is six bytes");

// Maximum length of a card name, in bytes, without its terminating NUL.
constexpr int kMaxCardNameLength = 127;

// One network card, copied whole. Default construction zeroes every field.
struct NetCardInfo {
  char name[kMaxCardNameLength + 1] = {};  // caption, NUL-terminated, at most 127 bytes
  std::uint32_t ip = 0;  // IPv4 in host form: a.b.c.d is a<<24|b<<16|c<<8|d; 0 when none
  MacAddress mac;        // all zero when none
};

// The cards of a collector, and the copies handed to its callers.
using NetCardList = GrowArray<NetCardInfo>;

// The grow step of every card list and index list.
constexpr int kCardListGrowStep = 100;

}  // namespace vrel
