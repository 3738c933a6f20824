// The PostgreSQL backend (the tables: postgres_schema.cpp), serving
// "postgresql://" and "postgres://" URIs (libpq's). Made on first use under an
// advisory lock, so that two first uses do not race.
// Concurrency: writers run at READ COMMITTED and claim, with transaction-level
// advisory try-locks, every digest key and machine whose rows they read or
// change, before reading them, and the registry itself in shared mode; a
// claim another writer holds rolls the transaction back as a lost race.
// Writers of unrelated machines never wait for each other. An import holds
// the registry exclusively. Readers see one snapshot (REPEATABLE READ, READ
// ONLY) and claim nothing.
#include <algorithm>
#include <map>

#include "vrel/registry/postgres/pg_connection.h"
#include "vrel/registry/postgres/postgres_licences.h"
#include "vrel/registry/postgres/postgres_schema.h"

namespace vrel::registry {
namespace {

// Advisory lock keys: the tables being made, and the registry as a whole.
constexpr long long kSchemaLock = 0x7672656c5f736368LL;    // "vrel_sch"
constexpr long long kRegistryLock = 0x7672656c5f726567LL;  // "vrel_reg"

// A lock key for a digest key or a machine: 64 bits mixed from the value and
// a tag, so that the two kinds and the components rarely meet (a meeting only
// makes two writers wait for each other's retry).
long long LockKey(std::uint64_t value, std::uint64_t tag) {
  std::uint64_t x = value ^ (tag * 0x9E3779B97F4A7C15ull);
  x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ull;
  return static_cast<long long>(x ^ (x >> 29));
}

std::string Components(const std::vector<DigestKey>& keys) {
  return PgArray(keys, [](const DigestKey& k) { return static_cast<int>(k.component); });
}
std::string Digests(const std::vector<DigestKey>& keys) {
  return PgArray(keys, [](const DigestKey& k) { return static_cast<long long>(k.digest); });
}
Fingerprint Token(const PgResult& rows, int row, int column) {
  const std::string bytes = PgBytes(rows, row, column);
  return DecodeStoredToken(bytes.data(), bytes.size());
}

// COPY's text format: fields split by tabs, rows by newlines; a bytea as
// "\\x" and hex (the backslash escaped).
class CopyRows {
 public:
  CopyRows& operator<<(std::int64_t number) { return Field(std::to_string(number)); }
  CopyRows& Bytes(const std::string& bytes) { return Field("\\" + PgByteaText(bytes)); }
  void End() { text_.back() = '\n'; }
  const std::string& text() const { return text_; }

 private:
  CopyRows& Field(const std::string& field) {
    text_ += field;
    text_ += '\t';
    return *this;
  }
  std::string text_;
};

class PostgresStorage final : public Storage {
 public:
  // Each claimed key is a lock slot until commit; PostgreSQL's lock table is
  // shared by every session, so a writer takes few tokens at a time.
  PostgresStorage(const std::string& uri, OpenMode mode)
      : Storage({32, true}), db_(uri), licences_(db_, licenceTables_) {
    const std::string schema = PgValue(db_.Run("SELECT coalesce(current_schema(), '')", {}), 0, 0);
    if (schema.empty()) {
      throw StorageError(
          "the role's search_path names no schema it may use (one that exists, with USAGE)");
    }
    if (!HasTables()) {
      if (mode != OpenMode::kCreate)
        throw StorageError("no vrel registry in schema \"" + schema + "\" of that database");
      MakeTables(schema);
    }
    version_ = SchemaVersion();
    CheckSchemaVersion(version_, "the database");
    licenceTables_ = version_ >= 2;
  }

  LicenceStorage& licences() override { return licences_; }

  void Begin(Access access) override {
    db_.Reconnect();
    claimedRegistry_ = false;
    if (version_ < kSchemaVersion) version_ = SchemaVersion();
    licenceTables_ = version_ >= 2;
    if (access == Access::kRead) {
      db_.BeginWithNext("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
      return;
    }
    db_.Run("BEGIN ISOLATION LEVEL READ COMMITTED", {});
    if (access == Access::kWhole) db_.Run("SELECT pg_advisory_xact_lock($1)", {kRegistryLock});
    if (version_ < kSchemaVersion) Upgrade();
  }
  void Commit() override {
    if (db_.BeginPending()) {
      db_.DropPendingBegin();  // nothing was read
      return;
    }
    db_.Run("COMMIT", {});
    if (licenceTables_) version_ = kSchemaVersion;
  }
  void Rollback() noexcept override {
    db_.RollbackQuietly();
    licenceTables_ = version_ >= 2;
  }

  void Claim(const std::vector<DigestKey>& keys, const std::vector<MachineId>& machines) override {
    std::vector<long long> locks;
    for (const DigestKey& key : keys)
      locks.push_back(LockKey(key.digest, static_cast<std::uint64_t>(key.component) + 1));
    for (MachineId id : machines) locks.push_back(LockKey(static_cast<std::uint64_t>(id), 0));
    std::sort(locks.begin(), locks.end());
    locks.erase(std::unique(locks.begin(), locks.end()), locks.end());
    const PgResult rows =
        db_.Run("claim",
                "SELECT coalesce(bool_and(pg_try_advisory_xact_lock(k)), true) "
                "AND ($2 OR pg_try_advisory_xact_lock_shared($3)) FROM unnest($1::int8[]) k",
                {PgArray(locks, [](long long k) { return k; }), claimedRegistry_ ? "t" : "f",
                 kRegistryLock});
    if (PgValue(rows, 0, 0) != "t")
      throw RetryableError("another writer holds a key or machine this one needs");
    claimedRegistry_ = true;
  }

  std::vector<std::vector<MachineId>> Holders(const std::vector<DigestKey>& keys,
                                              std::size_t limit) override {
    std::vector<std::vector<MachineId>> result(keys.size());
    if (keys.empty()) return result;
    const PgResult rows = db_.Run(
        "holders",
        "SELECT k.i, d.machine FROM unnest($1::int2[], $2::int8[]) WITH ORDINALITY AS k(c, g, i) "
        "CROSS JOIN LATERAL (SELECT machine FROM vrel_digest WHERE component = k.c AND "
        "digest = k.g ORDER BY machine LIMIT $3) d ORDER BY k.i, d.machine",
        {Components(keys), Digests(keys), static_cast<std::int64_t>(limit)});
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      result[static_cast<std::size_t>(PgNumber(rows, row, 0) - 1)].push_back(
          PgNumber(rows, row, 1));
    }
    return result;
  }

  // One statement: each key's holders, with the latest token of every holder
  // of a key held by fewer than `sharedAt`.
  Gathered Gather(const std::vector<DigestKey>& keys, std::size_t limit,
                  std::size_t sharedAt) override {
    Gathered found;
    found.holders.resize(keys.size());
    if (keys.empty()) return found;
    const PgResult rows =
        db_.Run("gather",
                "WITH h AS (SELECT k.i, d.machine, count(*) OVER (PARTITION BY k.i) AS n "
                "FROM unnest($1::int2[], $2::int8[]) WITH ORDINALITY AS k(c, g, i) "
                "CROSS JOIN LATERAL (SELECT machine FROM vrel_digest WHERE component = k.c AND "
                "digest = k.g ORDER BY machine LIMIT $3) d) "
                "SELECT h.i, h.machine, m.seq, m.token FROM h LEFT JOIN vrel_machine m "
                "ON m.id = h.machine AND h.n < $4 ORDER BY h.i, h.machine",
                {Components(keys), Digests(keys), static_cast<std::int64_t>(limit),
                 static_cast<std::int64_t>(sharedAt)});
    std::map<MachineId, int> loaded;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      const MachineId id = PgNumber(rows, row, 1);
      found.holders[static_cast<std::size_t>(PgNumber(rows, row, 0) - 1)].push_back(id);
      if (!PQgetisnull(rows.get(), row, 2)) loaded.emplace(id, row);
    }
    for (const auto& [id, row] : loaded)
      found.machines.push_back({id, PgNumber(rows, row, 2), Token(rows, row, 3)});
    return found;
  }

  std::vector<StoredMachine> Load(const std::vector<MachineId>& ids) override {
    std::vector<StoredMachine> result;
    if (ids.empty()) return result;
    const PgResult rows =
        db_.Run("load", "SELECT id, seq, token FROM vrel_machine WHERE id = ANY($1::int8[])",
                {PgArray(ids, [](MachineId id) { return id; })});
    std::map<MachineId, int> found;
    for (int row = 0; row < PQntuples(rows.get()); ++row) found[PgNumber(rows, row, 0)] = row;
    for (MachineId id : ids) {
      const auto at = found.find(id);
      if (at != found.end())
        result.push_back({id, PgNumber(rows, at->second, 1), Token(rows, at->second, 2)});
    }
    return result;
  }

  std::optional<MachineRow> Row(MachineId id) override {
    const PgResult rows = db_.Run(
        "row", "SELECT seq, first_seen, since, last_seen, token FROM vrel_machine WHERE id = $1",
        {id});
    if (PQntuples(rows.get()) == 0) return std::nullopt;
    return MachineRow{id,
                      PgNumber(rows, 0, 0),
                      PgNumber(rows, 0, 1),
                      PgNumber(rows, 0, 2),
                      PgNumber(rows, 0, 3),
                      PgBytes(rows, 0, 4)};
  }

  MachineId Create(const NewMachine& machine) override {
    const PgResult rows = db_.Run(
        "create",
        "WITH m AS (INSERT INTO vrel_machine(id, seq, first_seen, since, last_seen, token) "
        "VALUES (nextval('vrel_machine_ids'), nextval('vrel_enroll_sequence'), $1, $1, $1, $2) "
        "RETURNING id), "
        "d AS (INSERT INTO vrel_digest SELECT k.c, k.g, m.id FROM m, "
        "unnest($3::int2[], $4::int8[]) AS k(c, g) ON CONFLICT DO NOTHING) SELECT id FROM m",
        {machine.now, PgByteaText(machine.token), Components(machine.keys), Digests(machine.keys)});
    return PgNumber(rows, 0, 0);
  }

  void Apply(const RenewPlan& plan) override {
    if (plan.changed) {
      db_.Run("renew_index",
              "WITH gone AS (DELETE FROM vrel_digest WHERE machine = $1 AND (component, digest) "
              "IN (SELECT * FROM unnest($2::int2[], $3::int8[]))) "
              "INSERT INTO vrel_digest SELECT k.c, k.g, $1 FROM unnest($4::int2[], $5::int8[]) "
              "AS k(c, g) ON CONFLICT DO NOTHING",
              {plan.id, Components(plan.gone), Digests(plan.gone), Components(plan.come),
               Digests(plan.come)});
    }
    if (plan.keep) {
      const HistoryRow& kept = plan.kept;
      db_.Run("history_keep",
              "INSERT INTO vrel_history(machine, version, token, first_seen, last_seen) "
              "VALUES ($1, $2, $3, $4, $5)",
              {kept.machine, kept.version, PgByteaText(kept.token), kept.firstSeen, kept.lastSeen});
    }
    if (plan.changed) {
      db_.Run("history_trim",
              "DELETE FROM vrel_history WHERE machine = $1 AND version NOT IN "
              "(SELECT version FROM vrel_history WHERE machine = $1 ORDER BY version DESC "
              "LIMIT $2)",
              {plan.id, static_cast<std::int64_t>(plan.historyRows)});
    }
    db_.Run("renew_write",
            "UPDATE vrel_machine SET seq = nextval('vrel_enroll_sequence'), last_seen = $2, "
            "since = CASE WHEN $3 THEN $2 ELSE since END, token = $4 WHERE id = $1",
            {plan.id, plan.now, plan.changed ? "true" : "false", PgByteaText(plan.token)});
  }

  void Apply(const RemovePlan& plan) override {
    licences_.Release(plan.id, plan.now);
    db_.Run("remove",
            "WITH d AS (DELETE FROM vrel_digest WHERE machine = $1 AND (component, digest) IN "
            "(SELECT * FROM unnest($2::int2[], $3::int8[]))), "
            "h AS (DELETE FROM vrel_history WHERE machine = $1) "
            "DELETE FROM vrel_machine WHERE id = $1",
            {plan.id, Components(plan.keys), Digests(plan.keys)});
  }

  void Apply(const ImportBatch& batch) override {
    CopyRows machines, index, history;
    for (const MachineRow& m : batch.machines) {
      (machines << m.id << m.sequence << m.firstSeen << m.since << m.lastSeen).Bytes(m.token).End();
    }
    for (const IndexRow& i : batch.index) {
      (index << static_cast<std::int64_t>(i.key.component)
             << static_cast<std::int64_t>(i.key.digest) << i.machine)
          .End();
    }
    for (const HistoryRow& h : batch.history) {
      (history << h.machine << h.version).Bytes(h.token) << h.firstSeen << h.lastSeen;
      history.End();
    }
    db_.Copy("COPY vrel_machine(id, seq, first_seen, since, last_seen, token) FROM STDIN",
             machines.text());
    db_.Copy("COPY vrel_digest(component, digest, machine) FROM STDIN", index.text());
    db_.Copy("COPY vrel_history(machine, version, token, first_seen, last_seen) FROM STDIN",
             history.text());
    db_.Run("counters",
            "SELECT setval('vrel_machine_ids', greatest($1, (SELECT last_value FROM "
            "vrel_machine_ids))), setval('vrel_enroll_sequence', greatest($2, (SELECT "
            "last_value FROM vrel_enroll_sequence)))",
            {batch.largestId, batch.largestSequence});
  }

  Page Machines(MachineId after, std::size_t limit) override {
    Page page;
    const PgResult machines = db_.Run(
        "page_machines",
        "SELECT id, seq, first_seen, since, last_seen, token FROM vrel_machine WHERE id > $1 "
        "ORDER BY id LIMIT $2",
        {after, static_cast<std::int64_t>(limit)});
    for (int row = 0; row < PQntuples(machines.get()); ++row) {
      page.machines.push_back({PgNumber(machines, row, 0), PgNumber(machines, row, 1),
                               PgNumber(machines, row, 2), PgNumber(machines, row, 3),
                               PgNumber(machines, row, 4), PgBytes(machines, row, 5)});
    }
    if (page.machines.empty()) return page;
    const PgResult history =
        db_.Run("page_history",
                "SELECT machine, version, token, first_seen, last_seen FROM vrel_history "
                "WHERE machine > $1 AND machine <= $2 ORDER BY machine, version DESC",
                {after, page.machines.back().id});
    for (int row = 0; row < PQntuples(history.get()); ++row) {
      page.history.push_back({PgNumber(history, row, 0), PgNumber(history, row, 1),
                              PgBytes(history, row, 2), PgNumber(history, row, 3),
                              PgNumber(history, row, 4)});
    }
    return page;
  }

  std::int64_t MachineCount() override {
    return PgNumber(db_.Run("SELECT count(*) FROM vrel_machine", {}), 0, 0);
  }

  std::vector<SharedDigest> Shared(std::size_t sharedAt) override {
    const PgResult rows = db_.Run(
        "SELECT component, digest, count(*) FROM vrel_digest GROUP BY component, digest "
        "HAVING count(*) >= $1 ORDER BY 3 DESC, 1, 2",
        {static_cast<std::int64_t>(sharedAt)});
    std::vector<SharedDigest> result;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      result.push_back({{static_cast<ComponentId>(PgNumber(rows, row, 0)),
                         static_cast<std::uint64_t>(PgNumber(rows, row, 1))},
                        PgNumber(rows, row, 2)});
    }
    return result;
  }

 private:
  std::int64_t SchemaVersion() {
    return PgNumber(db_.Run("SELECT value FROM vrel_meta WHERE key = 'schema'", {}), 0, 0);
  }

  // Within the writing transaction just begun, under the schema lock, so that
  // two first writers do not both add the tables.
  void Upgrade() {
    db_.Run("SELECT pg_advisory_xact_lock($1)", {kSchemaLock});
    if (SchemaVersion() < kSchemaVersion) {
      std::string problem;
      db_.Script(PostgresLicenceSchema(), problem);
      if (!problem.empty()) {
        throw StorageError("cannot add the licences' tables: " + problem +
                           " (the role needs CREATE on the registry's schema)");
      }
    }
    licenceTables_ = true;
  }

  bool HasTables() {
    return PgValue(db_.Run("SELECT to_regclass('vrel_meta') IS NOT NULL", {}), 0, 0) == "t";
  }

  // One multi-statement query runs as one transaction: the tables come
  // whole or not at all.
  void MakeTables(const std::string& schema) {
    db_.Run("SELECT pg_advisory_lock($1)", {kSchemaLock});
    std::string problem;
    if (!HasTables()) db_.Script(PostgresSchema(), problem);
    db_.Run("SELECT pg_advisory_unlock($1)", {kSchemaLock});
    if (!problem.empty()) {
      throw StorageError("cannot make the registry's tables in schema \"" + schema +
                         "\": " + problem +
                         " (the role needs CREATE on that schema, or to own the database)");
    }
  }

  PgConnection db_;
  std::int64_t version_ = 0;    // as last committed
  bool licenceTables_ = false;  // in what this transaction sees
  PostgresLicences licences_;
  bool claimedRegistry_ = false;
};

std::unique_ptr<Storage> Open(const std::string& uri, OpenMode mode) {
  return std::make_unique<PostgresStorage>(uri, mode);
}

[[maybe_unused]] const bool kRegisteredPostgresql = RegisterBackend("postgresql", Open);
[[maybe_unused]] const bool kRegisteredPostgres = RegisterBackend("postgres", Open);

}  // namespace
}  // namespace vrel::registry
