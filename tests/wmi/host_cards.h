// The host's Ethernet cards as the test reads them, apart from the library:
// natively from the `ip` tool, on Windows from GetAdaptersAddresses.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vrel::test {

struct HostCard {
  std::string name;                   // interface name natively; adapter name on Windows
  std::array<std::uint8_t, 6> mac{};
  std::uint32_t ip = 0;               // first IPv4 address, host form; 0 when none
};

// The Ethernet-type interfaces in interface-index order, or nullopt when the
// host cannot be read this way (no `ip` tool, for instance).
std::optional<std::vector<HostCard>> ReadHostCards();

}  // namespace vrel::test
