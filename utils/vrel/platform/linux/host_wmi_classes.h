// What the WMI stand-in reports for one host interface: the properties of its
// Win32_NetworkAdapter and Win32_NetworkAdapterConfiguration objects. Pure
// functions over the gathered data.
#pragma once

#ifndef _WIN32

#include <cstdint>
#include <string>
#include <vector>

#include "vrel/platform/com_api.h"
#include "vrel/platform/linux/host_interfaces.h"

namespace vrel::platform {

struct WmiValue {
  enum class Kind { kNull, kText, kInt, kTextArray };
  Kind kind = Kind::kNull;
  std::wstring text;                // kText
  std::int32_t number = 0;          // kInt
  std::vector<std::wstring> texts;  // kTextArray
};

struct WmiProperty {
  std::wstring name;
  WmiValue value;
};

// One class object: its properties in a fixed order.
using WmiObject = std::vector<WmiProperty>;

// Win32_NetworkAdapter: "AdapterType" "Ethernet 802.3" for ARPHRD_ETHER, else
// null; "Manufacturer" the driver's name when a device with a driver backs it,
// else null; "Caption" the interface name; "MACAddress" the hardware address
// in upper case (null when there is none, and when a non-Ethernet interface
// has an all-zero one); "Index" the interface index.
WmiObject NetworkAdapterObject(const HostInterface& host);

// Win32_NetworkAdapterConfiguration: "Index" the interface index; "IPAddress"
// its IPv4 addresses then its IPv6 addresses, or null when it has none.
WmiObject NetworkAdapterConfigurationObject(const HostInterface& host);

// Fills *out (empty) with a copy of `value`: VT_NULL, VT_I4, VT_BSTR or a
// one-dimensional VT_ARRAY | VT_BSTR. False when memory runs out, *out then
// left empty.
bool ToVariant(const WmiValue& value, VARIANT* out);

}  // namespace vrel::platform

#endif  // !_WIN32
