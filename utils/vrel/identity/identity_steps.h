// Steps shared by the collector and the free identity functions.
#pragma once

#include <cstdint>

#include "vrel/identity/net_card.h"

namespace vrel {

// The system volume serial step: both outputs start at 0. Returns 0, -1 or
// the system's error code (see GetSystemVolumeSerial).
int ReadSystemVolumeSerial(std::uint32_t& serial, std::uint16_t& shortSerial);

// The packed signature of this processor; call only when CPUID exists.
std::uint32_t ReadCpuSignature();

// Packs the vendor's first character (sign-extended from 8 bits) and the
// four signature fields, each masked to 4 bits.
std::uint32_t PackCpuSignature(char vendorFirst, int type, int stepping, int model, int family);

// The first card whose address does not start with 127 (0 qualifies), or null.
const NetCardInfo* FindFirstNonLoopback(const NetCardList& cards);

// Host form (first octet most significant) to network byte order and back.
constexpr std::uint32_t ReverseBytes(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

}  // namespace vrel
