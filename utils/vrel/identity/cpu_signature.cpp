#include "vrel/cpu/cpuid.h"
#include "vrel/identity/identity_steps.h"
#include "vrel/identity/machine_info.h"

namespace vrel {

std::uint32_t PackCpuSignature(char vendorFirst, int type, int stepping, int model, int family) {
  const auto vendor = static_cast<std::uint32_t>(static_cast<std::int32_t>(
      static_cast<signed char>(vendorFirst)));
  const auto nibble = [](int v) { return static_cast<std::uint32_t>(v) & 0xFu; };
  return (vendor << 16) | (((nibble(family) << 4) | nibble(model)) << 8) |
         ((nibble(stepping) << 4) | nibble(type));
}

std::uint32_t ReadCpuSignature() {
  CpuInfo info{};
  info.Init();
  int type = 0, stepping = 0, model = 0, family = 0;
  info.GetSignatureFields(type, stepping, model, family);
  return PackCpuSignature(info.vendor[0], type, stepping, model, family);
}

int GetCpuSignature(std::uint32_t& signature) {
  signature = 0;
  if (CpuidSupported() == 0) return -1;
  signature = ReadCpuSignature();
  return 0;
}

}  // namespace vrel
