#include "vrel/cpu/vendor.h"

#include <cstdint>
#include <cstring>

#include "vrel/platform/platform.h"

namespace vrel {
namespace {

void StoreLittleEndian(std::uint32_t word, char* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((word >> (8 * i)) & 0xFF);
}

}  // namespace

void ReadVendorString(char out[13]) {
  std::uint32_t regs[4] = {};
  platform::Current().Cpuid(0, regs);
  StoreLittleEndian(regs[1], out);      // EBX
  StoreLittleEndian(regs[3], out + 4);  // EDX
  StoreLittleEndian(regs[2], out + 8);  // ECX
  out[12] = '\0';
}

CpuVendor ClassifyVendor(const char vendor[13]) {
  if (std::memcmp(vendor, "AuthenticAMD", 13) == 0) return CpuVendor::kAmd;
  if (std::memcmp(vendor, "GenuineIntel", 13) == 0) return CpuVendor::kIntel;
  return CpuVendor::kOther;
}

}  // namespace vrel
