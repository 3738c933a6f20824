// The SQLite backend's licences (the tables: sqlite_schema.cpp), on the
// connection of its machines. A file of schema 1 holds no licence.
#pragma once

#include "vrel/registry/licences/licence_storage.h"
#include "vrel/registry/sqlite/sqlite_connection.h"

namespace vrel::registry {

class SqliteLicences final : public LicenceStorage {
 public:
  explicit SqliteLicences(SqliteConnection& db) : db_(db) {}

  // Never asked: a writer holds the whole database.
  void ClaimLicence(LicenceId) override {}
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
  bool Present() const { return db_.version() >= 2; }
  std::vector<LicenceRow> Rows(sqlite3_stmt* stmt);
  LicenceId Insert(const LicenceRow& row, bool withId);

  SqliteConnection& db_;
  SqliteStmt find_, licence_, seats_, seat_, lapsed_, put_seat_, drop_seat_, audit_;
};

}  // namespace vrel::registry
