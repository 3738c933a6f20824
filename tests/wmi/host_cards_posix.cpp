// Reads the host's ARPHRD_ETHER interfaces through the `ip` tool, which asks
// the kernel over netlink: a different path from the library's /sys reads.
#ifndef _WIN32

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

#include "host_cards.h"

namespace vrel::test {
namespace {

std::optional<std::string> Run(const char* command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command, "r"), pclose);
  if (!pipe) return std::nullopt;
  std::string output;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) output += buffer;
  if (pclose(pipe.release()) != 0) return std::nullopt;
  return output;
}

// "2: ifb0: <...> ... link/ether 0a:f2:a6:2a:a1:20 brd ..." per interface.
bool ParseLink(const std::string& line, int& index, std::string& name, std::string& mac) {
  std::istringstream words(line);
  std::string indexText, nameText, word;
  words >> indexText >> nameText;
  if (indexText.empty() || nameText.size() < 2) return false;
  index = std::stoi(indexText);
  name = nameText.substr(0, nameText.size() - 1);  // drop the ':'
  name = name.substr(0, name.find('@'));            // veth0@if5
  while (words >> word) {
    if (word == "link/ether") return static_cast<bool>(words >> mac);
  }
  return false;
}

std::array<std::uint8_t, 6> MacBytes(const std::string& text) {
  std::array<std::uint8_t, 6> bytes{};
  for (std::size_t i = 0; i < 6; ++i) {
    bytes[i] = static_cast<std::uint8_t>(std::stoul(text.substr(3 * i, 2), nullptr, 16));
  }
  return bytes;
}

// "4: eth0    inet 192.0.2.2/24 brd ..." per address, in the kernel's order.
std::map<int, std::uint32_t> FirstIpv4ByIndex(const std::string& output) {
  std::map<int, std::uint32_t> first;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string indexText, name, family, address;
    words >> indexText >> name >> family >> address;
    if (family != "inet" || indexText.empty()) continue;
    const int index = std::stoi(indexText);
    if (first.count(index) != 0) continue;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) == 4) {
      first[index] = a << 24 | b << 16 | c << 8 | d;
    }
  }
  return first;
}

}  // namespace

std::optional<std::vector<HostCard>> ReadHostCards() {
  const auto links = Run("ip -o link show 2>/dev/null");
  const auto addresses = Run("ip -o -4 addr show 2>/dev/null");
  if (!links || !addresses) return std::nullopt;
  const std::map<int, std::uint32_t> ips = FirstIpv4ByIndex(*addresses);
  std::map<int, HostCard> cards;  // ordered by index
  std::istringstream lines(*links);
  for (std::string line; std::getline(lines, line);) {
    int index = 0;
    HostCard card;
    std::string mac;
    if (!ParseLink(line, index, card.name, mac)) continue;
    card.mac = MacBytes(mac);
    const auto ip = ips.find(index);
    if (ip != ips.end()) card.ip = ip->second;
    cards[index] = card;
  }
  std::vector<HostCard> result;
  for (const auto& entry : cards) result.push_back(entry.second);
  return result;
}

}  // namespace vrel::test

#endif  // !_WIN32
