#include "vrel/registry/sqlite/sqlite_licences.h"

namespace vrel::registry {
namespace {

constexpr char kLicenceColumns[] =
    "SELECT id, key_hash, application, name, features, seats, expires, ttl, lease, created, "
    "revoked, held FROM licence ";

}  // namespace

std::vector<LicenceRow> SqliteLicences::Rows(sqlite3_stmt* stmt) {
  std::vector<LicenceRow> rows;
  while (db_.Step(stmt)) {
    rows.push_back({sqlite3_column_int64(stmt, 0), ColumnBlob(stmt, 1), ColumnText(stmt, 2),
                    ColumnText(stmt, 3), SplitFeatures(ColumnText(stmt, 4)),
                    sqlite3_column_int64(stmt, 5), sqlite3_column_int64(stmt, 6),
                    sqlite3_column_int64(stmt, 7), sqlite3_column_int64(stmt, 8),
                    sqlite3_column_int64(stmt, 9), sqlite3_column_int64(stmt, 10),
                    sqlite3_column_int64(stmt, 11)});
  }
  return rows;
}

std::optional<LicenceRow> SqliteLicences::FindLicence(const std::string& keyHash) {
  if (!Present()) return std::nullopt;
  const std::string sql = std::string(kLicenceColumns) + "WHERE key_hash=?1";
  auto rows = Rows(Bind(db_.Prepare(find_, sql.c_str()), Blob{keyHash}));
  if (rows.empty()) return std::nullopt;
  return rows.front();
}

std::optional<LicenceRow> SqliteLicences::Licence(LicenceId id) {
  if (!Present()) return std::nullopt;
  const std::string sql = std::string(kLicenceColumns) + "WHERE id=?1";
  auto rows = Rows(Bind(db_.Prepare(licence_, sql.c_str()), id));
  if (rows.empty()) return std::nullopt;
  return rows.front();
}

std::vector<LicenceRow> SqliteLicences::Licences(LicenceId after, std::size_t limit) {
  if (!Present()) return {};
  const std::string sql = std::string(kLicenceColumns) + "WHERE id > ?1 ORDER BY id LIMIT ?2";
  SqliteStmt stmt = db_.PrepareOnce(sql.c_str());
  return Rows(Bind(stmt.get(), after, static_cast<std::int64_t>(limit)));
}

LicenceId SqliteLicences::Insert(const LicenceRow& row, bool withId) {
  SqliteStmt stmt = db_.PrepareOnce(
      "INSERT INTO licence(id, key_hash, application, name, features, seats, expires, ttl, lease, "
      "created, revoked) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11) RETURNING id");
  Bind(stmt.get(), row.id, Blob{row.keyHash}, row.application, row.name, JoinFeatures(row.features),
       row.seats, row.expires, row.ttl, row.lease, row.created, row.revoked);
  if (!withId) sqlite3_bind_null(stmt.get(), 1);  // the next id
  if (!db_.Step(stmt.get())) db_.Fail("cannot store the licence");
  const LicenceId id = sqlite3_column_int64(stmt.get(), 0);
  db_.Run(stmt.get());
  return id;
}

LicenceId SqliteLicences::CreateLicence(const LicenceRow& row) { return Insert(row, false); }

void SqliteLicences::Revoke(LicenceId id, std::int64_t now) {
  SqliteStmt stmt = db_.PrepareOnce("UPDATE licence SET revoked=?2 WHERE id=?1 AND revoked=0");
  db_.Run(Bind(stmt.get(), id, now));
}

std::vector<SeatRow> SqliteLicences::Seats(LicenceId licence) {
  std::vector<SeatRow> seats;
  if (!Present()) return seats;
  sqlite3_stmt* stmt =
      Bind(db_.Prepare(
               seats_,
               "SELECT machine, activated, checked_in FROM seat WHERE licence=?1 ORDER BY machine"),
           licence);
  while (db_.Step(stmt)) {
    seats.push_back({licence, sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1),
                     sqlite3_column_int64(stmt, 2)});
  }
  return seats;
}

std::optional<SeatRow> SqliteLicences::Seat(LicenceId licence, MachineId machine) {
  if (!Present()) return std::nullopt;
  sqlite3_stmt* stmt = Bind(
      db_.Prepare(seat_, "SELECT activated, checked_in FROM seat WHERE licence=?1 AND machine=?2"),
      licence, machine);
  if (!db_.Step(stmt)) return std::nullopt;
  const SeatRow seat{licence, machine, sqlite3_column_int64(stmt, 0),
                     sqlite3_column_int64(stmt, 1)};
  sqlite3_reset(stmt);
  return seat;
}

std::vector<SeatRow> SqliteLicences::LapsedSeats(LicenceId licence, std::int64_t checkedIn) {
  std::vector<SeatRow> seats;
  if (!Present()) return seats;
  sqlite3_stmt* stmt =
      Bind(db_.Prepare(lapsed_,
                       "SELECT machine, activated, checked_in FROM seat WHERE licence=?1 AND "
                       "checked_in <= ?2 ORDER BY machine"),
           licence, checkedIn);
  while (db_.Step(stmt)) {
    seats.push_back({licence, sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1),
                     sqlite3_column_int64(stmt, 2)});
  }
  return seats;
}

void SqliteLicences::PutSeat(const SeatRow& seat) {
  db_.Run(Bind(db_.Prepare(put_seat_,
                           "INSERT INTO seat(licence, machine, activated, checked_in) "
                           "VALUES(?1, ?2, ?3, ?4) ON CONFLICT(licence, machine) DO UPDATE SET "
                           "activated=excluded.activated, checked_in=excluded.checked_in"),
               seat.licence, seat.machine, seat.activated, seat.checkedIn));
}

bool SqliteLicences::DropSeat(LicenceId licence, MachineId machine) {
  sqlite3_stmt* stmt =
      Bind(db_.Prepare(drop_seat_, "DELETE FROM seat WHERE licence=?1 AND machine=?2 RETURNING 1"),
           licence, machine);
  bool dropped = false;
  while (db_.Step(stmt)) dropped = true;
  return dropped;
}

void SqliteLicences::Audit(const AuditRow& row) {
  db_.Run(
      Bind(db_.Prepare(audit_,
                       "INSERT INTO audit(time, event, licence, machine) VALUES(?1, ?2, ?3, ?4)"),
           row.time, row.event, row.licence, row.machine));
}

std::vector<AuditRow> SqliteLicences::AuditTrail(std::int64_t after, std::size_t limit) {
  std::vector<AuditRow> rows;
  if (!Present()) return rows;
  SqliteStmt stmt = db_.PrepareOnce(
      "SELECT time, event, licence, machine FROM audit ORDER BY id LIMIT ?2 OFFSET ?1");
  Bind(stmt.get(), after, static_cast<std::int64_t>(limit));
  while (db_.Step(stmt.get())) {
    rows.push_back({sqlite3_column_int64(stmt.get(), 0), ColumnText(stmt.get(), 1),
                    sqlite3_column_int64(stmt.get(), 2), sqlite3_column_int64(stmt.get(), 3)});
  }
  return rows;
}

std::string SqliteLicences::DefaultApplication() {
  if (!Present()) return {};
  SqliteStmt stmt = db_.PrepareOnce("SELECT value FROM setting WHERE key='application'");
  std::string application;
  while (db_.Step(stmt.get())) application = ColumnText(stmt.get(), 0);
  return application;
}

void SqliteLicences::SetDefaultApplication(const std::string& application) {
  SqliteStmt stmt =
      db_.PrepareOnce("INSERT OR REPLACE INTO setting(key, value) VALUES('application', ?1)");
  db_.Run(Bind(stmt.get(), application));
}

void SqliteLicences::Import(const LicenceImport& batch) {
  if (!batch.application.empty()) SetDefaultApplication(batch.application);
  for (const LicenceRow& row : batch.licences) Insert(row, true);
  for (const SeatRow& seat : batch.seats) PutSeat(seat);
  for (const AuditRow& row : batch.audit) Audit(row);
}

void SqliteLicences::Release(MachineId machine, std::int64_t now) {
  SqliteStmt stmt = db_.PrepareOnce(
      "INSERT INTO audit(time, event, licence, machine) SELECT ?2, 'release', licence, machine "
      "FROM seat WHERE machine=?1 ORDER BY licence");
  db_.Run(Bind(stmt.get(), machine, now));
  SqliteStmt drop = db_.PrepareOnce("DELETE FROM seat WHERE machine=?1");
  db_.Run(Bind(drop.get(), machine));
}

}  // namespace vrel::registry
