#include "vrel/platform/processor.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#define VREL_X86 1
#endif

namespace vrel::platform {

void ExecuteCpuid(std::uint32_t leaf, std::uint32_t regs[4]) {
#ifdef VREL_X86
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(leaf, 0, a, b, c, d);
  regs[0] = a;
  regs[1] = b;
  regs[2] = c;
  regs[3] = d;
#else
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
  (void)leaf;
#endif
}

int ToggleEflagsId() {
#if defined(__x86_64__)
  unsigned long long before = 0, after = 0;
  __asm__ volatile(
      "pushfq\n\t"
      "popq %0\n\t"
      "movq %0, %1\n\t"
      "xorq $0x200000, %1\n\t"
      "pushq %1\n\t"
      "popfq\n\t"
      "pushfq\n\t"
      "popq %1\n\t"
      "pushq %0\n\t"
      "popfq\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0 ? 1 : 0;
#elif defined(__i386__)
  unsigned long before = 0, after = 0;
  __asm__ volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0 ? 1 : 0;
#else
  return 0;
#endif
}

std::uint64_t ReadTsc() {
#ifdef VREL_X86
  return __rdtsc();
#else
  return 0;
#endif
}

}  // namespace vrel::platform
