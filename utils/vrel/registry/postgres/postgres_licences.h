// The PostgreSQL backend's licences (the tables: postgres_schema.cpp), on the
// connection of its machines. A database of schema 1 holds no licence.
#pragma once

#include "vrel/registry/licences/licence_storage.h"
#include "vrel/registry/postgres/pg_connection.h"

namespace vrel::registry {

class PostgresLicences final : public LicenceStorage {
 public:
  // `present`: whether the licences' tables exist in what the connection sees.
  PostgresLicences(PgConnection& db, const bool& present) : db_(db), present_(present) {}

  // Waits for the licence's lock, held to the end of the transaction.
  void ClaimLicence(LicenceId id) override;
  std::optional<LicenceRow> FindLicence(const std::string& keyHash) override;
  std::optional<LicenceRow> Licence(LicenceId id) override;
  std::vector<LicenceRow> Licences(LicenceId after, std::size_t limit) override;
  LicenceId CreateLicence(const LicenceRow& row) override;
  void Revoke(LicenceId id, std::int64_t now) override;
  std::vector<SeatRow> Seats(LicenceId licence) override;
  std::optional<SeatRow> Seat(LicenceId licence, MachineId machine) override;
  std::vector<SeatRow> LapsedSeats(LicenceId licence, std::int64_t checkedIn) override;
  void PutSeat(const SeatRow& seat) override;
  bool DropSeat(LicenceId licence, MachineId machine) override;
  void Audit(const AuditRow& row) override;
  std::vector<AuditRow> AuditTrail(std::int64_t after, std::size_t limit) override;
  std::string DefaultApplication() override;
  void SetDefaultApplication(const std::string& application) override;
  void Import(const LicenceImport& batch) override;

  // A removed machine's seats, released `now` with an audit row each.
  void Release(MachineId machine, std::int64_t now);

 private:
  PgConnection& db_;
  const bool& present_;
};

// The advisory lock of a licence's seats.
long long LicenceLockKey(LicenceId id);

}  // namespace vrel::registry
