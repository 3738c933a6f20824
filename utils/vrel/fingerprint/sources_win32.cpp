// os-install and board on Windows: MachineGuid from the registry's 64-bit
// view (a 32-bit process would otherwise read the redirected view, which has
// no MachineGuid) and the system UUID from the raw SMBIOS table. Containers
// are not looked for.
#ifdef _WIN32

#include <string>
#include <vector>

#include "vrel/fingerprint/component_text.h"
#include "vrel/fingerprint/sources.h"
#include "vrel/platform/platform.h"

namespace vrel::fingerprint {

ComponentValue ReadOsInstall() {
  char data[128] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  const LONG status = platform::Current().QueryMachineRegistryValue(
      "SOFTWARE\\Microsoft\\Cryptography", KEY_WOW64_64KEY, "MachineGuid", &type,
      reinterpret_cast<BYTE*>(data), &size);
  if (status == ERROR_FILE_NOT_FOUND) return Unavailable("not present");
  if (status != ERROR_SUCCESS) return Unavailable("registry error " + std::to_string(status));
  if (type != REG_SZ) return Unavailable("malformed");
  return InstallIdComponent(data, size);
}

ComponentValue ReadBoard() {
  constexpr DWORD kRsmb = 0x52534D42;  // 'RSMB': the raw SMBIOS table
  const platform::Api& os = platform::Current();
  const UINT needed = os.GetSystemFirmwareTable(kRsmb, 0, nullptr, 0);
  if (needed == 0) {
    return Unavailable("no SMBIOS table (error " + std::to_string(os.GetLastError()) + ")");
  }
  std::vector<std::uint8_t> table(needed);
  const UINT read = os.GetSystemFirmwareTable(kRsmb, 0, table.data(), needed);
  if (read == 0 || read > needed) return Unavailable("SMBIOS table changed while read");
  return BoardFromRawSmbios(table.data(), read);
}

std::string ReadContainer() { return "unknown"; }

}  // namespace vrel::fingerprint

#endif  // _WIN32
