// Processor report: vendor label, signature fields, description, name and
// clock estimate, as vrel reads them from CPUID and the time-stamp counter.
#include <cinttypes>
#include <cstdio>

#include "vrel/vrel.h"

int main() {
  if (vrel::CpuidSupported() == 0) {
    std::printf("this processor has no CPUID instruction\n");
    return 0;
  }
  char label[vrel::kVendorLabelSize];
  vrel::GetVendorShortName(label);

  vrel::CpuInfo info{};  // zero-filled, as the CpuInfo contract asks
  info.Init();
  int type = 0, stepping = 0, model = 0, family = 0;
  info.GetSignatureFields(type, stepping, model, family);

  char description[vrel::kCpuDescriptionSize] = "";
  char name[vrel::kCpuNameSize] = "";
  const int named = info.GetName(type, stepping, model, family, description, name);

  std::printf("vendor:      %s (%s)\n", label, info.vendor);
  std::printf("signature:   type %d, family %d, model %d, stepping %d\n", type, family, model,
              stepping);
  if (named == vrel::kUnknownCpuVendor) {
    std::printf("name:        (no naming table for this vendor)\n");
  } else {
    std::printf("description: %s\n", description);
    std::printf("name:        %s\n", name);
  }
  std::printf("clock:       %" PRId64 " MHz (estimated over one second)\n", vrel::MeasureCpuClockMHz());
  return 0;
}
