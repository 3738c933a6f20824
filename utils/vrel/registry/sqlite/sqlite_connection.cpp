#include "vrel/registry/sqlite/sqlite_connection.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "vrel/registry/sqlite/sqlite_schema.h"

namespace vrel::registry {
namespace {

// `path` as a URI filename, so that SQLite takes it as a path whatever it
// holds (a "file:" or "?" of its own included) and the open's mode can be
// given: "file:" and the path with %, ? and # escaped; an absolute path after
// an empty authority.
std::string UriFilename(const std::string& path, const char* query) {
  std::string uri = path[0] == '/' ? "file://" : "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[c & 15];
    } else {
      uri += c;
    }
  }
  return uri + '?' + query;
}

bool FileHasBytes(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

}  // namespace

SqliteConnection::SqliteConnection(const std::string& path, OpenMode mode, int busyMilliseconds)
    : busyMilliseconds_(busyMilliseconds) {
  if (path.empty()) throw StorageError("no database path given");
  OpenFile(path, mode, false);
  State state;
  try {
    state = ReadState();
  } catch (const StorageError&) {
    // A registry in a folder this user may not write: SQLite cannot make the
    // write-ahead log's index beside it. With no log left by a writer, the
    // file alone is the whole registry and may be read as it is.
    const int code = sqlite3_extended_errcode(db_.get()) & 0xff;
    if (mode != OpenMode::kRead || (code != SQLITE_READONLY && code != SQLITE_CANTOPEN) ||
        FileHasBytes(path + "-wal")) {
      throw;
    }
    OpenFile(path, mode, true);
    state = ReadState();
  }
  CheckSchemaVersion(state.version, path);
  if (state.version == 0) {
    // Nothing is written before the file is known to be empty: another
    // program's database stays as it was.
    if (!state.empty) throw StorageError(path + " is not a vrel registry database");
    if (mode != OpenMode::kCreate) throw StorageError("no registry database at " + path);
    CreateSchema(path);
    state.version = kSchemaVersion;
  }
  version_ = state.version;
  Exec("PRAGMA synchronous=FULL");
  // Enrolling inserts random keys all over the digest index: a cache that
  // holds the index's inner pages keeps each insert to a page or two.
  Exec("PRAGMA cache_size=-131072");  // KiB: 128 MiB at the most, taken as used
  Exec("PRAGMA foreign_keys=ON");     // SQLite leaves them off unless asked
  // Pages read from a mapping of the file rather than copied in by a system
  // call each: what identify spends at a million machines, whose pages no
  // longer fit the processor's caches, beyond the page lookups themselves.
  Exec("PRAGMA mmap_size=2147418112");  // 2 GiB, SQLite's usual ceiling
}

void SqliteConnection::OpenFile(const std::string& path, OpenMode mode, bool immutable) {
  const char* query = immutable                  ? "immutable=1"
                      : mode == OpenMode::kRead  ? "mode=ro"
                      : mode == OpenMode::kWrite ? "mode=rw"
                                                 : "mode=rwc";
  const int access = mode == OpenMode::kRead    ? SQLITE_OPEN_READONLY
                     : mode == OpenMode::kWrite ? SQLITE_OPEN_READWRITE
                                                : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(UriFilename(path, query).c_str(), &raw,
                                 access | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    if (rc == SQLITE_CANTOPEN && mode != OpenMode::kCreate)
      throw StorageError("no registry database at " + path);
    Fail("cannot open " + path);
  }
  sqlite3_busy_timeout(db_.get(), busyMilliseconds_);
  sqlite3_extended_result_codes(db_.get(), 1);
}

void SqliteConnection::Fail(const std::string& what) {
  const int code = db_ ? sqlite3_extended_errcode(db_.get()) : SQLITE_NOMEM;
  if ((code & 0xff) == SQLITE_BUSY)
    throw StorageError(what + ": the database stayed busy (locked by another process) ");
  throw StorageError(what + ": " + (db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(code)));
}

void SqliteConnection::Exec(const char* sql) {
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

void SqliteConnection::ExecWaiting(const char* sql) {
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

SqliteStmt SqliteConnection::PrepareOnce(const char* sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr) != SQLITE_OK)
    Fail("cannot prepare a query");
  return SqliteStmt(raw);
}

sqlite3_stmt* SqliteConnection::Prepare(SqliteStmt& slot, const char* sql) {
  if (!slot) slot = PrepareOnce(sql);
  sqlite3_reset(slot.get());
  sqlite3_clear_bindings(slot.get());
  return slot.get();
}

bool SqliteConnection::Step(sqlite3_stmt* stmt) {
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return true;
  sqlite3_reset(stmt);
  if (rc != SQLITE_DONE) Fail("a registry query failed");
  return false;
}

void SqliteConnection::Run(sqlite3_stmt* stmt) {
  while (Step(stmt)) {
  }
}

// One statement, so one snapshot: another process making the registry at
// the same time is seen either before it began or once it committed.
SqliteConnection::State SqliteConnection::ReadState() {
  SqliteStmt stmt = PrepareOnce(
      "SELECT (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM "
      "sqlite_schema)");
  if (!Step(stmt.get())) Fail("cannot read the schema version");
  return {sqlite3_column_int(stmt.get(), 0), sqlite3_column_int(stmt.get(), 1) == 0};
}

// Two processes making the same database at once: the second finds the
// schema made once it holds the write lock.
void SqliteConnection::CreateSchema(const std::string& path) {
  ExecWaiting("PRAGMA journal_mode=WAL");
  ExecWaiting("BEGIN IMMEDIATE");
  try {
    const State state = ReadState();
    if (state.version == 0 && !state.empty)
      throw StorageError(path + " is not a vrel registry database");
    if (state.version == 0) Exec(SqliteSchema().c_str());
    Exec("COMMIT");
  } catch (...) {
    if (InTransaction()) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteConnection::CatchUp(bool write) {
  upgraded_ = false;
  if (version_ >= kSchemaVersion) return;
  version_ = ReadState().version;
  if (write && version_ < kSchemaVersion) {
    Exec(SqliteLicenceSchema().c_str());
    version_ = kSchemaVersion;
    upgraded_ = true;
  }
}

void SqliteConnection::Settle() {
  if (!upgraded_) return;
  upgraded_ = false;
  version_ = kSchemaVersion - 1;  // read again at the next CatchUp should this fail
  version_ = ReadState().version;
}

void BindKey(sqlite3_stmt* stmt, const DigestKey& key) {
  sqlite3_bind_int(stmt, 1, static_cast<int>(key.component));
  sqlite3_bind_int64(stmt, 2, static_cast<sqlite3_int64>(key.digest));
}

void BindBlob(sqlite3_stmt* stmt, int index, const std::string& blob) {
  sqlite3_bind_blob(stmt, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
}

std::string ColumnBlob(sqlite3_stmt* stmt, int column) {
  const void* data = sqlite3_column_blob(stmt, column);
  return std::string(
      static_cast<const char*>(data),
      data != nullptr ? static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)) : 0);
}

}  // namespace vrel::registry

namespace vrel::registry {

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                       static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                         : std::string();
}

}  // namespace vrel::registry
