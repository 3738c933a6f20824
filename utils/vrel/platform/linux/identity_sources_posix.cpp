// The fingerprint's sources off Windows: no registry and no firmware-table
// call; the network interfaces are the host interface reader's; root is the
// effective user id 0.
#ifndef _WIN32

#include <unistd.h>

#include "vrel/platform/linux/host_interfaces.h"
#include "vrel/platform/identity_sources.h"

namespace vrel::platform {

LONG QueryMachineRegistryValue(const char*, DWORD, const char*, DWORD*, BYTE*, DWORD*) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

UINT ReadSystemFirmwareTable(DWORD, DWORD, void*, DWORD) { return 0; }

DWORD ListNetInterfaces(std::vector<NetInterfaceFacts>* interfaces) {
  interfaces->clear();
  std::vector<HostInterface> hosts;
  const int error = ReadHostInterfaces(hosts);
  for (HostInterface& host : hosts) interfaces->push_back(std::move(host.facts));
  return static_cast<DWORD>(error);
}

BOOL ProcessIsElevated(BOOL* elevated) {
  *elevated = geteuid() == 0 ? TRUE : FALSE;
  return TRUE;
}

BOOL CurrentProcessIsWow64(BOOL* wow64) {
  *wow64 = FALSE;
  return TRUE;
}

}  // namespace vrel::platform

#endif  // !_WIN32
