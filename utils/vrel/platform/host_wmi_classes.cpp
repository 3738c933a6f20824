#ifndef _WIN32

#include "vrel/platform/host_wmi_classes.h"

#include <algorithm>
#include <cwctype>

namespace vrel::platform {
namespace {

// Interface names and addresses are ASCII; each byte becomes one character.
std::wstring Widen(const std::string& text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

WmiValue Text(const std::wstring& text) {
  WmiValue value;
  value.kind = WmiValue::Kind::kText;
  value.text = text;
  return value;
}

WmiValue Int(std::int32_t number) {
  WmiValue value;
  value.kind = WmiValue::Kind::kInt;
  value.number = number;
  return value;
}

WmiValue MacAddressValue(const HostInterface& host) {
  const std::string& address = host.hardwareAddress;
  const bool allZero =
      std::all_of(address.begin(), address.end(), [](char c) { return c == '0' || c == ':'; });
  if (address.empty() || (allZero && host.hardwareType != kHardwareTypeEther)) {
    return WmiValue();  // null
  }
  std::wstring text = Widen(address);
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));  // hex digits, colons
  return Text(text);
}

}  // namespace

WmiObject NetworkAdapterObject(const HostInterface& host) {
  const bool ether = host.hardwareType == kHardwareTypeEther;
  const bool hasDriver = host.hasDevice && !host.driver.empty();
  return {
      {L"AdapterType", ether ? Text(L"Ethernet 802.3") : WmiValue()},
      {L"Caption", Text(Widen(host.name))},
      {L"Index", Int(host.index)},
      {L"MACAddress", MacAddressValue(host)},
      {L"Manufacturer", hasDriver ? Text(Widen(host.driver)) : WmiValue()},
  };
}

WmiObject NetworkAdapterConfigurationObject(const HostInterface& host) {
  WmiValue addresses;  // null
  if (!host.ipv4.empty() || !host.ipv6.empty()) {
    addresses.kind = WmiValue::Kind::kTextArray;
    for (const std::string& address : host.ipv4) addresses.texts.push_back(Widen(address));
    for (const std::string& address : host.ipv6) addresses.texts.push_back(Widen(address));
  }
  return {
      {L"Index", Int(host.index)},
      {L"IPAddress", addresses},
  };
}

}  // namespace vrel::platform

#endif  // !_WIN32
