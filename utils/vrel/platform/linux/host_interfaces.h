// The host's network interfaces as Linux describes them: /sys/class/net, the
// ethtool permanent-address request and getifaddrs. Facts only: the WMI
// stand-in and the fingerprint's interface list each decide what counts.
#pragma once

#ifndef _WIN32

#include <string>
#include <vector>

#include "vrel/platform/identity_sources.h"

struct ifaddrs;

namespace vrel::platform {

// ARPHRD_ETHER: the hardware type of Ethernet-like interfaces.
constexpr int kHardwareTypeEther = 1;

struct HostInterface {
  std::string name;               // as in /sys/class/net
  int index = 0;                  // ifindex
  int hardwareType = -1;          // ARPHRD_* from `type`; -1 unknown
  std::string driver;             // the device's driver; empty without a device or driver
  NetInterfaceFacts facts;        // device link, connector, addresses, addr_assign_type
  std::vector<std::string> ipv4;  // dotted, in the order getifaddrs lists them
  std::vector<std::string> ipv6;  // textual, in the order getifaddrs lists them
};

// Replaces `interfaces` with every interface in /sys/class/net, ordered by
// interface index, with the addresses getifaddrs reports for it. Interfaces
// that vanish while being read are left out. Returns 0, or the errno of an
// unreadable /sys/class/net (the list then empty).
int ReadHostInterfaces(std::vector<HostInterface>& interfaces);

// The two halves of ReadHostInterfaces, apart so that each can be given its
// input. ReadNetClass: the interfaces of SYS/class/net (SYS a sysfs root,
// "/sys" for the host's), without addresses; devices under SYS/devices/virtual
// have no connector. The permanent address is asked of the host's kernel by
// name. Returns 0, or the errno of an unreadable SYS or SYS/class/net.
int ReadNetClass(const std::string& sys, std::vector<HostInterface>& interfaces);
// Appends each IPv4 and IPv6 address of `list` (as getifaddrs links it) to the
// interface of that name; other families and names are skipped.
void AddAddresses(std::vector<HostInterface>& interfaces, const ifaddrs* list);

}  // namespace vrel::platform

#endif  // !_WIN32
