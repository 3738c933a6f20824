// A scripted machine behind the platform seam: CPUID leaves, environment,
// volume, version, sleep and time-stamp counter. While a FakeMachine is alive
// the library sees it instead of the real platform; the COM entries stay real
// unless a test replaces them in `api`.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "vrel/platform/platform.h"

namespace vrel::test {

using CpuidRegs = std::array<std::uint32_t, 4>;  // EAX, EBX, ECX, EDX
// CPUID leaves by number; a leaf not listed reads as zeros.
using CpuidTable = std::map<std::uint32_t, CpuidRegs>;

// Leaf 0 registers for a 12-character vendor string.
CpuidRegs VendorLeaf(const char vendor[12], std::uint32_t maxLeaf = 2);

class FakeMachine {
 public:
  FakeMachine();
  ~FakeMachine();
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;
  static FakeMachine& Current();

  bool hasCpuid = true;
  CpuidTable cpuid;
  std::vector<std::uint64_t> tscReadings;  // returned in turn; the last repeats
  int tscReads = 0;
  std::map<std::string, std::string> environment{{"SYSTEMROOT", "C:\\WINDOWS"}};
  std::optional<DWORD> volumeSerial = 0x1C2D3E4Fu;  // of C:\ alone; nullopt: C:\ fails too
  DWORD version = 10;
  std::vector<DWORD> sleeps;
  DWORD lastError = 0;
  platform::Api api;  // the table installed; tests may replace entries

 private:
  const platform::Api* previous_;
};

// True when the test runs under Wine rather than Windows (natively: false): for the
// platform facts in which the two differ.
bool UnderWine();

}  // namespace vrel::test
