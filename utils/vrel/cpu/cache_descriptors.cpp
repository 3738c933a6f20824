// The cache size that CPUID leaf 2 reports through its lowest EDX descriptor.
#include "vrel/cpu/cpu_naming.h"

namespace vrel {
namespace {

struct DescriptorSize {
  unsigned char descriptor;
  int sizeKB;
};

// Second- and third-level cache descriptors; 0x40 means "no such cache".
constexpr DescriptorSize kDescriptorSizes[] = {
    {0x40, 0},
    {0x41, 128},  {0x79, 128},
    {0x42, 256},  {0x7A, 256},  {0x82, 256},
    {0x22, 512},  {0x43, 512},  {0x7B, 512},  {0x83, 512},
    {0x23, 1024}, {0x44, 1024}, {0x7C, 1024}, {0x84, 1024},
    {0x25, 2048}, {0x45, 2048}, {0x85, 2048},
    {0x29, 4096},
};

}  // namespace

int CacheDescriptorSizeKB(int descriptor) {
  const unsigned lowByte = static_cast<unsigned>(descriptor) & 0xFFu;
  for (const DescriptorSize& entry : kDescriptorSizes) {
    if (entry.descriptor == lowByte) return entry.sizeKB;
  }
  return -1;
}

int GetCacheDescriptors(std::uint32_t& eax, std::uint32_t& ebx, std::uint32_t& ecx,
                        std::uint32_t& edx, int& sizeKB) {
  eax = ebx = ecx = edx = 0;
  sizeKB = 0;
  std::uint32_t regs[4] = {};
  CpuidLeaf(regs, 2);
  eax = regs[0];
  ebx = regs[1];
  ecx = regs[2];
  edx = regs[3];
  // Only the lowest descriptor byte of EDX is decoded.
  sizeKB = CacheDescriptorSizeKB(static_cast<int>(edx & 0xFFu));
  return -1;
}

}  // namespace vrel
