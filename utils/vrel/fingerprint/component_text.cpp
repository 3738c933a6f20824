#include "vrel/fingerprint/component_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace vrel::fingerprint {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendHex(std::string& out, std::uint8_t byte) {
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// Four register values as the 4-byte groups of a text, lowest byte first.
std::string RegisterText(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  std::string text;
  for (std::uint32_t reg : {a, b, c}) {
    for (int shift = 0; shift < 32; shift += 8) {
      const char ch = static_cast<char>((reg >> shift) & 0xFF);
      if (ch != '\0') text += ch;
    }
  }
  return text;
}

std::string Trim(std::string text) {
  const auto notSpace = [](unsigned char c) { return !std::isspace(c) && c != '\0'; };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
  text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
  return text;
}

bool AllBytes(const std::uint8_t* data, std::size_t size, std::uint8_t value) {
  return std::all_of(data, data + size, [value](std::uint8_t b) { return b == value; });
}

}  // namespace

ComponentValue Available(std::string text) {
  ComponentValue value;
  value.available = true;
  value.values.push_back(std::move(text));
  return value;
}

ComponentValue Available(std::optional<std::string> text, const char* reason) {
  if (!text) return Unavailable(reason);
  return Available(std::move(*text));
}

ComponentValue Unavailable(std::string reason) {
  ComponentValue value;
  value.reason = std::move(reason);
  return value;
}

std::string CpuText(const std::uint32_t leaf0[4], std::uint32_t leaf1Eax, const char* brand48) {
  const unsigned baseFamily = (leaf1Eax >> 8) & 0xF;
  unsigned family = baseFamily;
  unsigned model = (leaf1Eax >> 4) & 0xF;
  if (baseFamily == 15) family += (leaf1Eax >> 20) & 0xFF;
  if (baseFamily == 6 || baseFamily == 15) model += ((leaf1Eax >> 16) & 0xF) << 4;
  std::string text = RegisterText(leaf0[1], leaf0[3], leaf0[2]) + "/family " +
                     std::to_string(family) + "/model " + std::to_string(model) +
                     "/stepping " + std::to_string(leaf1Eax & 0xF);
  if (brand48 != nullptr) {
    const std::string brand = Trim(std::string(brand48, strnlen(brand48, 48)));
    if (!brand.empty()) text += "/" + brand;
  }
  return text;
}

std::string HypervisorVendor(const std::uint32_t leaf[4]) {
  return RegisterText(leaf[1], leaf[2], leaf[3]);
}

std::string VolumeText(std::uint32_t serial) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(serial));
  return text;
}

std::optional<std::string> InstallIdText(const char* data, std::size_t size) {
  std::string text = Trim(std::string(data, size));
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, text.size() - 2);
  }
  std::string hex;
  for (char ch : text) {
    if (ch == '-') continue;
    if (!std::isxdigit(static_cast<unsigned char>(ch))) return std::nullopt;
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  if (hex.size() != 32 || hex.find_first_not_of('0') == std::string::npos) return std::nullopt;
  return hex;
}

std::optional<std::string> SmbiosUuidText(const std::uint8_t uuid[16], int major, int minor) {
  if (AllBytes(uuid, 16, 0x00) || AllBytes(uuid, 16, 0xFF)) return std::nullopt;
  // From 2.6 on, time-low, time-mid and time-high are little-endian.
  const bool littleEndian = major > 2 || (major == 2 && minor >= 6);
  static const int kSwapped[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    AppendHex(text, uuid[littleEndian ? kSwapped[i] : i]);
  }
  return text;
}

std::optional<std::string> UuidText(const char* data, std::size_t size) {
  const std::string text = Trim(std::string(data, size));
  if (text.size() != 36) return std::nullopt;
  std::uint8_t bytes[16] = {};
  std::string canonical;
  for (std::size_t i = 0, n = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    if (dash != (ch == '-') || (!dash && !std::isxdigit(ch))) return std::nullopt;
    canonical += static_cast<char>(std::tolower(ch));
    if (!dash) {
      const int digit = std::isdigit(ch) ? ch - '0' : std::tolower(ch) - 'a' + 10;
      bytes[n / 2] = static_cast<std::uint8_t>((bytes[n / 2] << 4) | digit);
      ++n;
    }
  }
  if (AllBytes(bytes, 16, 0x00) || AllBytes(bytes, 16, 0xFF)) return std::nullopt;
  return canonical;
}

ComponentValue BoardFromRawSmbios(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHeader = 8;  // calling method, major, minor, DMI revision, length
  if (data == nullptr || size < kHeader) return Unavailable("malformed SMBIOS table");
  const std::uint32_t length = static_cast<std::uint32_t>(data[4]) | (data[5] << 8) |
                               (data[6] << 16) | (static_cast<std::uint32_t>(data[7]) << 24);
  const std::uint8_t* table = data + kHeader;
  const std::size_t end = std::min<std::size_t>(length, size - kHeader);
  std::size_t at = 0;
  while (at + 4 <= end) {
    const std::uint8_t type = table[at];
    const std::uint8_t formatted = table[at + 1];
    if (formatted < 4 || at + formatted > end) break;
    if (type == 1 && formatted >= 0x18) {
      return Available(SmbiosUuidText(table + at + 8, data[1], data[2]), "UUID not set");
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
    for (std::uint8_t byte : *mac) {
      if (!text.empty()) text += ':';
      AppendHex(text, byte);
    }
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

}  // namespace vrel::fingerprint
