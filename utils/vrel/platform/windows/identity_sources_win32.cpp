// The fingerprint's sources on Windows: the registry's 64-bit view, the
// firmware tables and IP Helper's interface table; the process token's
// elevation and WoW64.
#ifdef _WIN32

#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>

#include <algorithm>
#include <memory>

#include "vrel/platform/identity_sources.h"

namespace vrel::platform {
namespace {

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
struct MibTableFree {
  void operator()(MIB_IF_TABLE2* table) const { ::FreeMibTable(table); }
};

}  // namespace

LONG QueryMachineRegistryValue(const char* subKey, DWORD view, const char* name, DWORD* type,
                               BYTE* data, DWORD* size) {
  HKEY key = nullptr;
  const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE | view, &key);
  if (opened != ERROR_SUCCESS) return opened;
  const std::unique_ptr<HKEY__, KeyCloser> owner(key);
  return ::RegQueryValueExA(key, name, nullptr, type, data, size);
}

UINT ReadSystemFirmwareTable(DWORD provider, DWORD tableId, void* buffer, DWORD size) {
  return ::GetSystemFirmwareTable(provider, tableId, buffer, size);
}

DWORD ListNetInterfaces(std::vector<NetInterfaceFacts>* interfaces) {
  interfaces->clear();
  MIB_IF_TABLE2* table = nullptr;
  const DWORD status = ::GetIfTable2(&table);
  if (status != NO_ERROR) return status;
  const std::unique_ptr<MIB_IF_TABLE2, MibTableFree> owner(table);
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table->Table[i];
    const ULONG length = std::min<ULONG>(row.PhysicalAddressLength, IF_MAX_PHYS_ADDRESS_LENGTH);
    NetInterfaceFacts facts;
    facts.hardware = row.InterfaceAndOperStatusFlags.HardwareInterface != FALSE;
    facts.connector = row.InterfaceAndOperStatusFlags.ConnectorPresent != FALSE;
    facts.permanent.assign(row.PermanentPhysicalAddress, row.PermanentPhysicalAddress + length);
    facts.current.assign(row.PhysicalAddress, row.PhysicalAddress + length);
    interfaces->push_back(std::move(facts));
  }
  return NO_ERROR;
}

BOOL ProcessIsElevated(BOOL* elevated) {
  *elevated = FALSE;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return FALSE;
  const std::unique_ptr<void, HandleCloser> owner(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL read =
      ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  *elevated = read && elevation.TokenIsElevated != 0 ? TRUE : FALSE;
  return read;
}

BOOL CurrentProcessIsWow64(BOOL* wow64) { return ::IsWow64Process(::GetCurrentProcess(), wow64); }

}  // namespace vrel::platform

#endif  // _WIN32
