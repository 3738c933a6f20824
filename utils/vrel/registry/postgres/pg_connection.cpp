#include "vrel/registry/postgres/pg_connection.h"

#include <cstdlib>
#include <cstring>

#include "vrel/base/hex_text.h"

namespace vrel::registry {
namespace {

// The parameters as libpq's texts; `numbers` holds those written here.
std::vector<const char*> Texts(std::initializer_list<PgParam> params,
                               std::vector<std::string>& numbers) {
  numbers.reserve(params.size());
  std::vector<const char*> values;
  for (const PgParam& p : params) {
    if (p.isNumber) numbers.push_back(std::to_string(p.number));
    values.push_back(p.isNumber ? numbers.back().c_str() : p.text);
  }
  return values;
}

}  // namespace

std::string PgFirstLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  const std::size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  return text;
}

PgConnection::PgConnection(const std::string& uri) : connection_(PQconnectdb(uri.c_str())) {
  if (!connection_) throw std::bad_alloc();
  if (PQstatus(connection_.get()) != CONNECTION_OK) {
    throw StorageError("cannot connect to the PostgreSQL server: " +
                       PgFirstLine(PQerrorMessage(connection_.get())));
  }
  // The server's notices (a table that exists already, say) are not ours to print.
  PQsetNoticeProcessor(
      connection_.get(), [](void*, const char*) {}, nullptr);
}

void PgConnection::Reconnect() {
  if (PQstatus(connection_.get()) == CONNECTION_OK) return;
  prepared_.clear();
  PQreset(connection_.get());
  if (PQstatus(connection_.get()) != CONNECTION_OK) {
    throw StorageError("cannot connect to the PostgreSQL server again: " +
                       PgFirstLine(PQerrorMessage(connection_.get())));
  }
}

void PgConnection::RollbackQuietly() {
  pendingBegin_ = nullptr;
  if (PQstatus(connection_.get()) == CONNECTION_OK && !Idle())
    PQclear(PQexec(connection_.get(), "ROLLBACK"));
}

PgResult PgConnection::Run(const char* name, const char* sql,
                           std::initializer_list<PgParam> params) {
  if (prepared_.count(name) == 0) {
    Check(PgResult(PQprepare(connection_.get(), name, sql, 0, nullptr)));
    prepared_[name] = true;
  }
  std::vector<std::string> numbers;
  const std::vector<const char*> values = Texts(params, numbers);
  if (pendingBegin_ != nullptr) return BeginWith(name, values);
  return Check(PgResult(PQexecPrepared(connection_.get(), name, static_cast<int>(values.size()),
                                       values.data(), nullptr, nullptr, 0)));
}

// A BEGIN and the statement after it in one pipeline: sent together, their
// results read in order up to the pipeline's end.
PgResult PgConnection::BeginWith(const char* name, const std::vector<const char*>& values) {
  PGconn* c = connection_.get();
  const char* begin = pendingBegin_;
  pendingBegin_ = nullptr;
  const bool sent = PQenterPipelineMode(c) == 1 &&
                    PQsendQueryParams(c, begin, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
                    PQsendQueryPrepared(c, name, static_cast<int>(values.size()), values.data(),
                                        nullptr, nullptr, 0) == 1 &&
                    PQpipelineSync(c) == 1;
  PgResult first, statement;
  for (int idle = 0; sent && idle < 3;) {  // a NULL ends each statement's results
    PgResult next(PQgetResult(c));
    if (!next) {
      ++idle;
      continue;
    }
    idle = 0;
    if (PQresultStatus(next.get()) == PGRES_PIPELINE_SYNC) break;
    (first ? statement : first) = std::move(next);
  }
  PQexitPipelineMode(c);
  Check(std::move(first));
  return Check(std::move(statement));
}

PgResult PgConnection::Run(const char* sql, std::initializer_list<PgParam> params) {
  if (pendingBegin_ != nullptr) {
    const char* begin = pendingBegin_;
    pendingBegin_ = nullptr;
    Run(begin, {});
  }
  std::vector<std::string> numbers;
  const std::vector<const char*> values = Texts(params, numbers);
  return Check(PgResult(PQexecParams(connection_.get(), sql, static_cast<int>(values.size()),
                                     nullptr, values.data(), nullptr, nullptr, 0)));
}

void PgConnection::Script(const std::string& sql, std::string& problem) {
  const PgResult done(PQexec(connection_.get(), sql.c_str()));
  if (!done || PQresultStatus(done.get()) != PGRES_COMMAND_OK)
    problem = PgFirstLine(done ? PQresultErrorMessage(done.get()) : "out of memory");
}

void PgConnection::Copy(const char* sql, const std::string& rows) {
  PGconn* c = connection_.get();
  PgResult start(PQexec(c, sql));
  if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN) {
    Check(std::move(start));  // the server's reason
    throw StorageError("PostgreSQL: COPY did not start");
  }
  constexpr std::size_t kChunk = 1 << 20;
  bool sent = true;
  for (std::size_t at = 0; sent && at < rows.size(); at += kChunk) {
    const std::size_t n = std::min(kChunk, rows.size() - at);
    sent = PQputCopyData(c, rows.data() + at, static_cast<int>(n)) == 1;
  }
  PQputCopyEnd(c, sent ? nullptr : "the rows could not be sent");
  PgResult result(PQgetResult(c));
  while (PgResult more{PQgetResult(c)}) {
  }
  Check(std::move(result));
}

PgResult PgConnection::Check(PgResult result) {
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
  if (PQstatus(connection_.get()) != CONNECTION_OK) {
    throw StorageError("the connection to the PostgreSQL server was lost: " +
                       PgFirstLine(PQerrorMessage(connection_.get())));
  }
  const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  const char* primary =
      result ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  const std::string message =
      PgFirstLine(primary != nullptr ? primary : PQerrorMessage(connection_.get()));
  if (state != nullptr && (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0)) {
    throw RetryableError(message);
  }
  throw StorageError("PostgreSQL: " + message);
}

std::string PgValue(const PgResult& rows, int row, int column) {
  if (row >= PQntuples(rows.get())) throw StorageError("the registry's tables are damaged");
  return PQgetvalue(rows.get(), row, column);
}

std::int64_t PgNumber(const PgResult& rows, int row, int column) {
  return std::atoll(PgValue(rows, row, column).c_str());
}

std::string PgBytes(const PgResult& rows, int row, int column) {
  const std::string text = PgValue(rows, row, column);
  std::vector<std::uint8_t> bytes;
  if (text.compare(0, 2, "\\x") != 0 || !ParseHex(bytes, std::string_view(text).substr(2))) {
    throw StorageError("a stored token is damaged");
  }
  return std::string(bytes.begin(), bytes.end());
}

std::string PgByteaText(const std::string& bytes) {
  std::string text = "\\x";
  AppendHex(text, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return text;
}

}  // namespace vrel::registry
