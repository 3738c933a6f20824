#include "vrel/cpu/vendor.h"

#include <cstring>

#include "vrel/cpu/cpuid.h"

namespace vrel {

void StoreRegisterChars(char* out, std::initializer_list<std::uint32_t> regs) {
  for (const std::uint32_t reg : regs) {
    for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<char>((reg >> shift) & 0xFF);
  }
}

std::string TextWithoutNuls(const char* chars, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    if (chars[i] != '\0') text += chars[i];
  }
  return text;
}

void ReadVendorString(char out[13]) {
  std::uint32_t ebx = 0, edx = 0, ecx = 0;
  GetVendorRegisters(ebx, edx, ecx);
  StoreRegisterChars(out, {ebx, edx, ecx});
  out[12] = '\0';
}

std::string ReadHypervisorVendor() {
  std::uint32_t regs[4] = {};
  CpuidLeaf(regs, 0x40000000u);
  char chars[12];
  StoreRegisterChars(chars, {regs[1], regs[2], regs[3]});
  return TextWithoutNuls(chars, sizeof chars);
}

CpuVendor ClassifyVendor(const char vendor[13]) {
  if (std::memcmp(vendor, "AuthenticAMD", 13) == 0) return CpuVendor::kAmd;
  if (std::memcmp(vendor, "GenuineIntel", 13) == 0) return CpuVendor::kIntel;
  return CpuVendor::kOther;
}

}  // namespace vrel
