// Processor clock estimate: time-stamp counter ticks over one second of Sleep.
#include "vrel/cpu/cpu_naming.h"
#include "vrel/platform/platform.h"

namespace vrel {

std::int64_t MeasureCpuClockMHz() {
  const platform::Api& api = platform::Current();
  const std::uint64_t t0 = api.Rdtsc();
  api.Sleep(1000);
  const std::uint64_t t1 = api.Rdtsc();
  // The difference as signed 64 bits: a counter that went backwards gives a
  // negative estimate; division truncates toward zero.
  return static_cast<std::int64_t>(t1 - t0) / 1000000;
}

}  // namespace vrel
