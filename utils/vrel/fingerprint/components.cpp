#include "vrel/fingerprint/components.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "vrel/fingerprint/component_text.h"
#include "vrel/fingerprint/sources.h"
#include "vrel/identity/identity_steps.h"
#include "vrel/platform/platform.h"

namespace vrel {
namespace {

using fingerprint::Available;
using fingerprint::Unavailable;

struct Leaf {
  std::uint32_t regs[4] = {};
  explicit Leaf(std::uint32_t leaf) { platform::Current().Cpuid(leaf, regs); }
};

ComponentValue ReadCpu() {
  const Leaf leaf0(0);
  const Leaf leaf1(1);
  char brand[48] = {};
  // Processors without extended leaves answer 0x80000000 with a basic leaf.
  const std::uint32_t maxExtended = Leaf(0x80000000u).regs[0];
  const bool hasBrand = maxExtended >= 0x80000004u && maxExtended <= 0x8000FFFFu;
  for (std::uint32_t i = 0; hasBrand && i < 3; ++i) {
    std::memcpy(brand + 16 * i, Leaf(0x80000002u + i).regs, 16);
  }
  return Available(fingerprint::CpuText(leaf0.regs, leaf1.regs[0], hasBrand ? brand : nullptr));
}

ComponentValue ReadVolume() {
  std::uint32_t serial = 0;
  std::uint16_t shortSerial = 0;
  const int status = ReadSystemVolumeSerial(serial, shortSerial);
  if (status != 0) return Unavailable("volume query failed (" + std::to_string(status) + ")");
  if (serial == 0) return Unavailable("no volume serial");
  return Available(fingerprint::VolumeText(serial));
}

ComponentValue ReadNics() {
  std::vector<platform::NetInterfaceFacts> interfaces;
  const DWORD status = platform::Current().ListNetInterfaces(&interfaces);
  if (status != 0) return Unavailable("interface listing failed (" + std::to_string(status) + ")");
  return fingerprint::NicsFromInterfaces(interfaces);
}

}  // namespace

const char* ComponentName(ComponentId id) {
  static const char* const kNames[kComponentCount] = {"cpu", "volume", "os-install", "board",
                                                      "nics"};
  return kNames[static_cast<int>(id)];
}

MachineComponents CollectComponents() {
  MachineComponents machine;
  const bool hasCpuid = platform::Current().EflagsIdToggles() != 0;
  machine[ComponentId::Cpu] = Unavailable("no CPUID");
  if (hasCpuid) machine[ComponentId::Cpu] = ReadCpu();
  machine[ComponentId::Volume] = ReadVolume();
  machine[ComponentId::OsInstall] = fingerprint::ReadOsInstall();
  machine[ComponentId::Board] = fingerprint::ReadBoard();
  machine[ComponentId::Nics] = ReadNics();
  machine.hypervisorPresent = hasCpuid && (Leaf(1).regs[2] >> 31) != 0;
  if (machine.hypervisorPresent) {
    machine.hypervisorVendor = fingerprint::HypervisorVendor(Leaf(0x40000000u).regs);
  }
  return machine;
}

}  // namespace vrel
