// Direct access to the processor's identification instructions. Only the
// platform tables call these; the library reaches them through Current().
#pragma once

#include <cstdint>

namespace vrel::platform {

// Same as the CPUID instruction with EAX = leaf and ECX = 0.
void ExecuteCpuid(std::uint32_t leaf, std::uint32_t regs[4]);
// Inverts the EFLAGS ID flag (bit 21), reads EFLAGS back and restores it;
// 1 when the bit changed (CPUID exists), 0 when it did not or on a processor
// that is not x86.
int ToggleEflagsId();
// Same as RDTSC; 0 on a processor that is not x86.
std::uint64_t ReadTsc();

}  // namespace vrel::platform
