#include "vrel/registry/postgres/postgres_licences.h"

namespace vrel::registry {
namespace {

constexpr char kColumns[] =
    "SELECT id, key_hash, application, name, features, seats, expires, ttl, lease, created, "
    "revoked, held FROM vrel_licence ";

std::vector<LicenceRow> Rows(const PgResult& rows) {
  std::vector<LicenceRow> result;
  for (int r = 0; r < PQntuples(rows.get()); ++r) {
    result.push_back({PgNumber(rows, r, 0), PgBytes(rows, r, 1), PgValue(rows, r, 2),
                      PgValue(rows, r, 3), SplitFeatures(PgValue(rows, r, 4)), PgNumber(rows, r, 5),
                      PgNumber(rows, r, 6), PgNumber(rows, r, 7), PgNumber(rows, r, 8),
                      PgNumber(rows, r, 9), PgNumber(rows, r, 10), PgNumber(rows, r, 11)});
  }
  return result;
}

std::optional<LicenceRow> First(const PgResult& rows) {
  std::vector<LicenceRow> found = Rows(rows);
  if (found.empty()) return std::nullopt;
  return found.front();
}

}  // namespace

long long LicenceLockKey(LicenceId id) {
  // Apart from the machine and digest keys, which mix their values.
  return static_cast<long long>(0x7672656c4c000000ULL ^ static_cast<std::uint64_t>(id));
}

void PostgresLicences::ClaimLicence(LicenceId id) {
  db_.Run("claim_licence", "SELECT pg_advisory_xact_lock($1)", {LicenceLockKey(id)});
}

std::optional<LicenceRow> PostgresLicences::FindLicence(const std::string& keyHash) {
  if (!present_) return std::nullopt;
  static const std::string sql = std::string(kColumns) + "WHERE key_hash = $1";
  return First(db_.Run("find_licence", sql.c_str(), {PgByteaText(keyHash)}));
}

std::optional<LicenceRow> PostgresLicences::Licence(LicenceId id) {
  if (!present_) return std::nullopt;
  static const std::string sql = std::string(kColumns) + "WHERE id = $1";
  return First(db_.Run("licence", sql.c_str(), {id}));
}

std::vector<LicenceRow> PostgresLicences::Licences(LicenceId after, std::size_t limit) {
  if (!present_) return {};
  static const std::string sql = std::string(kColumns) + "WHERE id > $1 ORDER BY id LIMIT $2";
  return Rows(db_.Run(sql.c_str(), {after, static_cast<std::int64_t>(limit)}));
}

LicenceId PostgresLicences::CreateLicence(const LicenceRow& row) {
  const std::string hash = PgByteaText(row.keyHash), features = JoinFeatures(row.features);
  return PgNumber(
      db_.Run("INSERT INTO vrel_licence(id, key_hash, application, name, features, seats, "
              "expires, ttl, lease, created, revoked) VALUES (nextval('vrel_licence_ids'), $1, "
              "$2, $3, $4, $5, $6, $7, $8, $9, $10) RETURNING id",
              {hash, row.application, row.name, features, row.seats, row.expires, row.ttl,
               row.lease, row.created, row.revoked}),
      0, 0);
}

void PostgresLicences::Revoke(LicenceId id, std::int64_t now) {
  db_.Run("UPDATE vrel_licence SET revoked = $2 WHERE id = $1 AND revoked = 0", {id, now});
}

std::vector<SeatRow> PostgresLicences::Seats(LicenceId licence) {
  std::vector<SeatRow> seats;
  if (!present_) return seats;
  const PgResult rows = db_.Run(
      "seats",
      "SELECT machine, activated, checked_in FROM vrel_seat WHERE licence = $1 ORDER BY machine",
      {licence});
  for (int r = 0; r < PQntuples(rows.get()); ++r)
    seats.push_back({licence, PgNumber(rows, r, 0), PgNumber(rows, r, 1), PgNumber(rows, r, 2)});
  return seats;
}

std::optional<SeatRow> PostgresLicences::Seat(LicenceId licence, MachineId machine) {
  if (!present_) return std::nullopt;
  const PgResult rows = db_.Run(
      "seat", "SELECT activated, checked_in FROM vrel_seat WHERE licence = $1 AND machine = $2",
      {licence, machine});
  if (PQntuples(rows.get()) == 0) return std::nullopt;
  return SeatRow{licence, machine, PgNumber(rows, 0, 0), PgNumber(rows, 0, 1)};
}

std::vector<SeatRow> PostgresLicences::LapsedSeats(LicenceId licence, std::int64_t checkedIn) {
  std::vector<SeatRow> seats;
  if (!present_) return seats;
  const PgResult rows = db_.Run("lapsed",
                                "SELECT machine, activated, checked_in FROM vrel_seat WHERE "
                                "licence = $1 AND checked_in <= $2 ORDER BY machine",
                                {licence, checkedIn});
  for (int r = 0; r < PQntuples(rows.get()); ++r)
    seats.push_back({licence, PgNumber(rows, r, 0), PgNumber(rows, r, 1), PgNumber(rows, r, 2)});
  return seats;
}

void PostgresLicences::PutSeat(const SeatRow& seat) {
  db_.Run("put_seat",
          "INSERT INTO vrel_seat(licence, machine, activated, checked_in) VALUES ($1, $2, $3, $4) "
          "ON CONFLICT (licence, machine) DO UPDATE SET activated = excluded.activated, "
          "checked_in = excluded.checked_in",
          {seat.licence, seat.machine, seat.activated, seat.checkedIn});
}

bool PostgresLicences::DropSeat(LicenceId licence, MachineId machine) {
  return PQntuples(db_.Run("drop_seat",
                           "DELETE FROM vrel_seat WHERE licence = $1 AND machine = $2 RETURNING 1",
                           {licence, machine})
                       .get()) > 0;
}

void PostgresLicences::Audit(const AuditRow& row) {
  db_.Run("audit", "INSERT INTO vrel_audit(time, event, licence, machine) VALUES ($1, $2, $3, $4)",
          {row.time, row.event, row.licence, row.machine});
}

std::vector<AuditRow> PostgresLicences::AuditTrail(std::int64_t after, std::size_t limit) {
  std::vector<AuditRow> trail;
  if (!present_) return trail;
  const PgResult rows =
      db_.Run("SELECT time, event, licence, machine FROM vrel_audit ORDER BY id LIMIT $2 OFFSET $1",
              {after, static_cast<std::int64_t>(limit)});
  for (int r = 0; r < PQntuples(rows.get()); ++r) {
    trail.push_back(
        {PgNumber(rows, r, 0), PgValue(rows, r, 1), PgNumber(rows, r, 2), PgNumber(rows, r, 3)});
  }
  return trail;
}

std::string PostgresLicences::DefaultApplication() {
  if (!present_) return {};
  const PgResult rows = db_.Run("SELECT value FROM vrel_setting WHERE key = 'application'", {});
  return PQntuples(rows.get()) > 0 ? PgValue(rows, 0, 0) : std::string();
}

void PostgresLicences::SetDefaultApplication(const std::string& application) {
  db_.Run(
      "INSERT INTO vrel_setting VALUES ('application', $1) ON CONFLICT (key) DO UPDATE "
      "SET value = excluded.value",
      {application});
}

void PostgresLicences::Import(const LicenceImport& batch) {
  if (!batch.application.empty()) SetDefaultApplication(batch.application);
  LicenceId largest = 0;
  for (const LicenceRow& row : batch.licences) {
    const std::string hash = PgByteaText(row.keyHash), features = JoinFeatures(row.features);
    db_.Run(
        "INSERT INTO vrel_licence(id, key_hash, application, name, features, seats, expires, "
        "ttl, lease, created, revoked) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)",
        {row.id, hash, row.application, row.name, features, row.seats, row.expires, row.ttl,
         row.lease, row.created, row.revoked});
    largest = std::max(largest, row.id);
  }
  if (largest > 0) db_.Run("SELECT setval('vrel_licence_ids', $1)", {largest});
  for (const SeatRow& seat : batch.seats) PutSeat(seat);
  for (const AuditRow& row : batch.audit) Audit(row);
}

void PostgresLicences::Release(MachineId machine, std::int64_t now) {
  db_.Run("release",
          "WITH s AS (DELETE FROM vrel_seat WHERE machine = $1 RETURNING licence) "
          "INSERT INTO vrel_audit(time, event, licence, machine) "
          "SELECT $2, 'release', licence, $1 FROM s ORDER BY licence",
          {machine, now});
}

}  // namespace vrel::registry
