#include "fleet_generator.h"

#include <algorithm>

namespace vrel::fleet {
namespace {

ComponentDigest Random(std::mt19937_64& rng) {
  std::uint64_t value = rng();
  ComponentDigest digest{};
  for (std::size_t i = digest.size(); i-- > 0; value >>= 8)
    digest[i] = static_cast<unsigned char>(value);
  return digest;
}

void Set(Fingerprint& fp, ComponentId id, std::vector<ComponentDigest> digests) {
  auto& c = fp.components[static_cast<int>(id)];
  std::sort(digests.begin(), digests.end());
  c.available = !digests.empty();
  c.digests = std::move(digests);
}

bool Chance(std::mt19937_64& rng, double p) {
  return std::uniform_real_distribution<>(0, 1)(rng) < p;
}

// Changes machine `fp` in one of six ways.
void Change(std::mt19937_64& rng, Fingerprint& fp) {
  auto& nics = fp.components[static_cast<int>(ComponentId::Nics)].digests;
  switch (rng() % 6) {
    case 0:
      break;  // unchanged
    case 1:   // card swapped
      if (!nics.empty()) nics.back() = Random(rng);
      Set(fp, ComponentId::Nics, nics);
      break;
    case 2:  // card added
      nics.push_back(Random(rng));
      Set(fp, ComponentId::Nics, nics);
      break;
    case 3:  // reinstall: new install id and volume serial
      Set(fp, ComponentId::OsInstall, {Random(rng)});
      Set(fp, ComponentId::Volume, {Random(rng)});
      break;
    case 4:  // mainboard swapped
      Set(fp, ComponentId::Board, {Random(rng)});
      break;
    default:  // processor upgraded
      Set(fp, ComponentId::Cpu, {Random(rng)});
      break;
  }
}

}  // namespace

Fleet MakeFleet(std::mt19937_64& rng, std::size_t count, std::size_t changes) {
  Fleet fleet;
  std::vector<ComponentDigest> cpus(20);
  for (auto& c : cpus) c = Random(rng);
  ComponentDigest image = Random(rng), firmware = Random(rng);
  for (std::size_t i = 0; i < count; ++i) {
    Fingerprint fp;
    Set(fp, ComponentId::Cpu, {cpus[rng() % cpus.size()]});
    Set(fp, ComponentId::Volume, {Random(rng)});
    const double kind = std::uniform_real_distribution<>(0, 1)(rng);
    if (kind < 0.03) {  // fewer than two strong components
      fleet.machines.push_back(fp);
      continue;
    }
    if (kind < 0.08) {  // an unprepared image, five copies apiece
      if (i % 5 == 0) image = Random(rng);
      Set(fp, ComponentId::OsInstall, {image});
    } else {
      Set(fp, ComponentId::OsInstall, {Random(rng)});
    }
    if (kind >= 0.08 && kind < 0.13) {  // a firmware template the placeholder list lacks
      if (i % 10 == 0) firmware = Random(rng);
      Set(fp, ComponentId::Board, {firmware});
    } else if (!Chance(rng, 0.1)) {
      Set(fp, ComponentId::Board, {Random(rng)});
    }
    std::vector<ComponentDigest> nics{Random(rng)};
    if (Chance(rng, 0.3)) nics.push_back(Random(rng));
    Set(fp, ComponentId::Nics, nics);
    fleet.machines.push_back(fp);
  }
  for (std::size_t i = 0; i < count; ++i) fleet.tokens.emplace_back(i, fleet.machines[i]);
  for (std::size_t n = 0; n < changes; ++n) {
    const std::size_t i = rng() % count;
    Change(rng, fleet.machines[i]);
    fleet.tokens.emplace_back(i, fleet.machines[i]);
  }
  return fleet;
}

Fingerprint RandomMachine(std::mt19937_64& rng) {
  Fingerprint fp;
  for (int c = 0; c < kComponentCount; ++c) Set(fp, static_cast<ComponentId>(c), {Random(rng)});
  return fp;
}

}  // namespace vrel::fleet
