// The components whose sources differ by operating system. Each target has
// its own file (sources_win32.cpp, sources_posix.cpp); both reach the system
// only through the platform seam and leave decoding to component_text.h.
#pragma once

#include "vrel/fingerprint/components.h"

namespace vrel::fingerprint {

// os-install: Windows MachineGuid, Linux machine-id.
ComponentValue ReadOsInstall();
// board: the SMBIOS system UUID.
ComponentValue ReadBoard();
// The container the process runs in (RunEnvironment::container).
std::string ReadContainer();

}  // namespace vrel::fingerprint
