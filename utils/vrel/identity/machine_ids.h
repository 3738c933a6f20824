// MachineIds: the packed record of machine identifiers, and its status bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrel/identity/net_card.h"

namespace vrel {

// Bits of MachineInfo::GetIds' result: a set bit means the identifier is missing.
constexpr int MISSING_MAC = 1;
constexpr int MISSING_VOLUME_SERIAL = 2;
constexpr int MISSING_CPU_SIGNATURE = 4;
constexpr int MISSING_IP = 8;

#pragma pack(push, 1)
// Every field starts right after the previous one: 24 bytes on every target.
// Default construction zeroes every field; MachineInfo::GetIds writes them all.
struct MachineIds {
  std::uint32_t cpuSignature = 0;  // packed processor signature; 0 when missing
  MacAddress mac;                  // MAC of the first card; zero when missing
  std::uint32_t ip = 0;  // first non-loopback IPv4, network byte order (first octet lowest)
  std::uint32_t ipReserved = 0;       // always 0
  std::uint32_t volumeSerial = 0;     // serial of the volume holding Windows
  std::uint16_t shortVolumeSerial = 0;  // low 16 bits of serial ^ (serial >> 16)
};
#pragma pack(pop)

static_assert(sizeof(MachineIds) == 24, "MachineIds is packed to 24 bytes");
static_assert(offsetof(MachineIds, mac) == 4 && offsetof(MachineIds, ip) == 10 &&
                  offsetof(MachineIds, ipReserved) == 14 &&
                  offsetof(MachineIds, volumeSerial) == 18 &&
                  offsetof(MachineIds, shortVolumeSerial) == 22,
              "MachineIds field offsets");

}  // namespace vrel
