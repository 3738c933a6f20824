// The licences' part of the storage seam: licences (found by their key's
// hash), the seats machines hold, and an audit trail. Each backend answers it
// beside its machines, on the same connection and in the same transactions.
// A registry of the schema before licences reads as holding none; its first
// write adds their tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vrel/registry/stored_token.h"

namespace vrel::registry {

using LicenceId = std::int64_t;

struct LicenceRow {
  LicenceId id = 0;
  std::string keyHash;  // LicenceKeyHash's 32 bytes
  std::string application;
  std::string name;                   // the licensee
  std::vector<std::string> features;  // stored comma-separated
  std::int64_t seats = 0;
  std::int64_t expires = 0;  // Unix seconds; 0: never
  std::int64_t ttl = 0;      // seconds from issue to a file's check-in deadline
  std::int64_t lease = 0;    // seconds a seat stays held without a check-in; 0: for good
  std::int64_t created = 0;
  std::int64_t revoked = 0;  // when; 0: not revoked
  std::int64_t held = 0;     // its seat rows, lapsed ones included: kept by the database
};

// A machine's seat: activated first, last checked in.
struct SeatRow {
  LicenceId licence = 0;
  MachineId machine = 0;
  std::int64_t activated = 0;
  std::int64_t checkedIn = 0;
};

struct AuditRow {
  std::int64_t time = 0;
  std::string event;  // activate, check-in, deactivate, lapse, release, revoke
  LicenceId licence = 0;
  MachineId machine = 0;  // 0 for a revocation
};

// Licences, seats and audit rows for an import into an empty registry.
struct LicenceImport {
  std::string application;  // the registry's default application, or empty
  std::vector<LicenceRow> licences;
  std::vector<SeatRow> seats;
  std::vector<AuditRow> audit;
};

// Features as stored: "a,b,c" (names never hold a comma).
inline std::string JoinFeatures(const std::vector<std::string>& features) {
  std::string text;
  for (const std::string& feature : features) text += (text.empty() ? "" : ",") + feature;
  return text;
}
inline std::vector<std::string> SplitFeatures(const std::string& text) {
  std::vector<std::string> features;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    features.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return features;
}

class LicenceStorage {
 public:
  virtual ~LicenceStorage() = default;

  // Where writers run concurrently: holds the licence until commit, waiting
  // for a writer that holds it, so that two writers never both count a free seat.
  virtual void ClaimLicence(LicenceId id) = 0;

  virtual std::optional<LicenceRow> FindLicence(const std::string& keyHash) = 0;
  virtual std::optional<LicenceRow> Licence(LicenceId id) = 0;
  // Up to `limit` licences with ids above `after`, ascending.
  virtual std::vector<LicenceRow> Licences(LicenceId after, std::size_t limit) = 0;
  // Stores `row` under a new id (row.id is ignored) and returns it.
  virtual LicenceId CreateLicence(const LicenceRow& row) = 0;
  virtual void Revoke(LicenceId id, std::int64_t now) = 0;

  // The seats of a licence, by machine.
  virtual std::vector<SeatRow> Seats(LicenceId licence) = 0;
  virtual std::optional<SeatRow> Seat(LicenceId licence, MachineId machine) = 0;
  // The seats of a licence last checked in at or before `checkedIn`, by machine.
  virtual std::vector<SeatRow> LapsedSeats(LicenceId licence, std::int64_t checkedIn) = 0;
  // Stores the seat (a new one, or a held one's check-in).
  virtual void PutSeat(const SeatRow& seat) = 0;
  // Whether the machine held a seat of the licence.
  virtual bool DropSeat(LicenceId licence, MachineId machine) = 0;

  virtual void Audit(const AuditRow& row) = 0;
  // Up to `limit` audit rows after the `after`th, oldest first.
  virtual std::vector<AuditRow> AuditTrail(std::int64_t after, std::size_t limit) = 0;

  // The application named by licences created without one; empty when unset.
  virtual std::string DefaultApplication() = 0;
  virtual void SetDefaultApplication(const std::string& application) = 0;

  virtual void Import(const LicenceImport& batch) = 0;
};

}  // namespace vrel::registry
