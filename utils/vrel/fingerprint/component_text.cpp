#include "vrel/fingerprint/component_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vrel/cpu/vendor.h"
#include "vrel/fingerprint/placeholders.h"
#include "vrel/base/byte_order.h"
#include "vrel/base/hex_text.h"
#include "vrel/base/white_space.h"

namespace vrel::fingerprint {
namespace {

// Stored identifiers come padded with white space and NULs.
std::string Trim(std::string text) {
  const auto notPadding = [](char c) { return !IsCLocaleSpace(c) && c != '\0'; };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notPadding));
  text.erase(std::find_if(text.rbegin(), text.rend(), notPadding).base(), text.end());
  return text;
}

bool AllBytes(const std::uint8_t* data, std::size_t size, std::uint8_t value) {
  return std::all_of(data, data + size, [value](std::uint8_t b) { return b == value; });
}

// The board component of 16 bytes in text order.
ComponentValue BoardOf(const std::uint8_t bytes[16]) {
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    AppendHex(text, bytes + i, 1);
  }
  if (IsListed(kPlaceholderBoards, text)) return Unavailable("placeholder");
  return Available(std::move(text));
}

}  // namespace

ComponentValue Available(std::string text) {
  ComponentValue value;
  value.available = true;
  value.values.push_back(std::move(text));
  return value;
}

ComponentValue Unavailable(std::string reason) {
  ComponentValue value;
  value.reason = std::move(reason);
  return value;
}

std::string CpuText(const char vendor[12], std::uint32_t leaf1Eax, const char* brand48) {
  const unsigned baseFamily = (leaf1Eax >> 8) & 0xF;
  unsigned family = baseFamily;
  unsigned model = (leaf1Eax >> 4) & 0xF;
  if (baseFamily == 15) family += (leaf1Eax >> 20) & 0xFF;
  if (baseFamily == 6 || baseFamily == 15) model += ((leaf1Eax >> 16) & 0xF) << 4;
  std::string text = TextWithoutNuls(vendor, 12) + "/family " +
                     std::to_string(family) + "/model " + std::to_string(model) +
                     "/stepping " + std::to_string(leaf1Eax & 0xF);
  if (brand48 != nullptr) {
    const std::string brand = Trim(std::string(brand48, strnlen(brand48, 48)));
    if (!brand.empty()) text += "/" + brand;
  }
  return text;
}

std::string VolumeText(std::uint32_t serial) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(serial));
  return text;
}

ComponentValue InstallIdComponent(const char* data, std::size_t size) {
  std::string text = Trim(std::string(data, size));
  if (IsListed(kPlaceholderInstallIds, text)) return Unavailable("placeholder");
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, text.size() - 2);
  }
  text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
  std::vector<std::uint8_t> bytes;
  if (!ParseHex(bytes, text) || bytes.size() != 16) return Unavailable("malformed");
  std::string hex;
  AppendHex(hex, bytes.data(), bytes.size());
  if (IsListed(kPlaceholderInstallIds, hex)) return Unavailable("placeholder");
  return Available(std::move(hex));
}

ComponentValue SmbiosUuidComponent(const std::uint8_t uuid[16], int major, int minor) {
  // From 2.6 on, time-low, time-mid and time-high are little-endian.
  const bool littleEndian = major > 2 || (major == 2 && minor >= 6);
  static const int kSwapped[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::uint8_t ordered[16];
  for (int i = 0; i < 16; ++i) ordered[i] = uuid[littleEndian ? kSwapped[i] : i];
  return BoardOf(ordered);
}

ComponentValue UuidComponent(const char* data, std::size_t size) {
  std::string text = Trim(std::string(data, size));
  if (text.size() != 36) return Unavailable("malformed");
  for (const std::size_t dash : {23, 18, 13, 8}) {
    if (text[dash] != '-') return Unavailable("malformed");
    text.erase(dash, 1);
  }
  std::vector<std::uint8_t> bytes;
  if (!ParseHex(bytes, text)) return Unavailable("malformed");
  return BoardOf(bytes.data());
}

ComponentValue BoardFromRawSmbios(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHeader = 8;  // calling method, major, minor, DMI revision, length
  if (data == nullptr || size < kHeader) return Unavailable("malformed SMBIOS table");
  const std::uint32_t length = LoadLittleEndian(data + 4);
  const std::uint8_t* table = data + kHeader;
  const std::size_t end = std::min<std::size_t>(length, size - kHeader);
  std::size_t at = 0;
  while (at + 4 <= end) {
    const std::uint8_t type = table[at];
    const std::uint8_t formatted = table[at + 1];
    if (formatted < 4 || at + formatted > end) break;
    if (type == 1 && formatted >= 0x18) {
      return SmbiosUuidComponent(table + at + 8, data[1], data[2]);
    }
    if (type == 127) return Unavailable("no system record");
    // The string set after the formatted area ends with two NULs.
    std::size_t next = at + formatted;
    while (next + 1 < end && (table[next] != 0 || table[next + 1] != 0)) ++next;
    at = next + 2;
  }
  if (at < end) return Unavailable("malformed SMBIOS table");
  return Unavailable("no system record");
}

ComponentValue NicsFromInterfaces(const std::vector<platform::NetInterfaceFacts>& interfaces) {
  const auto usable = [](const std::vector<std::uint8_t>& mac) {
    return mac.size() == 6 && (mac[0] & 0x01) == 0 && !AllBytes(mac.data(), 6, 0x00);
  };
  std::vector<std::string> macs;
  for (const platform::NetInterfaceFacts& facts : interfaces) {
    if (!facts.hardware || !facts.connector) continue;
    const std::vector<std::uint8_t>* mac = nullptr;
    if (usable(facts.permanent)) {
      mac = &facts.permanent;
    } else if (facts.assignType == 0 && usable(facts.current)) {
      mac = &facts.current;
    }
    if (mac == nullptr) continue;
    std::string text;
    AppendHex(text, mac->data(), mac->size(), ':');
    macs.push_back(text);
  }
  if (macs.empty()) return Unavailable("no physical adapter");
  std::sort(macs.begin(), macs.end());
  macs.erase(std::unique(macs.begin(), macs.end()), macs.end());
  ComponentValue nics;
  nics.available = true;
  nics.values = std::move(macs);
  return nics;
}

std::string ContainerKind(const ContainerMarkers& markers) {
  if (markers.containerEnv) return "podman";
  if (markers.dockerEnv) return "docker";
  const std::string manager = Trim(markers.managerName);
  if (manager == "docker" || manager == "podman" || manager == "wsl") return manager;
  if (manager.rfind("lxc", 0) == 0) return "lxc";  // lxc, lxc-libvirt
  if (!manager.empty()) return "other";  // systemd-nspawn, oci, ...
  // Process 1's control groups name the manager that made them (cgroup v1, or
  // v2 without a cgroup namespace of its own).
  const std::string& groups = markers.initCgroups;
  const auto has = [&groups](const char* name) { return groups.find(name) != std::string::npos; };
  if (has("libpod")) return "podman";
  if (has("/docker") || has("docker-")) return "docker";
  if (has("/lxc") || has("lxc.payload")) return "lxc";
  if (has("kubepods") || has("containerd") || has("crio")) return "other";
  // WSL's kernels carry "Microsoft" (WSL 1) or "microsoft" (WSL 2) in their release.
  std::string release = markers.kernelRelease;
  std::transform(release.begin(), release.end(), release.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (release.find("microsoft") != std::string::npos) return "wsl";
  return "none";
}

}  // namespace vrel::fingerprint
