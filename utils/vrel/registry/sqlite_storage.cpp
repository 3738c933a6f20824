// The SQLite backend. Tables (schema 1, PRAGMA user_version):
//   meta(key, value)                 counters: the next machine id, the next sequence number
//   machine(id, seq, first_seen, since, last_seen, token)
//                                    the latest token, stored compactly (below), and since
//                                    when it is the latest
//   digest(component, digest, machine)   WITHOUT ROWID: the index of latest tokens' strong
//                                    digests, each an 8-byte integer; a lookup is one range
//   history(machine, version, token, first_seen, last_seen)   WITHOUT ROWID: earlier tokens
// Tokens are stored as EncodeStoredToken writes them.
#include "vrel/registry/sqlite_storage.h"

#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

namespace vrel::registry {
namespace {

struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbClose>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

class SqliteStorage final : public Storage {
 public:
  SqliteStorage(const std::string& path, bool create, int busyMilliseconds) {
    if (path.empty()) throw StorageError("no database path given");
    sqlite3* raw = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) {
      if (rc == SQLITE_CANTOPEN && !create) throw StorageError("no registry database at " + path);
      Fail("cannot open " + path);
    }
    sqlite3_busy_timeout(db_.get(), busyMilliseconds);
    busyMilliseconds_ = busyMilliseconds;
    sqlite3_extended_result_codes(db_.get(), 1);
    const int version = UserVersion();
    if (version > kSchemaVersion) {
      throw StorageError(path + " has registry schema " + std::to_string(version) +
                         ", newer than this release's " + std::to_string(kSchemaVersion) +
                         "; use a newer vrel-registry");
    }
    if (version == 0) CreateSchema(path, create);
    Exec("PRAGMA synchronous=FULL");
    // Enrolling inserts random keys all over the digest index: a cache that
    // holds the index's inner pages keeps each insert to a page or two.
    Exec("PRAGMA cache_size=-131072");  // KiB: 128 MiB at the most, taken as used
  }

  void Begin(bool write) override { ExecWaiting(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
  void Commit() override { Exec("COMMIT"); }
  void Rollback() noexcept override {
    if (!sqlite3_get_autocommit(db_.get()))
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }

  std::vector<std::vector<MachineId>> Holders(const std::vector<DigestKey>& keys,
                                              std::size_t limit) override {
    sqlite3_stmt* stmt = Prepare(
        holders_,
        "SELECT machine FROM digest WHERE component=?1 AND digest=?2 ORDER BY machine LIMIT ?3");
    std::vector<std::vector<MachineId>> result;
    for (const DigestKey& key : keys) {
      BindKey(stmt, key);
      sqlite3_bind_int64(stmt, 3, static_cast<sqlite3_int64>(limit));
      auto& ids = result.emplace_back();
      while (Step(stmt)) ids.push_back(sqlite3_column_int64(stmt, 0));
    }
    return result;
  }

  std::vector<StoredMachine> Load(const std::vector<MachineId>& ids) override {
    sqlite3_stmt* stmt = Prepare(load_, "SELECT seq, token FROM machine WHERE id=?1");
    std::vector<StoredMachine> result;
    for (MachineId id : ids) {
      sqlite3_bind_int64(stmt, 1, id);
      if (!Step(stmt)) continue;
      result.push_back(
          {id, sqlite3_column_int64(stmt, 0),
           DecodeStoredToken(sqlite3_column_blob(stmt, 1), sqlite3_column_bytes(stmt, 1))});
      Finish(stmt);
    }
    return result;
  }

  MachineId Create(const Fingerprint& fingerprint, std::int64_t now) override {
    const MachineId id = NextCounter("next_id");
    sqlite3_stmt* stmt = Prepare(insert_machine_,
                                 "INSERT INTO machine(id, seq, first_seen, since, last_seen, "
                                 "token) VALUES(?1, ?2, ?3, ?3, ?3, ?4)");
    sqlite3_bind_int64(stmt, 1, id);
    sqlite3_bind_int64(stmt, 2, NextCounter("next_seq"));
    sqlite3_bind_int64(stmt, 3, now);
    BindBlob(stmt, 4, EncodeStoredToken(fingerprint));
    Run(stmt);
    IndexDigests(id, fingerprint, true);
    return id;
  }

  void Renew(MachineId id, const Fingerprint& fingerprint, std::int64_t now,
             std::size_t historyLimit) override {
    sqlite3_stmt* old =
        Prepare(renew_read_, "SELECT seq, since, last_seen, token FROM machine WHERE id=?1");
    sqlite3_bind_int64(old, 1, id);
    if (!Step(old)) throw MachineError(id, "gone");
    const std::int64_t seq = sqlite3_column_int64(old, 0);
    const std::int64_t since = sqlite3_column_int64(old, 1);
    const std::int64_t lastSeen = sqlite3_column_int64(old, 2);
    const std::string oldBlob(static_cast<const char*>(sqlite3_column_blob(old, 3)),
                              static_cast<std::size_t>(sqlite3_column_bytes(old, 3)));
    Finish(old);
    const std::string blob = EncodeStoredToken(fingerprint);
    const bool changed = blob != oldBlob;
    if (changed) {
      IndexDigests(id, DecodeStoredToken(oldBlob.data(), oldBlob.size()), false);
      IndexDigests(id, fingerprint, true);
      if (historyLimit > 1) {
        sqlite3_stmt* keep = Prepare(history_insert_,
                                     "INSERT INTO history(machine, version, token, first_seen, "
                                     "last_seen) VALUES(?1, ?2, ?3, ?4, ?5)");
        sqlite3_bind_int64(keep, 1, id);
        sqlite3_bind_int64(keep, 2, seq);
        BindBlob(keep, 3, oldBlob);
        sqlite3_bind_int64(keep, 4, since);
        sqlite3_bind_int64(keep, 5, lastSeen);
        Run(keep);
      }
      sqlite3_stmt* trim =
          Prepare(history_trim_,
                  "DELETE FROM history WHERE machine=?1 AND version NOT IN "
                  "(SELECT version FROM history WHERE machine=?1 ORDER BY version DESC LIMIT ?2)");
      sqlite3_bind_int64(trim, 1, id);
      sqlite3_bind_int64(trim, 2,
                         historyLimit > 0 ? static_cast<sqlite3_int64>(historyLimit - 1) : 0);
      Run(trim);
    }
    sqlite3_stmt* update = Prepare(
        renew_write_,
        "UPDATE machine SET seq=?2, last_seen=?3, since=CASE WHEN ?4 THEN ?3 ELSE since END, "
        "token=?5 WHERE id=?1");
    sqlite3_bind_int64(update, 1, id);
    sqlite3_bind_int64(update, 2, NextCounter("next_seq"));
    sqlite3_bind_int64(update, 3, now);
    sqlite3_bind_int(update, 4, changed ? 1 : 0);
    BindBlob(update, 5, blob);
    Run(update);
  }

  bool Remove(MachineId id) override {
    const std::vector<StoredMachine> found = Load({id});
    if (found.empty()) return false;
    IndexDigests(id, found.front().latest, false);
    for (const char* sql :
         {"DELETE FROM history WHERE machine=?1", "DELETE FROM machine WHERE id=?1"}) {
      Stmt stmt = PrepareOnce(sql);
      sqlite3_bind_int64(stmt.get(), 1, id);
      Run(stmt.get());
    }
    return true;
  }

  std::optional<MachineRecord> Show(MachineId id) override {
    Stmt machine =
        PrepareOnce("SELECT first_seen, since, last_seen, token, seq FROM machine WHERE id=?1");
    sqlite3_bind_int64(machine.get(), 1, id);
    if (!Step(machine.get())) return std::nullopt;
    MachineRecord record;
    record.id = id;
    record.sequence = sqlite3_column_int64(machine.get(), 4);
    record.firstSeen = sqlite3_column_int64(machine.get(), 0);
    record.lastSeen = sqlite3_column_int64(machine.get(), 2);
    record.history.push_back(
        {TokenText(machine.get(), 3), sqlite3_column_int64(machine.get(), 1), record.lastSeen});
    Stmt history = PrepareOnce(
        "SELECT token, first_seen, last_seen FROM history WHERE machine=?1 ORDER BY version DESC");
    sqlite3_bind_int64(history.get(), 1, id);
    while (Step(history.get())) {
      record.history.push_back({TokenText(history.get(), 0), sqlite3_column_int64(history.get(), 1),
                                sqlite3_column_int64(history.get(), 2)});
    }
    return record;
  }

  std::vector<MachineId> MachinesAfter(MachineId after, std::size_t limit) override {
    Stmt stmt = PrepareOnce("SELECT id FROM machine WHERE id > ?1 ORDER BY id LIMIT ?2");
    sqlite3_bind_int64(stmt.get(), 1, after);
    sqlite3_bind_int64(stmt.get(), 2, static_cast<sqlite3_int64>(limit));
    std::vector<MachineId> ids;
    while (Step(stmt.get())) ids.push_back(sqlite3_column_int64(stmt.get(), 0));
    return ids;
  }

  void Import(const MachineRecord& record) override {
    const std::vector<Fingerprint> tokens = ImportedTokens(record);
    if (!Load({record.id}).empty()) throw MachineError(record.id, "in the registry already");
    Stmt machine = PrepareOnce(
        "INSERT INTO machine(id, seq, first_seen, since, last_seen, token) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    sqlite3_bind_int64(machine.get(), 1, record.id);
    sqlite3_bind_int64(machine.get(), 2, record.sequence);
    sqlite3_bind_int64(machine.get(), 3, record.firstSeen);
    sqlite3_bind_int64(machine.get(), 4, record.history.front().firstSeen);
    sqlite3_bind_int64(machine.get(), 5, record.lastSeen);
    BindBlob(machine.get(), 6, EncodeStoredToken(tokens.front()));
    Run(machine.get());
    IndexDigests(record.id, tokens.front(), true);
    for (std::size_t i = 1; i < tokens.size();
         ++i) {  // versions below the sequence, newest highest
      Stmt keep = PrepareOnce(
          "INSERT INTO history(machine, version, token, first_seen, last_seen) "
          "VALUES(?1, ?2, ?3, ?4, ?5)");
      sqlite3_bind_int64(keep.get(), 1, record.id);
      sqlite3_bind_int64(keep.get(), 2, record.sequence - static_cast<std::int64_t>(i));
      BindBlob(keep.get(), 3, EncodeStoredToken(tokens[i]));
      sqlite3_bind_int64(keep.get(), 4, record.history[i].firstSeen);
      sqlite3_bind_int64(keep.get(), 5, record.history[i].lastSeen);
      Run(keep.get());
    }
    Stmt counters = PrepareOnce(
        "UPDATE meta SET value = max(value, CASE key WHEN 'next_id' THEN ?1 ELSE ?2 END + 1)");
    sqlite3_bind_int64(counters.get(), 1, record.id);
    sqlite3_bind_int64(counters.get(), 2, record.sequence);
    Run(counters.get());
  }

  std::int64_t MachineCount() override {
    Stmt stmt = PrepareOnce("SELECT count(*) FROM machine");
    Step(stmt.get());
    return sqlite3_column_int64(stmt.get(), 0);
  }

  std::vector<SharedDigest> Shared(std::size_t sharedAt) override {
    Stmt stmt = PrepareOnce(
        "SELECT component, digest, count(*) AS n FROM digest GROUP BY component, digest "
        "HAVING n >= ?1 ORDER BY n DESC, component, digest");
    sqlite3_bind_int64(stmt.get(), 1, static_cast<sqlite3_int64>(sharedAt));
    std::vector<SharedDigest> result;
    while (Step(stmt.get())) {
      result.push_back({{static_cast<ComponentId>(sqlite3_column_int(stmt.get(), 0)),
                         static_cast<std::uint64_t>(sqlite3_column_int64(stmt.get(), 1))},
                        sqlite3_column_int64(stmt.get(), 2)});
    }
    return result;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    const int code = db_ ? sqlite3_extended_errcode(db_.get()) : SQLITE_NOMEM;
    if ((code & 0xff) == SQLITE_BUSY)
      throw StorageError(what + ": the database stayed busy (locked by another process) ");
    throw StorageError(what + ": " + (db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(code)));
  }

  void Exec(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }

  // SQLite answers some lock conflicts at once, without its busy handler
  // (while another connection sets up a new database's write-ahead log, for
  // one): those are retried here until the same timeout.
  void ExecWaiting(const char* sql) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(busyMilliseconds_);
    while (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      if ((sqlite3_errcode(db_.get()) & 0xff) != SQLITE_BUSY ||
          std::chrono::steady_clock::now() > deadline) {
        Fail(sql);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  Stmt PrepareOnce(const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr) != SQLITE_OK)
      Fail("cannot prepare a query");
    return Stmt(raw);
  }

  // A statement kept for the connection's life, reset for the next use.
  sqlite3_stmt* Prepare(Stmt& slot, const char* sql) {
    if (!slot) slot = PrepareOnce(sql);
    sqlite3_reset(slot.get());
    sqlite3_clear_bindings(slot.get());
    return slot.get();
  }

  // True for a row; false when done (and the statement is reset).
  bool Step(sqlite3_stmt* stmt) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE) Fail("a registry query failed");
    return false;
  }
  void Finish(sqlite3_stmt* stmt) { sqlite3_reset(stmt); }
  void Run(sqlite3_stmt* stmt) {
    while (Step(stmt)) {
    }
  }

  static void BindKey(sqlite3_stmt* stmt, const DigestKey& key) {
    sqlite3_bind_int(stmt, 1, static_cast<int>(key.component));
    sqlite3_bind_int64(stmt, 2, static_cast<sqlite3_int64>(key.digest));
  }
  static void BindBlob(sqlite3_stmt* stmt, int index, const std::string& blob) {
    sqlite3_bind_blob(stmt, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  }
  static std::string TokenText(sqlite3_stmt* stmt, int column) {
    return FormatToken(
        DecodeStoredToken(sqlite3_column_blob(stmt, column), sqlite3_column_bytes(stmt, column)));
  }

  void IndexDigests(MachineId id, const Fingerprint& fingerprint, bool add) {
    Stmt& slot = add ? digest_insert_ : digest_delete_;
    const char* sql =
        add ? "INSERT OR IGNORE INTO digest(component, digest, machine) VALUES(?1, ?2, ?3)"
            : "DELETE FROM digest WHERE component=?1 AND digest=?2 AND machine=?3";
    for (const DigestKey& key : StrongKeys(fingerprint)) {
      sqlite3_stmt* stmt = Prepare(slot, sql);
      BindKey(stmt, key);
      sqlite3_bind_int64(stmt, 3, id);
      Run(stmt);
    }
  }

  std::int64_t NextCounter(const char* name) {
    sqlite3_stmt* stmt =
        Prepare(counter_, "UPDATE meta SET value=value+1 WHERE key=?1 RETURNING value-1");
    sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
    if (!Step(stmt)) throw StorageError("the registry's counters are missing");
    const std::int64_t value = sqlite3_column_int64(stmt, 0);
    Run(stmt);
    return value;
  }

  int UserVersion() {
    Stmt stmt = PrepareOnce("PRAGMA user_version");
    if (!Step(stmt.get())) Fail("cannot read the schema version");
    return sqlite3_column_int(stmt.get(), 0);
  }

  // Two processes making the same database at once: the second finds the
  // schema made once it holds the write lock.
  void CreateSchema(const std::string& path, bool create) {
    if (!create)
      throw StorageError(IsEmpty() ? "no registry database at " + path
                                   : path + " is not a vrel registry database");
    ExecWaiting("PRAGMA journal_mode=WAL");
    ExecWaiting("BEGIN IMMEDIATE");
    try {
      const int version = UserVersion();
      if (version == 0 && !IsEmpty()) throw StorageError(path + " is not a vrel registry database");
      if (version == 0) {
        Exec(
            "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;"
            "INSERT INTO meta VALUES('next_id', 1), ('next_seq', 1);"
            "CREATE TABLE machine(id INTEGER PRIMARY KEY, seq INTEGER NOT NULL,"
            " first_seen INTEGER NOT NULL, since INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
            " token BLOB NOT NULL);"
            "CREATE TABLE digest(component INTEGER NOT NULL, digest INTEGER NOT NULL,"
            " machine INTEGER NOT NULL, PRIMARY KEY(component, digest, machine)) WITHOUT ROWID;"
            "CREATE TABLE history(machine INTEGER NOT NULL, version INTEGER NOT NULL,"
            " token BLOB NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
            " PRIMARY KEY(machine, version)) WITHOUT ROWID;"
            "PRAGMA user_version=1;");
      }
      Exec("COMMIT");
    } catch (...) {
      Rollback();
      throw;
    }
  }

  bool IsEmpty() {
    Stmt tables = PrepareOnce("SELECT count(*) FROM sqlite_schema");
    if (!Step(tables.get())) Fail("cannot read the schema");
    return sqlite3_column_int(tables.get(), 0) == 0;
  }

  Db db_;
  int busyMilliseconds_ = 0;
  Stmt holders_, load_, insert_machine_, renew_read_, renew_write_, history_insert_, history_trim_,
      digest_insert_, digest_delete_, counter_;
};

}  // namespace

std::unique_ptr<Storage> OpenSqliteStorage(const std::string& path, bool create,
                                           int busyMilliseconds) {
  return std::make_unique<SqliteStorage>(path, create, busyMilliseconds);
}

}  // namespace vrel::registry
