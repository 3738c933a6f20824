#pragma once
#include <array>
#include <string>
#include <vector>

#include "vrel/fingerprint/component_table.h"

namespace vrel {

// One component: its canonical value(s), or why it is unavailable.
struct ComponentValue {
  bool available = false;
  std::string reason;  // when unavailable: short text, e.g. "needs root", "not present"
  // When available: canonical texts, hashed as their bytes. One text for every component but
  // nics, which holds one text per permanent MAC ("aa:bb:cc:dd:ee:ff", lower case), sorted, unique,
  // never empty (no physical adapter = unavailable).
  std::vector<std::string> values;
};

// Canonical texts (changing one changes every token made from it):
//   cpu         "<vendor>/family <F>/model <M>/stepping <S>/<brand>": family and model in decimal
//               with the extended fields added (family 15 adds the extended family; families 6
//               and 15 prepend the extended model); the brand of leaves 0x80000002-4 without
//               leading or trailing spaces, and "/<brand>" left out when those leaves are absent
//               or blank. Example: "GenuineIntel/family 6/model 158/stepping 10/Intel(R)
//               Core(TM) i7-8700 CPU @ 3.20GHz".
//   volume      the system volume's serial, 8 upper-case hex digits: "1C2D3E4F".
//   os-install  the installation id in lower-case hex without braces or dashes (32 digits):
//               Windows MachineGuid, Linux machine-id.
//   board       the SMBIOS system UUID, lower case "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
//   nics        as above.

// Where the process runs: reported beside the components, never part of the identity (it
// changes neither the token nor the verdict).
struct RunEnvironment {
  // "none", "docker", "podman", "lxc", "wsl" or "other" (another container manager). Linux reads
  // the usual marker files; the Windows build does not look for containers: "unknown".
  std::string container;
  // 1: Linux root (effective user id 0), or on Windows an elevated token (an administrator's
  // full rights); 0: not; -1: the system would not tell.
  int elevated = -1;
  int processBits = 0;  // 32 or 64: the build of the program
  bool wow64 = false;   // Windows: a 32-bit process on 64-bit Windows (IsWow64Process)
};

struct MachineComponents {
  std::array<ComponentValue, kComponentCount> components;
  const ComponentValue& operator[](ComponentId id) const {
    return components[static_cast<int>(id)];
  }
  ComponentValue& operator[](ComponentId id) { return components[static_cast<int>(id)]; }
  // Reported, never part of the identity.
  bool hypervisorPresent = false;   // CPUID leaf 1 ECX bit 31
  std::string hypervisorVendor;     // leaf 0x40000000 EBX,ECX,EDX as text; empty when absent
  RunEnvironment environment;
};

// Reads every component through the platform seam. An unavailable component never aborts the
// others; only std::bad_alloc may escape.
MachineComponents CollectComponents();

}  // namespace vrel
