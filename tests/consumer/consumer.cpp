// A program outside the vrel tree that links vrel::vrel and uses it.
#include <cstdio>

#include "vrel/vrel.h"

int main() {
  vrel::MachineInfo collector;
  vrel::MachineIds ids;
  const int missing = collector.GetIds(ids);
  std::printf("vrel consumer: signature %x, %d card(s), missing bits %d\n",
              static_cast<unsigned>(ids.cpuSignature), collector.GetCardCount(), missing);
  return 0;
}
