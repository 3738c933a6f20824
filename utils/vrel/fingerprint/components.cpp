#include "vrel/fingerprint/components.h"

#include <cstdint>
#include <vector>

#include "vrel/cpu/cpuid.h"
#include "vrel/cpu/vendor.h"
#include "vrel/fingerprint/component_text.h"
#include "vrel/fingerprint/sources.h"
#include "vrel/identity/identity_steps.h"
#include "vrel/platform/platform.h"

namespace vrel {
namespace {

using fingerprint::Available;
using fingerprint::Unavailable;

ComponentValue ReadCpu() {
  char vendor[13];
  ReadVendorString(vendor);
  std::uint32_t leaf1[4], extended[4];
  CpuidLeaf(leaf1, 1);
  CpuidLeaf(extended, 0x80000000u);
  // Processors without extended leaves answer 0x80000000 with a basic leaf.
  const bool hasBrand = extended[0] >= 0x80000004u && extended[0] <= 0x8000FFFFu;
  char brand[48] = {};
  for (std::uint32_t i = 0; hasBrand && i < 3; ++i) {
    std::uint32_t regs[4];
    CpuidLeaf(regs, 0x80000002u + i);
    StoreRegisterChars(brand + 16 * i, {regs[0], regs[1], regs[2], regs[3]});
  }
  return Available(fingerprint::CpuText(vendor, leaf1[0], hasBrand ? brand : nullptr));
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

RunEnvironment ReadRunEnvironment() {
  RunEnvironment environment;
  environment.container = fingerprint::ReadContainer();
  const platform::Api& os = platform::Current();
  BOOL flag = FALSE;
  if (os.ProcessIsElevated(&flag)) environment.elevated = flag ? 1 : 0;
  environment.processBits = static_cast<int>(sizeof(void*) * 8);
  flag = FALSE;
  environment.wow64 = os.CurrentProcessIsWow64(&flag) && flag;
  return environment;
}

}  // namespace

MachineComponents CollectComponents() {
  MachineComponents machine;
  const bool hasCpuid = CpuidSupported() != 0;
  machine[ComponentId::Cpu] = Unavailable("no CPUID");
  if (hasCpuid) machine[ComponentId::Cpu] = ReadCpu();
  machine[ComponentId::Volume] = ReadVolume();
  machine[ComponentId::OsInstall] = fingerprint::ReadOsInstall();
  machine[ComponentId::Board] = fingerprint::ReadBoard();
  machine[ComponentId::Nics] = ReadNics();
  if (hasCpuid) {
    std::uint32_t leaf1[4];
    CpuidLeaf(leaf1, 1);
    machine.hypervisorPresent = (leaf1[2] >> 31) != 0;
  }
  if (machine.hypervisorPresent) machine.hypervisorVendor = ReadHypervisorVendor();
  machine.environment = ReadRunEnvironment();
  return machine;
}

}  // namespace vrel
