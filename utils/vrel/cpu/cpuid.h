// CPUID access: presence of the instruction, the vendor string and the
// signature fields of leaf 1. Every call asks the processor again; nothing is
// cached. None of these test for CPUID first: call CpuidSupported before.
#pragma once

#include <cstdint>

namespace vrel {

// Result of CpuInfo::GetSignatureFields and CpuInfo::GetName for a vendor
// other than "GenuineIntel" and "AuthenticAMD".
constexpr int kUnknownCpuVendor = -10;

// The vendor identification string of CPUID leaf 0.
struct CpuInfo {
  // 12 characters (EBX, EDX, ECX, lowest byte first) and a NUL at index 12.
  // Whoever creates a CpuInfo zero-fills it; Init writes characters 0-12 only.
  char vendor[15];

  // Reads the vendor string from leaf 0 into vendor[0..12]. Returns 0.
  int Init();

  // Cuts type, stepping, model and family (each 0-15) out of leaf 1 EAX,
  // choosing the fields by vendor: all four for "GenuineIntel", all but type
  // for "AuthenticAMD" (type stays 0). Returns 0, or kUnknownCpuVendor with
  // all four 0 for any other vendor. The comparisons cover 13 bytes, so the
  // vendor must be exactly one of the two strings and its NUL.
  int GetSignatureFields(int& type, int& stepping, int& model, int& family) const;

  // Describes and names the processor (see cpu/cpu_naming.h).
  int GetName(int type, int stepping, int model, int family, char* description,
              char* name) const;
};

// 1 when the processor has the CPUID instruction (the EFLAGS ID flag can be
// changed), 0 when it has not.
int CpuidSupported();

// Executes CPUID for `leaf`; regs receives EAX, EBX, ECX, EDX in that order.
// Only leaves without sub-leaves give defined results.
void CpuidLeaf(std::uint32_t regs[4], std::uint32_t leaf);

// 1 when leaf 0x80000000 reports extended leaves beyond it (EAX strictly
// above 0x80000000), else 0.
int ExtendedCpuidSupported();

// The three vendor registers of leaf 0, in reading order of the vendor
// string. Returns 0.
int GetVendorRegisters(std::uint32_t& ebx, std::uint32_t& edx, std::uint32_t& ecx);

// Leaf 1 EAX cut into type (bits 12-15), stepping (0-3), model (4-7) and
// family (8-11). Extended model and family are never read. Returns 0.
int GetIntelSignatureFields(int& type, int& stepping, int& model, int& family);

// As GetIntelSignatureFields, without the type. Returns 0.
int GetAmdSignatureFields(int& stepping, int& model, int& family);

}  // namespace vrel
