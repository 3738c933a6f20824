// Arms the allocation hooks from the environment, for a whole program:
// VREL_FAIL_ALLOCATION=n makes its n-th allocation fail. At exit it writes
// "vrel-alloc: not reached" to standard error when the program made fewer
// than n allocations.
#include <cstdio>
#include <cstdlib>

#include "alloc_hooks.h"

namespace {

struct ArmFromEnvironment {
  ArmFromEnvironment() {
    const char* n = std::getenv("VREL_FAIL_ALLOCATION");
    if (n == nullptr) return;
    vrel::test::alloc::Arm(std::atoll(n));
    std::atexit([] {
      if (!vrel::test::alloc::Disarm()) std::fputs("vrel-alloc: not reached\n", stderr);
    });
  }
} arm;

}  // namespace
