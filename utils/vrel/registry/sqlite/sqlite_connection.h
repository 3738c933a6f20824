// One SQLite connection to a registry file: opening it (read-only where asked,
// and never writing to a file that is not a registry), statements kept for the
// connection's life, and errors as StorageError.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "vrel/registry/storage.h"

namespace vrel::registry {

struct SqliteClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalize {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using SqliteStmt = std::unique_ptr<sqlite3_stmt, SqliteFinalize>;

class SqliteConnection {
 public:
  // Opens the registry at `path`; with kCreate a missing or empty file becomes
  // one. A writer waits up to `busyMilliseconds` for another process's lock.
  SqliteConnection(const std::string& path, OpenMode mode, int busyMilliseconds);

  void Exec(const char* sql);
  // Exec that retries the lock conflicts SQLite answers at once, without its
  // busy handler, until the busy timeout.
  void ExecWaiting(const char* sql);
  bool InTransaction() const { return !sqlite3_get_autocommit(db_.get()); }

  // The schema of what this connection sees: the file's, or kSchemaVersion
  // once UpgradeInTransaction made it so in the open transaction.
  int version() const { return version_; }
  // At the start of a transaction on a file of an older schema: reads the
  // schema again (another process may have upgraded it) and, in a writing
  // one, brings it to kSchemaVersion, committed or rolled back with the
  // transaction. Rolled back, Settle() reads the version again.
  void CatchUp(bool write);
  void Settle();

  SqliteStmt PrepareOnce(const char* sql);
  // A statement kept in `slot` for the connection's life, reset for this use.
  sqlite3_stmt* Prepare(SqliteStmt& slot, const char* sql);
  // True for a row; false when done (and the statement is reset).
  bool Step(sqlite3_stmt* stmt);
  void Run(sqlite3_stmt* stmt);

  [[noreturn]] void Fail(const std::string& what);

 private:
  void OpenFile(const std::string& path, OpenMode mode, bool immutable);
  struct State {
    int version = 0;     // user_version: the registry's schema, 0 for none
    bool empty = false;  // no table at all: a new file
  };
  State ReadState();
  void CreateSchema(const std::string& path);

  std::unique_ptr<sqlite3, SqliteClose> db_;
  int busyMilliseconds_;
  int version_ = 0;
  bool upgraded_ = false;  // in the open transaction
};

void BindKey(sqlite3_stmt* stmt, const DigestKey& key);
void BindBlob(sqlite3_stmt* stmt, int index, const std::string& blob);
std::string ColumnBlob(sqlite3_stmt* stmt, int column);
std::string ColumnText(sqlite3_stmt* stmt, int column);

// A blob parameter of Bind.
struct Blob {
  const std::string& bytes;
};
inline void BindOne(sqlite3_stmt* stmt, int index, std::int64_t value) {
  sqlite3_bind_int64(stmt, index, value);
}
inline void BindOne(sqlite3_stmt* stmt, int index, const Blob& blob) {
  BindBlob(stmt, index, blob.bytes);
}
inline void BindOne(sqlite3_stmt* stmt, int index, const std::string& text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}
// Binds `values` to ?1, ?2, ... in order; returns the statement.
template <typename... Values>
sqlite3_stmt* Bind(sqlite3_stmt* stmt, const Values&... values) {
  int index = 0;
  (BindOne(stmt, ++index, values), ...);
  return stmt;
}

}  // namespace vrel::registry
