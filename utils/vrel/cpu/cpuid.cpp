#include "vrel/cpu/cpuid.h"

#include <cstring>

#include "vrel/cpu/vendor.h"
#include "vrel/platform/platform.h"

namespace vrel {
namespace {

std::uint32_t Leaf1Eax() {
  std::uint32_t regs[4] = {};
  CpuidLeaf(regs, 1);
  return regs[0];
}

}  // namespace

int CpuidSupported() { return platform::Current().EflagsIdToggles() != 0 ? 1 : 0; }

void CpuidLeaf(std::uint32_t regs[4], std::uint32_t leaf) { platform::Current().Cpuid(leaf, regs); }

int ExtendedCpuidSupported() {
  std::uint32_t regs[4] = {};
  CpuidLeaf(regs, 0x80000000u);
  return regs[0] > 0x80000000u ? 1 : 0;
}

int GetVendorRegisters(std::uint32_t& ebx, std::uint32_t& edx, std::uint32_t& ecx) {
  std::uint32_t regs[4] = {};
  CpuidLeaf(regs, 0);
  ebx = regs[1];
  edx = regs[3];
  ecx = regs[2];
  return 0;
}

int GetIntelSignatureFields(int& type, int& stepping, int& model, int& family) {
  const std::uint32_t eax = Leaf1Eax();
  stepping = static_cast<int>(eax & 0xF);
  model = static_cast<int>((eax >> 4) & 0xF);
  family = static_cast<int>((eax >> 8) & 0xF);
  type = static_cast<int>((eax >> 12) & 0xF);
  return 0;
}

int GetAmdSignatureFields(int& stepping, int& model, int& family) {
  int type = 0;
  return GetIntelSignatureFields(type, stepping, model, family);
}

int CpuInfo::Init() {
  ReadVendorString(vendor);
  return 0;
}

int CpuInfo::GetSignatureFields(int& type, int& stepping, int& model, int& family) const {
  type = stepping = model = family = 0;
  switch (ClassifyVendor(vendor)) {
    case CpuVendor::kAmd:
      return GetAmdSignatureFields(stepping, model, family);
    case CpuVendor::kIntel:
      return GetIntelSignatureFields(type, stepping, model, family);
    case CpuVendor::kOther:
      break;
  }
  return kUnknownCpuVendor;
}

}  // namespace vrel
