// CPU naming: a description listing the signature fields, a short processor
// name, the cache size of CPUID leaf 2, a vendor label and a clock estimate.
// Every CPUID, time-stamp counter and Sleep call goes through the platform
// seam. None of these test for CPUID first: call CpuidSupported before.
//
// The namers take no buffer size: callers pass buffers of at least the sizes
// below. Formatting is bounded, so whatever the ints passed in (negative,
// INT_MIN, INT_MAX), nothing is written past those sizes. An int prints in at
// most 11 characters ("-2147483648").
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrel/cpu/cpuid.h"

namespace vrel {

// Room for any description with its NUL. The longest is Intel's
// "Model:%i,Family:%i,Stepping:%i,Cache:%i": 31 fixed characters, three ints
// of 11 and a cache size of at most 4 digits, 68 characters. (With fields in
// 0-15 it is at most 41.)
inline constexpr std::size_t kCpuDescriptionSize = 69;

// Room for any name with its NUL. The longest is an Intel name that falls
// back to the description (68) and gets the "/4096KB" suffix (7), 75
// characters. (With fields in 0-15 it is at most 48.)
inline constexpr std::size_t kCpuNameSize = 76;

// Room for the vendor label with its NUL: "UNKNOWN" is the longest.
inline constexpr std::size_t kVendorLabelSize = 8;

// Names the processor of `vendor` (CpuInfo in cpuid.h, declared there):
// NameAmdCpu for "AuthenticAMD" (the type is not passed on), NameIntelCpu for
// "GenuineIntel" (13-byte comparisons), returning the namer's result (0).
// For any other vendor it returns kUnknownCpuVendor and touches neither
// buffer.
//   int CpuInfo::GetName(int type, int stepping, int model, int family,
//                        char* description, char* name) const;

// Writes the description "Model:%i,Family:%i,Stepping:%i,Cache:%i" (the
// cache size of leaf 2, or 0 when it is -1) into description
// (kCpuDescriptionSize) and the name into name (kCpuNameSize). The name comes
// from a decision table keyed by type << 8 | family << 4 | (model & 0xF) and
// the cache class (none: 0 KB; small: unlisted or below 1024 KB; large: 1024
// KB and up); a key outside the table gets the description as its name. Type
// 0, family 15, models 0-3 are named "IntelXeon" (large cache) or "P4". A
// positive cache size appends "/<size>KB" to the name. Executes CPUID leaf 2
// once, without checking that the processor has it. Returns 0.
int NameIntelCpu(int type, int stepping, int model, int family, char* description, char* name);

// Writes the description "Model:%i,Family:%i,Stepping:%i" into description
// (kCpuDescriptionSize) and the name into name (kCpuNameSize): "Duron" for
// model 3, "Athlon" for model 6, "Model:%i" otherwise. Reads no CPUID.
// Returns 0.
int NameAmdCpu(int stepping, int model, int family, char* description, char* name);

// Executes CPUID leaf 2 once and stores its four registers; sizeKB receives
// CacheDescriptorSizeKB of EDX (its lowest descriptor byte only; the
// iteration count, validity bits and other bytes are not consulted). All
// five outputs are zeroed first. Returns -1, always; callers ignore it.
int GetCacheDescriptors(std::uint32_t& eax, std::uint32_t& ebx, std::uint32_t& ecx,
                        std::uint32_t& edx, int& sizeKB);

// The cache size in KB of the descriptor in the low 8 bits of `descriptor`
// (higher bits are ignored): 0 for 0x40 (no such cache), 128 to 4096 for the
// listed descriptors, -1 for any other byte.
int CacheDescriptorSizeKB(int descriptor);

// Writes "INTEL", "AMD" or "UNKNOWN" into label (kVendorLabelSize) from the
// vendor string of CPUID leaf 0, compared over 13 bytes. Returns 0.
int GetVendorShortName(char* label);

// Estimates the processor clock in MHz: reads the time-stamp counter, sleeps
// 1000 ms, reads it again and returns the difference divided by 1000000
// (signed 64-bit, truncating toward zero). Blocks for about a second; does not
// test that the counter exists and neither serialises nor pins the thread.
std::int64_t MeasureCpuClockMHz();

}  // namespace vrel
