// vrel-sample-tokens COUNT [SEED]: tokens of a simulated fleet (fleet_generator.h) in the order its
// machines would send them, for `vrel-registry enroll`. The same seed prints the same tokens.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fleet_generator.h"

namespace {

constexpr char kUsage[] =
    "usage: vrel-sample-tokens COUNT [SEED]\n"
    "Prints COUNT tokens of a simulated fleet, one a line: first sights of its machines, then\n"
    "changed machines. The same SEED (default 20240501) prints the same tokens.\n";

// A whole decimal number, or false.
bool Number(const char* text, unsigned long long& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return *text >= '0' && *text <= '9' && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  unsigned long long count = 0, seed = vrel::fleet::kFleetSeed;
  if (argc < 2 || argc > 3 || !Number(argv[1], count) || (argc == 3 && !Number(argv[2], seed))) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // m machines send m + m/2 tokens; the fewest that send COUNT are 2 COUNT / 3 rounded up.
  const auto machines = static_cast<std::size_t>(count - count / 3);
  std::mt19937_64 rng(seed);
  const vrel::fleet::Fleet fleet = vrel::fleet::MakeFleet(rng, machines, machines / 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string token = vrel::FormatToken(fleet.tokens[i].second);
    std::printf("%s\n", token.c_str());
  }
  return std::ferror(stdout) || std::fflush(stdout) != 0 ? 1 : 0;
}
