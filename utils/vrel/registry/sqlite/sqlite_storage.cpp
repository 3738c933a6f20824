// The SQLite backend's statements (the tables: sqlite_schema.cpp).
#include "vrel/registry/sqlite/sqlite_storage.h"

#include "vrel/registry/sqlite/sqlite_connection.h"
#include "vrel/registry/sqlite/sqlite_licences.h"

namespace vrel::registry {
namespace {

class SqliteStorage final : public Storage {
 public:
  SqliteStorage(const std::string& path, OpenMode mode, int busyMilliseconds)
      : Storage({4096, false}), db_(path, mode, busyMilliseconds), licences_(db_) {}

  LicenceStorage& licences() override { return licences_; }

  void Begin(Access access) override {
    db_.ExecWaiting(access == Access::kRead ? "BEGIN" : "BEGIN IMMEDIATE");
    db_.CatchUp(access != Access::kRead);
  }
  void Commit() override {
    db_.Exec("COMMIT");
    db_.Settle();
  }
  void Rollback() noexcept override {
    if (db_.InTransaction()) {
      try {
        db_.Exec("ROLLBACK");
      } catch (const StorageError&) {  // SQLite has rolled back on its own
      }
    }
    try {
      db_.Settle();
    } catch (const StorageError&) {  // read again at the next Begin
    }
  }
  // Never asked: a writer holds the whole database from its BEGIN IMMEDIATE.
  void Claim(const std::vector<DigestKey>&, const std::vector<MachineId>&) override {}

  std::vector<std::vector<MachineId>> Holders(const std::vector<DigestKey>& keys,
                                              std::size_t limit) override {
    sqlite3_stmt* stmt = db_.Prepare(
        holders_,
        "SELECT machine FROM digest WHERE component=?1 AND digest=?2 ORDER BY machine LIMIT ?3");
    std::vector<std::vector<MachineId>> result;
    for (const DigestKey& key : keys) {
      sqlite3_reset(stmt);
      BindKey(stmt, key);
      sqlite3_bind_int64(stmt, 3, static_cast<sqlite3_int64>(limit));
      auto& ids = result.emplace_back();
      while (db_.Step(stmt)) ids.push_back(sqlite3_column_int64(stmt, 0));
    }
    return result;
  }

  std::vector<StoredMachine> Load(const std::vector<MachineId>& ids) override {
    sqlite3_stmt* stmt = db_.Prepare(load_, "SELECT seq, token FROM machine WHERE id=?1");
    std::vector<StoredMachine> result;
    for (MachineId id : ids) {
      sqlite3_reset(stmt);
      sqlite3_bind_int64(stmt, 1, id);
      if (!db_.Step(stmt)) continue;
      const std::string token = ColumnBlob(stmt, 1);
      result.push_back(
          {id, sqlite3_column_int64(stmt, 0), DecodeStoredToken(token.data(), token.size())});
    }
    sqlite3_reset(stmt);
    return result;
  }

  Gathered Gather(const std::vector<DigestKey>& keys, std::size_t limit,
                  std::size_t sharedAt) override {
    return GatherInSteps(*this, keys, limit, sharedAt);
  }

  std::optional<MachineRow> Row(MachineId id) override {
    sqlite3_stmt* stmt = db_.Prepare(
        row_, "SELECT seq, first_seen, since, last_seen, token FROM machine WHERE id=?1");
    sqlite3_bind_int64(stmt, 1, id);
    if (!db_.Step(stmt)) return std::nullopt;
    MachineRow row{id,
                   sqlite3_column_int64(stmt, 0),
                   sqlite3_column_int64(stmt, 1),
                   sqlite3_column_int64(stmt, 2),
                   sqlite3_column_int64(stmt, 3),
                   ColumnBlob(stmt, 4)};
    sqlite3_reset(stmt);
    return row;
  }

  MachineId Create(const NewMachine& machine) override {
    const MachineId id = NextCounter("next_id");
    InsertMachine(
        {id, NextCounter("next_seq"), machine.now, machine.now, machine.now, machine.token});
    for (const DigestKey& key : machine.keys) Index(key, id, true);
    return id;
  }

  void Apply(const RenewPlan& plan) override {
    for (const DigestKey& key : plan.gone) Index(key, plan.id, false);
    for (const DigestKey& key : plan.come) Index(key, plan.id, true);
    if (plan.keep) InsertHistory(plan.kept);
    if (plan.changed) {
      db_.Run(
          Bind(db_.Prepare(history_trim_,
                           "DELETE FROM history WHERE machine=?1 AND version NOT IN (SELECT "
                           "version FROM history WHERE machine=?1 ORDER BY version DESC LIMIT ?2)"),
               plan.id, static_cast<std::int64_t>(plan.historyRows)));
    }
    const std::int64_t sequence = NextCounter("next_seq");
    db_.Run(Bind(db_.Prepare(renew_,
                             "UPDATE machine SET seq=?2, last_seen=?3, since=CASE WHEN ?4 THEN ?3 "
                             "ELSE since END, token=?5 WHERE id=?1"),
                 plan.id, sequence, plan.now, std::int64_t{plan.changed}, Blob{plan.token}));
  }

  void Apply(const RemovePlan& plan) override {
    licences_.Release(plan.id, plan.now);
    for (const DigestKey& key : plan.keys) Index(key, plan.id, false);
    for (const char* sql :
         {"DELETE FROM history WHERE machine=?1", "DELETE FROM machine WHERE id=?1"}) {
      SqliteStmt stmt = db_.PrepareOnce(sql);
      sqlite3_bind_int64(stmt.get(), 1, plan.id);
      db_.Run(stmt.get());
    }
  }

  void Apply(const ImportBatch& batch) override {
    for (const MachineRow& row : batch.machines) InsertMachine(row);
    for (const IndexRow& row : batch.index) Index(row.key, row.machine, true);
    for (const HistoryRow& row : batch.history) InsertHistory(row);
    SqliteStmt counters = db_.PrepareOnce(
        "UPDATE meta SET value = max(value, CASE key WHEN 'next_id' THEN ?1 ELSE ?2 END + 1)");
    db_.Run(Bind(counters.get(), batch.largestId, batch.largestSequence));
  }

  Page Machines(MachineId after, std::size_t limit) override {
    Page page;
    sqlite3_stmt* machines = db_.Prepare(
        page_machines_,
        "SELECT id, seq, first_seen, since, last_seen, token FROM machine WHERE id > ?1 "
        "ORDER BY id LIMIT ?2");
    sqlite3_bind_int64(machines, 1, after);
    sqlite3_bind_int64(machines, 2, static_cast<sqlite3_int64>(limit));
    while (db_.Step(machines)) {
      page.machines.push_back({sqlite3_column_int64(machines, 0), sqlite3_column_int64(machines, 1),
                               sqlite3_column_int64(machines, 2), sqlite3_column_int64(machines, 3),
                               sqlite3_column_int64(machines, 4), ColumnBlob(machines, 5)});
    }
    if (page.machines.empty()) return page;
    sqlite3_stmt* history =
        db_.Prepare(page_history_,
                    "SELECT machine, version, token, first_seen, last_seen FROM history "
                    "WHERE machine > ?1 AND machine <= ?2 ORDER BY machine, version DESC");
    sqlite3_bind_int64(history, 1, after);
    sqlite3_bind_int64(history, 2, page.machines.back().id);
    while (db_.Step(history)) {
      page.history.push_back({sqlite3_column_int64(history, 0), sqlite3_column_int64(history, 1),
                              ColumnBlob(history, 2), sqlite3_column_int64(history, 3),
                              sqlite3_column_int64(history, 4)});
    }
    return page;
  }

  std::int64_t MachineCount() override {
    SqliteStmt stmt = db_.PrepareOnce("SELECT count(*) FROM machine");
    db_.Step(stmt.get());
    return sqlite3_column_int64(stmt.get(), 0);
  }

  std::vector<SharedDigest> Shared(std::size_t sharedAt) override {
    SqliteStmt stmt = db_.PrepareOnce(
        "SELECT component, digest, count(*) AS n FROM digest GROUP BY component, digest "
        "HAVING n >= ?1 ORDER BY n DESC, component, digest");
    sqlite3_bind_int64(stmt.get(), 1, static_cast<sqlite3_int64>(sharedAt));
    std::vector<SharedDigest> result;
    while (db_.Step(stmt.get())) {
      result.push_back({{static_cast<ComponentId>(sqlite3_column_int(stmt.get(), 0)),
                         static_cast<std::uint64_t>(sqlite3_column_int64(stmt.get(), 1))},
                        sqlite3_column_int64(stmt.get(), 2)});
    }
    return result;
  }

 private:
  void InsertMachine(const MachineRow& row) {
    db_.Run(Bind(db_.Prepare(insert_machine_,
                             "INSERT INTO machine(id, seq, first_seen, since, last_seen, token) "
                             "VALUES(?1, ?2, ?3, ?4, ?5, ?6)"),
                 row.id, row.sequence, row.firstSeen, row.since, row.lastSeen, Blob{row.token}));
  }

  void InsertHistory(const HistoryRow& row) {
    db_.Run(Bind(db_.Prepare(insert_history_,
                             "INSERT INTO history(machine, version, token, first_seen, last_seen) "
                             "VALUES(?1, ?2, ?3, ?4, ?5)"),
                 row.machine, row.version, Blob{row.token}, row.firstSeen, row.lastSeen));
  }

  void Index(const DigestKey& key, MachineId id, bool add) {
    sqlite3_stmt* stmt =
        add ? db_.Prepare(index_add_,
                          "INSERT OR IGNORE INTO digest(component, digest, machine) "
                          "VALUES(?1, ?2, ?3)")
            : db_.Prepare(index_remove_,
                          "DELETE FROM digest WHERE component=?1 AND digest=?2 AND machine=?3");
    BindKey(stmt, key);
    sqlite3_bind_int64(stmt, 3, id);
    db_.Run(stmt);
  }

  std::int64_t NextCounter(const char* name) {
    sqlite3_stmt* stmt =
        db_.Prepare(counter_, "UPDATE meta SET value=value+1 WHERE key=?1 RETURNING value-1");
    sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
    if (!db_.Step(stmt)) throw StorageError("the registry's counters are missing");
    const std::int64_t value = sqlite3_column_int64(stmt, 0);
    db_.Run(stmt);
    return value;
  }

  SqliteConnection db_;
  SqliteLicences licences_;
  SqliteStmt holders_, load_, row_, insert_machine_, insert_history_, history_trim_, renew_,
      index_add_, index_remove_, counter_, page_machines_, page_history_;
};

std::unique_ptr<Storage> Open(const std::string& uri, OpenMode mode) {
  return OpenSqliteStorage(uri.substr(uri.find(':') + 1), mode);
}

[[maybe_unused]] const bool kRegistered = RegisterBackend("sqlite", Open);

}  // namespace

std::unique_ptr<Storage> OpenSqliteStorage(const std::string& path, OpenMode mode,
                                           int busyMilliseconds) {
  return std::make_unique<SqliteStorage>(path, mode, busyMilliseconds);
}

}  // namespace vrel::registry
