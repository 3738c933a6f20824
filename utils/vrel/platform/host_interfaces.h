// The host's network interfaces as Linux describes them, gathered raw for the
// WMI stand-in: nothing here decides what WMI reports.
#pragma once

#ifndef _WIN32

#include <string>
#include <vector>

namespace vrel::platform {

// ARPHRD_ETHER: the hardware type of Ethernet-like interfaces.
constexpr int kHardwareTypeEther = 1;

struct HostInterface {
  std::string name;               // as in /sys/class/net
  int index = 0;                  // ifindex
  int hardwareType = -1;          // ARPHRD_* from /sys/class/net/NAME/type; -1 unknown
  bool hasDevice = false;         // backed by a device (/sys/class/net/NAME/device)
  std::string driver;             // that device's driver name; empty when none
  std::string hardwareAddress;    // /sys/class/net/NAME/address as written; may be empty
  std::vector<std::string> ipv4;  // dotted, in the order getifaddrs lists them
  std::vector<std::string> ipv6;  // textual, in the order getifaddrs lists them
};

// Every interface in /sys/class/net, ordered by interface index, with the
// addresses getifaddrs reports for it. Interfaces that vanish while being
// read are left out; an unreadable /sys gives an empty list.
std::vector<HostInterface> ReadHostInterfaces();

}  // namespace vrel::platform

#endif  // !_WIN32
