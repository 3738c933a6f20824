// The raw sources of the machine fingerprint: registry, firmware tables,
// small files and network interfaces. Only the platform tables call the
// functions here; the library reaches them through Current().
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vrel/platform/win_api.h"

#ifndef _WIN32
// The registry names the seam uses, with their Windows values.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD REG_SZ = 1;
constexpr DWORD KEY_WOW64_64KEY = 0x0100;
#endif

namespace vrel::platform {

// What the system tells about one network interface: Windows fills it from
// GetIfTable2, Linux from /sys/class/net and the ethtool permanent-address
// request. Nothing here decides which interfaces count.
struct NetInterfaceFacts {
  bool hardware = false;   // Windows HardwareInterface; Linux: has a `device` link
  bool connector = false;  // Windows ConnectorPresent; Linux: not under /sys/devices/virtual
  std::vector<std::uint8_t> permanent;  // the burnt-in address; empty when not given
  std::vector<std::uint8_t> current;    // the address in use; empty when none
  int assignType = -1;     // Linux addr_assign_type (0: permanent); -1 where there is none
};

// RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE | view) and
// RegQueryValueExA(name) on it. Off Windows there is no registry:
// ERROR_FILE_NOT_FOUND.
LONG QueryMachineRegistryValue(const char* subKey, DWORD view, const char* name, DWORD* type,
                               BYTE* data, DWORD* size);
// Same as GetSystemFirmwareTable. Off Windows: 0 (no firmware tables).
UINT ReadSystemFirmwareTable(DWORD provider, DWORD tableId, void* buffer, DWORD size);
// Reads at most *size bytes of the file at path and sets *size to the count
// read. Returns 0 or the errno value of the failure.
int ReadSmallFile(const char* path, char* buffer, std::size_t* size);
// Replaces *interfaces with the system's network interfaces. Returns 0 or the
// system's error code.
DWORD ListNetInterfaces(std::vector<NetInterfaceFacts>* interfaces);
// Sets *elevated: on Windows whether the process token is elevated
// (OpenProcessToken, GetTokenInformation(TokenElevation)), an administrator's
// full rights; off Windows whether the effective user id is 0 (root). Returns
// FALSE, with GetLastError's code, when the system would not tell.
BOOL ProcessIsElevated(BOOL* elevated);
// IsWow64Process(GetCurrentProcess(), wow64). Off Windows: *wow64 FALSE.
BOOL CurrentProcessIsWow64(BOOL* wow64);

}  // namespace vrel::platform
