#ifndef _WIN32

#include "vrel/platform/linux/host_wmi_classes.h"

#include <algorithm>

#include "vrel/base/hex_text.h"
#include "vrel/base/wide_text.h"

namespace vrel::platform {
namespace {

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

// As sysfs writes the address, in upper case.
WmiValue MacAddressValue(const HostInterface& host) {
  const std::vector<std::uint8_t>& address = host.facts.current;
  const bool allZero =
      std::all_of(address.begin(), address.end(), [](std::uint8_t b) { return b == 0; });
  if (address.empty() || (allZero && host.hardwareType != kHardwareTypeEther)) {
    return WmiValue();  // null
  }
  std::string text;
  AppendHex(text, address.data(), address.size(), ':', HexCase::kUpper);
  return Text(Widen(text));
}

}  // namespace

bool ToVariant(const WmiValue& value, VARIANT* out) {
  switch (value.kind) {
    case WmiValue::Kind::kNull:
      out->vt = VT_NULL;
      return true;
    case WmiValue::Kind::kInt:
      out->vt = VT_I4;
      out->lVal = value.number;
      return true;
    case WmiValue::Kind::kText:
      out->bstrVal = SysAllocString(value.text.c_str());
      if (out->bstrVal == nullptr) return false;
      out->vt = VT_BSTR;
      return true;
    default: {  // kTextArray
      SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(value.texts.size()));
      if (array == nullptr) return false;
      auto* slots = static_cast<BSTR*>(array->pvData);
      for (std::size_t i = 0; i < value.texts.size(); ++i) {
        slots[i] = SysAllocString(value.texts[i].c_str());
        if (slots[i] == nullptr) {
          SafeArrayDestroy(array);
          return false;
        }
      }
      out->vt = VT_ARRAY | VT_BSTR;
      out->parray = array;
      return true;
    }
  }
}

WmiObject NetworkAdapterObject(const HostInterface& host) {
  const bool ether = host.hardwareType == kHardwareTypeEther;
  return {
      {L"AdapterType", ether ? Text(L"Ethernet 802.3") : WmiValue()},
      {L"Caption", Text(Widen(host.name))},
      {L"Index", Int(host.index)},
      {L"MACAddress", MacAddressValue(host)},
      {L"Manufacturer", !host.driver.empty() ? Text(Widen(host.driver)) : WmiValue()},
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
