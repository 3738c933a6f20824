// One libpq connection: statements prepared once per connection and run with
// text parameters, a reader's BEGIN sent with its first statement, COPY, and
// errors as StorageError (RetryableError for a lost race). A connection found
// broken at the start of a transaction is made again.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vrel/registry/storage.h"

namespace vrel::registry {

struct PgFinish {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct PgClear {
  void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, PgClear>;

// A statement's parameter: a number, or text that outlives the statement.
// Trivially destroyed, so a list of them costs a call site no clean-up.
struct PgParam {
  PgParam(std::int64_t value) : number(value), isNumber(true) {}
  PgParam(const std::string& value) : text(value.c_str()) {}
  PgParam(const char* value) : text(value) {}
  const char* text = nullptr;
  std::int64_t number = 0;
  bool isNumber = false;
};

class PgConnection {
 public:
  explicit PgConnection(const std::string& uri);

  // Before a transaction: a connection the server ended is made again.
  void Reconnect();
  // The next statement goes with `begin`, in one round trip.
  void BeginWithNext(const char* begin) { pendingBegin_ = begin; }
  bool BeginPending() const { return pendingBegin_ != nullptr; }
  void DropPendingBegin() { pendingBegin_ = nullptr; }
  bool Idle() const { return PQtransactionStatus(connection_.get()) == PQTRANS_IDLE; }
  void RollbackQuietly();

  // Runs `sql`, prepared once per connection under `name`.
  PgResult Run(const char* name, const char* sql, std::initializer_list<PgParam> params);
  // The same, unprepared: for statements run once or rarely.
  PgResult Run(const char* sql, std::initializer_list<PgParam> params);
  // Several statements in one text, no parameters; the server runs them as one transaction.
  void Script(const std::string& sql, std::string& problem);
  // COPY ... FROM STDIN with `rows` in COPY's text format.
  void Copy(const char* sql, const std::string& rows);

 private:
  PgResult BeginWith(const char* name, const std::vector<const char*>& values);
  PgResult Check(PgResult result);

  std::unique_ptr<PGconn, PgFinish> connection_;
  std::map<std::string, bool> prepared_;
  const char* pendingBegin_ = nullptr;
};

std::string PgFirstLine(const char* message);
std::string PgValue(const PgResult& rows, int row, int column);
std::int64_t PgNumber(const PgResult& rows, int row, int column);
// A bytea column's bytes.
std::string PgBytes(const PgResult& rows, int row, int column);
// A bytea parameter: "\x" and hex.
std::string PgByteaText(const std::string& bytes);

// A PostgreSQL array literal of integers: "{1,2,3}".
template <typename Values, typename Pick>
std::string PgArray(const Values& values, Pick pick) {
  std::string text = "{";
  for (const auto& value : values) {
    if (text.size() > 1) text += ',';
    text += std::to_string(pick(value));
  }
  return text + "}";
}

}  // namespace vrel::registry
