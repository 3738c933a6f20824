// A simulated fleet: machines made of random component digests, and the tokens they send a
// registry, in order. Plain machines (some without a board, some with fewer than two strong
// components), copies of one unprepared image on distinct hardware (five apiece), groups sharing a
// firmware template (ten apiece); then changes to random machines (unchanged, card swapped, card
// added, reinstall, mainboard swapped, processor upgraded). Deterministic for a generator's seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "vrel/fingerprint/token.h"

namespace vrel::fleet {

constexpr std::uint64_t kFleetSeed = 20240501;  // the tests', the benchmark's and the samples'

struct Fleet {
  std::vector<Fingerprint> machines;                        // each machine's current state
  std::vector<std::pair<std::size_t, Fingerprint>> tokens;  // (true machine, token)
};

// `machines` first sights, in machine order, then `changes` changed machines.
Fleet MakeFleet(std::mt19937_64& rng, std::size_t machines, std::size_t changes);

// A machine with every component a fresh random digest.
Fingerprint RandomMachine(std::mt19937_64& rng);

}  // namespace vrel::fleet
