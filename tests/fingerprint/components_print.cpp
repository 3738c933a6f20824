// Prints this machine's components, one per line, for the end-to-end script.
#include <cstdio>

#include "vrel/fingerprint/components.h"

int main() {
  const vrel::MachineComponents machine = vrel::CollectComponents();
  for (int i = 0; i < vrel::kComponentCount; ++i) {
    const auto id = static_cast<vrel::ComponentId>(i);
    const vrel::ComponentValue& value = machine[id];
    std::printf("%s:", vrel::ComponentName(id));
    if (!value.available) std::printf(" unavailable (%s)", value.reason.c_str());
    for (const std::string& text : value.values) std::printf(" %s", text.c_str());
    std::printf("\n");
  }
  std::printf("hypervisor: %s %s\n", machine.hypervisorPresent ? "yes" : "no",
              machine.hypervisorVendor.c_str());
  return 0;
}
