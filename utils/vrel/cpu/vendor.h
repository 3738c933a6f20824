// The text CPUID spells across registers, the vendor strings among it, and the
// two vendors the library tells apart. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace vrel {

enum class CpuVendor { kIntel, kAmd, kOther };

// Writes the characters of `regs`, in the order given, to out: four a
// register, the lowest byte first, NULs included.
void StoreRegisterChars(char* out, std::initializer_list<std::uint32_t> regs);

// `size` characters as text, their NULs left out.
std::string TextWithoutNuls(const char* chars, std::size_t size);

// Writes the 12 vendor characters of leaf 0 (EBX, EDX, ECX) and a NUL into
// out[0..12]; nothing else is touched.
void ReadVendorString(char out[13]);

// The hypervisor's vendor of leaf 0x40000000 (EBX, ECX, EDX), NULs left out.
// Meaningful only where leaf 1 reports a hypervisor.
std::string ReadHypervisorVendor();

// Compares 13 bytes (12 characters and the NUL) with "AuthenticAMD", then
// with "GenuineIntel".
CpuVendor ClassifyVendor(const char vendor[13]);

}  // namespace vrel
