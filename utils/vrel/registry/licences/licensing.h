// Licences held by machines: creating one (its key shown once, its hash
// stored), activating a machine (a seat held, a signed licence file issued),
// deactivating, revoking. A machine is the registry's: a reinstall, a card
// swap or a new board that the identification rule still calls the same
// machine keeps its seat. Each function runs inside the caller's transaction
// (a writing one but for Seated) and stores nothing when it refuses.
#pragma once

#include <optional>
#include <string>

#include "vrel/licence/signer/signing_key.h"
#include "vrel/registry/registry.h"

namespace vrel::registry {

constexpr std::int64_t kDefaultTtl = 30 * 24 * 3600;
// A licence file's expiry for a licence that never expires: the format's last second.
constexpr std::int64_t kNeverExpires = 253402300799;  // 9999-12-31T23:59:59Z

struct LicenceTerms {
  std::string application;  // empty: the registry's default
  std::string name;
  std::vector<std::string> features;
  std::int64_t seats = 0;
  std::int64_t expires = 0;  // 0: never
  std::int64_t ttl = kDefaultTtl;
  std::int64_t lease = 0;  // 0: a seat is held until deactivated
};

struct NewLicence {
  LicenceRow row;
  std::string key;  // shown once; only its hash is stored
};

// Throws std::invalid_argument for terms a licence file cannot carry, or no
// application named anywhere; the first application named becomes the
// registry's default.
NewLicence CreateLicence(LicenceStorage& licences, LicenceTerms terms, std::int64_t now);

struct Seats {
  std::int64_t used = 0;
  std::int64_t total = 0;
};

// Whether a seat is held at `now`: for good, or within its lease.
bool SeatHeld(const LicenceRow& licence, const SeatRow& seat, std::int64_t now);
// The seats held at `now`, among `seats` of the licence.
Seats CountSeats(const LicenceRow& licence, const std::vector<SeatRow>& seats, std::int64_t now);

struct Activation {
  bool activated = false;
  std::string reason;  // when refused: unknown-licence, licence-expired or no-seat
  std::string message;
  LicenceId licence = 0;
  MachineId machine = 0;
  bool newSeat = false;
  Seats seats;
  LicenceFields fields;  // of the file issued
  std::string file;      // the signed licence file
};

// Where writers run concurrently, an activation waits for its licence's
// claim. A transaction that activates under several licences calls this
// first with every key it will use: the licences are claimed in one order
// (ascending id), so two such transactions never wait for each other in a
// circle. Keys of no licence are passed over.
void ClaimLicences(Registry& registry, const std::vector<std::string>& keys);

// Identifies `token` as enroll does and gives its machine a seat of the
// licence whose key is `key` (any text: one not of a key's form is an
// unknown key), or the seat it holds checked in; issues a licence file.
// Unknown and revoked keys are refused alike.
Activation Activate(Registry& registry, const SigningKey& signer, const std::string& key,
                    const Fingerprint& token, std::int64_t now);

struct Deactivation {
  bool deactivated = false;
  std::string reason;  // when refused: unknown-licence or not-activated
  std::string message;
  LicenceId licence = 0;
  MachineId machine = 0;
  Seats seats;
};

// Frees the seat that `machine` (or, when 0, the machine `token` identifies) holds.
Deactivation Deactivate(Registry& registry, const std::string& key, MachineId machine,
                        const Fingerprint* token, std::int64_t now);

// Revokes a licence (a second revocation keeps the first time); nothing when there is none.
std::optional<LicenceRow> Revoke(LicenceStorage& licences, LicenceId id, std::int64_t now);

}  // namespace vrel::registry
