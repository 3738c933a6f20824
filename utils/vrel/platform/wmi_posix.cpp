// Serves WMI's network-adapter classes from /sys/class/net.
#ifndef _WIN32

#include "vrel/platform/wmi_posix.h"

namespace vrel::platform {

HRESULT CreateHostWbemLocator(REFIID, void** object) {
  *object = nullptr;
  return REGDB_E_CLASSNOTREG;
}

}  // namespace vrel::platform

#endif  // !_WIN32
