// Vendor dispatch: CpuInfo::GetName picks the namer, GetVendorShortName the
// label, both by the 13-byte vendor comparisons.
#include "vrel/cpu/cpu_naming.h"
#include "vrel/cpu/naming_text.h"
#include "vrel/cpu/vendor.h"

namespace vrel {

int CpuInfo::GetName(int type, int stepping, int model, int family, char* description,
                     char* name) const {
  switch (ClassifyVendor(vendor)) {
    case CpuVendor::kAmd:
      return NameAmdCpu(stepping, model, family, description, name);
    case CpuVendor::kIntel:
      return NameIntelCpu(type, stepping, model, family, description, name);
    case CpuVendor::kOther:
      break;
  }
  return kUnknownCpuVendor;
}

int GetVendorShortName(char* label) {
  char vendor[13];
  ReadVendorString(vendor);
  const char* text = "UNKNOWN";
  switch (ClassifyVendor(vendor)) {
    case CpuVendor::kIntel:
      text = "INTEL";
      break;
    case CpuVendor::kAmd:
      text = "AMD";
      break;
    case CpuVendor::kOther:
      break;
  }
  naming::CopyBounded(label, kVendorLabelSize, text);
  return 0;
}

}  // namespace vrel
