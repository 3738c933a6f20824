// The fingerprint's sources off Windows: no registry and no firmware-table
// call; the network interfaces come from /sys/class/net and, for each, the
// ethtool request for the permanent address.
#ifndef _WIN32

#include <dirent.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
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
#include <string>

#include "vrel/platform/identity_sources.h"

namespace vrel::platform {
namespace {

constexpr char kNetClass[] = "/sys/class/net/";
constexpr std::uint32_t kMaxAddress = 32;  // the kernel's MAX_ADDR_LEN

std::string ReadText(const std::string& path) {
  char buffer[128];
  std::size_t size = sizeof buffer;
  if (ReadSmallFile(path.c_str(), buffer, &size) != 0) size = 0;
  return std::string(buffer, size);
}

// "aa:bb:cc:dd:ee:ff" (sysfs form) to bytes; empty when malformed.
std::vector<std::uint8_t> ParseAddress(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0; at + 2 <= text.size(); at += 3) {
    char* end = nullptr;
    const std::string pair = text.substr(at, 2);
    const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return {};
    bytes.push_back(static_cast<std::uint8_t>(byte));
  }
  return bytes;
}

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

// Any socket carries the ethtool requests.
struct Socket {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ~Socket() { close(fd); }  // harmless when the socket could not be made
};

}  // namespace

LONG QueryMachineRegistryValue(const char*, DWORD, const char*, DWORD*, BYTE*, DWORD*) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

UINT ReadSystemFirmwareTable(DWORD, DWORD, void*, DWORD) { return 0; }

DWORD ListNetInterfaces(std::vector<NetInterfaceFacts>* interfaces) {
  interfaces->clear();
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(kNetClass), closedir);
  if (!dir) return static_cast<DWORD>(errno);
  const Socket socket;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    const std::string path = std::string(kNetClass) + name;
    char real[PATH_MAX];
    if (name[0] == '.' || realpath(path.c_str(), real) == nullptr) continue;
    NetInterfaceFacts facts;
    facts.hardware = access((path + "/device").c_str(), F_OK) == 0;
    facts.connector = std::strncmp(real, "/sys/devices/virtual/", 21) != 0;
    std::sscanf(ReadText(path + "/addr_assign_type").c_str(), "%d", &facts.assignType);
    facts.current = ParseAddress(ReadText(path + "/address"));
    facts.permanent = PermanentAddress(socket.fd, name);  // empty without a socket
    interfaces->push_back(std::move(facts));
  }
  return 0;
}

}  // namespace vrel::platform

#endif  // !_WIN32
