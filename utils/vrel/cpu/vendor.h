// The vendor string of CPUID leaf 0 and the two vendors the library tells apart.
#pragma once

namespace vrel {

enum class CpuVendor { kIntel, kAmd, kOther };

// Writes the 12 vendor characters of leaf 0 (EBX, EDX, ECX, each lowest byte
// first) and a NUL into out[0..12]; nothing else is touched.
void ReadVendorString(char out[13]);

// Compares 13 bytes (12 characters and the NUL) with "AuthenticAMD", then
// with "GenuineIntel".
CpuVendor ClassifyVendor(const char vendor[13]);

}  // namespace vrel
