// Reads /sys/class/net, the ethtool permanent address and getifaddrs.
#ifndef _WIN32

#include "vrel/platform/linux/host_interfaces.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "vrel/base/hex_text.h"

namespace vrel::platform {
namespace {

constexpr std::uint32_t kMaxAddress = 32;  // the kernel's MAX_ADDR_LEN

// The first line of a small sysfs file; empty when it cannot be read.
std::string ReadLine(const std::string& path) {
  char buffer[128];  // room for the longest address sysfs writes
  std::size_t size = sizeof buffer;
  if (ReadSmallFile(path.c_str(), buffer, &size) != 0) size = 0;
  const std::string text(buffer, size);
  return text.substr(0, text.find('\n'));
}

// A number sysfs writes in decimal; false when the file cannot be read.
bool ReadNumber(const std::string& path, int& value) {
  return std::sscanf(ReadLine(path).c_str(), "%d", &value) == 1;
}

// The last path component of a symbolic link's target; empty when none.
std::string LinkBaseName(const std::string& path) {
  char target[4096];
  const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
  if (length <= 0) return std::string();
  const std::string text(target, static_cast<std::size_t>(length));
  return text.substr(text.rfind('/') + 1);  // npos + 1: all of it
}

// Devices that no bus backs (loopback, bridges, veth, ifb, tunnels) live
// under SYS/devices/virtual; `virtualDevices` is that folder's real path.
bool HasConnector(const std::string& path, const std::string& virtualDevices) {
  char real[PATH_MAX];
  return realpath(path.c_str(), real) != nullptr &&
         std::strncmp(real, virtualDevices.c_str(), virtualDevices.size()) != 0;
}

// Any socket carries the ethtool requests.
struct Socket {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ~Socket() { close(fd); }  // harmless when the socket could not be made
};

// The address the driver reports as burnt in; empty when it gives none.
std::vector<std::uint8_t> PermanentAddress(int socketFd, const std::string& name) {
  // struct ethtool_perm_addr (command, size) followed by room for the address.
  constexpr std::size_t kHeader = sizeof(ethtool_perm_addr);
  alignas(ethtool_perm_addr) std::uint8_t request[kHeader + kMaxAddress] = {};
  const std::uint32_t header[2] = {ETHTOOL_GPERMADDR, kMaxAddress};
  std::memcpy(request, header, sizeof header);
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, name.c_str(), IFNAMSIZ - 1);
  ifr.ifr_data = reinterpret_cast<char*>(request);
  if (ioctl(socketFd, SIOCETHTOOL, &ifr) != 0) return {};
  std::uint32_t size = 0;
  std::memcpy(&size, request + offsetof(ethtool_perm_addr, size), sizeof size);
  const std::uint8_t* address = request + kHeader;
  return std::vector<std::uint8_t>(address, address + std::min(size, kMaxAddress));
}

// The facts of NET_CLASS/NAME; false when it is gone or no interface.
bool ReadInterface(const std::string& netClass, const std::string& virtualDevices,
                   const std::string& name, int socketFd, HostInterface& item) {
  const std::string dir = netClass + name + "/";
  if (!ReadNumber(dir + "ifindex", item.index)) return false;
  item.name = name;
  ReadNumber(dir + "type", item.hardwareType);  // left -1 when unreadable
  NetInterfaceFacts& facts = item.facts;
  facts.hardware = access((dir + "device").c_str(), F_OK) == 0;
  if (facts.hardware) item.driver = LinkBaseName(dir + "device/driver");
  facts.connector = HasConnector(netClass + name, virtualDevices);
  ReadNumber(dir + "addr_assign_type", facts.assignType);  // left -1 when unreadable
  ParseHex(facts.current, ReadLine(dir + "address"), ':');  // sysfs: "aa:bb:...", or nothing
  facts.permanent = PermanentAddress(socketFd, name);       // empty without a socket
  return true;
}

}  // namespace

void AddAddresses(std::vector<HostInterface>& interfaces, const ifaddrs* list) {
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr) continue;
    const auto found =
        std::find_if(interfaces.begin(), interfaces.end(),
                     [&](const HostInterface& i) { return i.name == entry->ifa_name; });
    if (found == interfaces.end()) continue;
    char text[INET6_ADDRSTRLEN];  // inet_ntop cannot fail: a known family, room for any
    const int family = entry->ifa_addr->sa_family;
    if (family == AF_INET) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
      found->ipv4.push_back(inet_ntop(AF_INET, &address->sin_addr, text, sizeof text));
    } else if (family == AF_INET6) {
      const auto* address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
      found->ipv6.push_back(inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text));
    }
  }
}

int ReadNetClass(const std::string& sys, std::vector<HostInterface>& interfaces) {
  interfaces.clear();
  char real[PATH_MAX];
  if (realpath(sys.c_str(), real) == nullptr) return errno;
  const std::string netClass = std::string(real) + "/class/net/";
  const std::string virtualDevices = std::string(real) + "/devices/virtual/";
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(netClass.c_str()), closedir);
  if (!dir) return errno;
  const Socket socket;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    HostInterface item;
    if (name != "." && name != ".." &&
        ReadInterface(netClass, virtualDevices, name, socket.fd, item)) {
      interfaces.push_back(std::move(item));
    }
  }
  std::sort(interfaces.begin(), interfaces.end(),
            [](const HostInterface& a, const HostInterface& b) { return a.index < b.index; });
  return 0;
}

int ReadHostInterfaces(std::vector<HostInterface>& interfaces) {
  const int error = ReadNetClass("/sys", interfaces);
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return error;
  const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, freeifaddrs);
  AddAddresses(interfaces, list);  // none to an empty list
  return error;
}

}  // namespace vrel::platform

#endif  // !_WIN32
