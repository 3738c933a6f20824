// The rule over the fleet, on top of the storage seam and MatchFingerprints:
// the pair comparison stays MatchFingerprints', run on copies of the two
// fingerprints with their shared digests taken out.
#include "vrel/registry/registry.h"

#include <algorithm>
#include <map>

#include "vrel/fingerprint/component_table.h"

namespace vrel::registry {
namespace {

// Whether a key is shared, asked of the storage once per key and identify.
class SharedState {
 public:
  SharedState(Storage& storage, std::size_t sharedAt) : storage_(storage), sharedAt_(sharedAt) {}

  // Records what a batch read of the keys' holders found.
  void Record(const std::vector<DigestKey>& keys,
              const std::vector<std::vector<MachineId>>& holders) {
    for (std::size_t i = 0; i < keys.size(); ++i) known_[keys[i]] = holders[i].size() >= sharedAt_;
  }
  // Learns the keys' holders (at most sharedAt each) in one batch; returns them.
  std::vector<std::vector<MachineId>> Learn(const std::vector<DigestKey>& keys) {
    std::vector<DigestKey> unknown;
    for (const DigestKey& key : keys) {
      if (known_.count(key) == 0) unknown.push_back(key);
    }
    const auto holders = storage_.Holders(unknown, sharedAt_);
    for (std::size_t i = 0; i < unknown.size(); ++i)
      known_[unknown[i]] = holders[i].size() >= sharedAt_;
    return holders;
  }
  bool Shared(ComponentId id, const ComponentDigest& digest) const {
    const auto found = known_.find({id, DigestValue(digest)});
    return found != known_.end() && found->second;
  }
  bool AnyShared(ComponentId id, const ComponentDigests& component) const {
    return std::any_of(component.digests.begin(), component.digests.end(),
                       [&](const ComponentDigest& d) { return Shared(id, d); });
  }

 private:
  Storage& storage_;
  std::size_t sharedAt_;
  std::map<DigestKey, bool> known_;
};

// Both sides of a pair with what is shared taken out, as MatchFingerprints reads them.
void Unshare(const SharedState& shared, Fingerprint& a, Fingerprint& b) {
  for (int i = 0; i < kComponentCount; ++i) {
    const auto id = static_cast<ComponentId>(i);
    if (!IsStrongComponent(id)) continue;
    ComponentDigests& x = a.components[i];
    ComponentDigests& y = b.components[i];
    bool unavailable;
    if (id == ComponentId::Nics) {
      const auto drop = [&](ComponentDigests& c) {
        c.digests.erase(
            std::remove_if(c.digests.begin(), c.digests.end(),
                           [&](const ComponentDigest& d) { return shared.Shared(id, d); }),
            c.digests.end());
        return c.available && c.digests.empty();
      };
      const bool emptiedA = drop(x);
      const bool emptiedB = drop(y);
      unavailable = emptiedA || emptiedB;
    } else {
      unavailable = shared.AnyShared(id, x) || shared.AnyShared(id, y);
    }
    if (unavailable) x = y = ComponentDigests{};
  }
}

}  // namespace

Verdict Registry::Identify(const Fingerprint& token) { return Decide(token, false); }

// Where writers run concurrently, a writer claims each digest key before it
// reads its holders, and each candidate with its keys before it reads those,
// so that what it read holds until it commits: no other writer can change or
// remove a candidate, or index one of these keys, meanwhile.
void Registry::Claim(const std::vector<DigestKey>& keys, const std::vector<MachineId>& machines) {
  if (storage_.capabilities().concurrentWriters) storage_.Claim(keys, machines);
}

Verdict Registry::Decide(const Fingerprint& token, bool write) {
  Verdict verdict;
  SharedState shared(storage_, options_.sharedAt);
  const std::vector<DigestKey> keys = StrongKeys(token);
  if (write) Claim(keys, {});
  // Enough holders of each key to tell it shared and to list cloneOf.
  const std::size_t limit = std::max(options_.sharedAt, kMaxListed + 1);
  const Gathered found = storage_.Gather(keys, limit, options_.sharedAt);
  shared.Record(keys, found.holders);
  std::vector<MachineId> installHolders;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].component == ComponentId::OsInstall) installHolders = found.holders[i];
  }
  const std::vector<StoredMachine>& machines = found.machines;

  std::vector<DigestKey> theirKeys;
  std::vector<MachineId> candidates;
  for (const StoredMachine& machine : machines) {
    const auto more = StrongKeys(machine.latest);
    theirKeys.insert(theirKeys.end(), more.begin(), more.end());
    candidates.push_back(machine.id);
  }
  if (write) Claim(theirKeys, candidates);
  shared.Learn(theirKeys);

  struct Same {
    const StoredMachine* machine;
    MatchResult result;
  };
  std::vector<Same> same;
  for (const StoredMachine& machine : machines) {
    Fingerprint mine = token;
    Fingerprint theirs = machine.latest;
    Unshare(shared, mine, theirs);
    const MatchResult result = MatchFingerprints(theirs, mine);
    if (result.sameMachine) same.push_back({&machine, result});
  }
  std::sort(same.begin(), same.end(), [](const Same& a, const Same& b) {
    if (a.result.strongMatches != b.result.strongMatches)
      return a.result.strongMatches > b.result.strongMatches;
    return a.machine->sequence > b.machine->sequence;
  });

  for (int i = 0; i < kComponentCount; ++i) {
    const auto id = static_cast<ComponentId>(i);
    if (IsStrongComponent(id) && shared.AnyShared(id, token[id])) verdict.shared.push_back(id);
  }
  if (!same.empty()) {
    const Same& winner = same.front();
    verdict.same = true;
    verdict.machine = winner.machine->id;
    verdict.matches = winner.result.strongMatches;
    for (int i = 0; i < kComponentCount; ++i) {
      const auto id = static_cast<ComponentId>(i);
      if (IsStrongComponent(id) && winner.result[id] == ComponentMatch::Match)
        verdict.matched.push_back(id);
      if (winner.result[id] == ComponentMatch::Differ) verdict.changed.push_back(id);
    }
    for (std::size_t i = 0; i < same.size() && i < kMaxListed; ++i) {
      verdict.candidates.push_back({same[i].machine->id, same[i].result.strongMatches});
    }
  }
  for (MachineId id : installHolders) {
    if (id != verdict.machine && verdict.cloneOf.size() < kMaxListed) verdict.cloneOf.push_back(id);
  }
  return verdict;
}

Verdict Registry::Enroll(const Fingerprint& token, std::int64_t now) {
  Verdict verdict = Decide(token, true);
  Store(verdict, token, now);
  return verdict;
}

void Registry::Store(Verdict& verdict, const Fingerprint& token, std::int64_t now) {
  if (verdict.same) {
    registry::Renew(storage_, verdict.machine, token, now, options_.history);
  } else {
    verdict.machine = storage_.Create(PlanCreate(token, now));
  }
}

std::optional<MachineRecord> Registry::Remove(MachineId id, std::int64_t now) {
  Claim({}, {id});
  const std::vector<StoredMachine> found = storage_.Load({id});
  if (found.empty()) return std::nullopt;
  const RemovePlan plan = PlanRemove(found.front(), now);
  Claim(plan.keys, {});
  std::optional<MachineRecord> record = Show(storage_, id);
  storage_.Apply(plan);
  return record;
}

}  // namespace vrel::registry
