// Reads /sys/class/net and getifaddrs for the WMI stand-in.
#ifndef _WIN32

#include "vrel/platform/host_interfaces.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace vrel::platform {
namespace {

const std::string kNetClass = "/sys/class/net/";

// The first line of a small sysfs file; empty when it cannot be read.
std::string ReadLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

bool ReadInt(const std::string& path, int& value) {
  const std::string text = ReadLine(path);
  if (text.empty()) return false;
  value = std::atoi(text.c_str());  // sysfs writes these as plain decimal numbers
  return true;
}

// The last path component of a symbolic link's target; empty when none.
std::string LinkBaseName(const std::string& path) {
  char target[4096];
  const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
  if (length <= 0) return std::string();
  const std::string text(target, static_cast<std::size_t>(length));
  return text.substr(text.rfind('/') + 1);  // npos + 1: all of it
}

std::vector<std::string> InterfaceNames() {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(kNetClass.c_str()), closedir);
  if (!dir) return names;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

void AddAddresses(std::vector<HostInterface>& interfaces) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return;
  const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, freeifaddrs);
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

}  // namespace

std::vector<HostInterface> ReadHostInterfaces() {
  std::vector<HostInterface> interfaces;
  for (const std::string& name : InterfaceNames()) {
    const std::string dir = kNetClass + name + "/";
    HostInterface item;
    item.name = name;
    if (!ReadInt(dir + "ifindex", item.index)) continue;  // gone, or not an interface
    ReadInt(dir + "type", item.hardwareType);  // left -1 when unreadable
    struct stat info {};
    item.hasDevice = stat((dir + "device").c_str(), &info) == 0;
    if (item.hasDevice) item.driver = LinkBaseName(dir + "device/driver");
    item.hardwareAddress = ReadLine(dir + "address");
    interfaces.push_back(std::move(item));
  }
  std::sort(interfaces.begin(), interfaces.end(),
            [](const HostInterface& a, const HostInterface& b) { return a.index < b.index; });
  AddAddresses(interfaces);
  return interfaces;
}

}  // namespace vrel::platform

#endif  // !_WIN32
