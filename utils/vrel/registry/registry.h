// Which machine is this? Identifies a token among a fleet's stored tokens and
// enrolls it, by the pairwise rule of MatchFingerprints applied over the fleet:
//  - a strong digest held by at least `sharedAt` machines' latest tokens (the
//    candidate's own included) is *shared*: a component whose digest is shared
//    on either side is unavailable for that pair (never a match, never a board
//    difference); a nic set left empty by removing its shared digests is
//    unavailable too. The processor never counts and is never shared.
//  - candidates are the machines whose latest token holds one of the token's
//    non-shared strong digests, found through the storage's index;
//  - a candidate is the same machine when at least two strong components match
//    and the board does not differ; the most matches win, then the machine
//    named most recently by an enroll. A token with fewer than two usable
//    strong components is therefore always new.
// Shared state is read as the registry stands before the token.
#pragma once

#include <cstdint>
#include <vector>

#include "vrel/fingerprint/match.h"
#include "vrel/registry/plans.h"

namespace vrel::registry {

// Lists in a verdict hold at most this many machines.
constexpr std::size_t kMaxListed = 20;

struct RegistryOptions {
  std::size_t sharedAt = 3;  // at least 2
  std::size_t history = 16;  // tokens kept per machine, the latest included; at least 1
};

struct Candidate {
  MachineId machine = 0;
  int matches = 0;
};

struct Verdict {
  bool same = false;
  MachineId machine = 0;  // the winner, or the new machine's id; 0 for an identify found new
  int matches = 0;
  std::vector<ComponentId> matched;   // strong components matching the winner
  std::vector<ComponentId> changed;   // every component differing from the winner, cpu included
  std::vector<Candidate> candidates;  // every machine that counts as the same, best first
  std::vector<MachineId> cloneOf;     // others holding this token's os-install digest, lowest first
  std::vector<ComponentId> shared;    // this token's components with a shared digest
};

class Registry {
 public:
  Registry(Storage& storage, RegistryOptions options) : storage_(storage), options_(options) {}

  // The verdict, changing nothing. Call inside a transaction.
  Verdict Identify(const Fingerprint& token);
  // Identify, then store: "same" renews the machine, "new" creates one. Call
  // inside a writing transaction.
  Verdict Enroll(const Fingerprint& token, std::int64_t now);
  // Enroll in two steps, for a caller that decides between them whether to
  // store the token at all: a writer's verdict (what it read stays claimed),
  // then the store, which sets the verdict's machine.
  Verdict IdentifyToStore(const Fingerprint& token) { return Decide(token, true); }
  void Store(Verdict& verdict, const Fingerprint& token, std::int64_t now);
  // Forgets a machine, its history, index rows and seats (released `now`);
  // returns what it held, or nothing when there is no such machine. Call
  // inside a writing transaction.
  std::optional<MachineRecord> Remove(MachineId id, std::int64_t now);

  Storage& storage() { return storage_; }
  const RegistryOptions& options() const { return options_; }

 private:
  // `write`: the verdict of a writer, which claims what it reads first.
  Verdict Decide(const Fingerprint& token, bool write);
  void Claim(const std::vector<DigestKey>& keys, const std::vector<MachineId>& machines);

  Storage& storage_;
  RegistryOptions options_;
};

}  // namespace vrel::registry
