// The PostgreSQL backend. Tables (schema 1, in the first schema of the role's
// search path; made on first use under an advisory lock, so that two first
// uses do not race):
//   vrel_meta(key, value)               'schema': the schema version
//   vrel_machine(id, seq, first_seen, since, last_seen, token)
//                                       as SQLite's; ids and sequence numbers
//                                       come from the sequences vrel_machine_ids
//                                       and vrel_enroll_sequence (never reused)
//   vrel_digest(component, digest, machine)   the index of latest tokens' strong digests
//   vrel_history(machine, version, token, first_seen, last_seen)
// Concurrency: writers run at READ COMMITTED and claim, with transaction-level
// advisory try-locks, every digest key and machine whose rows they read or
// change, before reading them; a claim another writer holds rolls the
// transaction back as a lost race. Writers of unrelated machines never wait
// for each other, and there is no registry-wide lock. Readers see one snapshot
// (REPEATABLE READ, READ ONLY) and claim nothing.
#include "vrel/registry/postgres_storage.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "vrel/base/hex_text.h"

namespace vrel::registry {
namespace {

struct ConnectionFinish {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClear {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, ConnectionFinish>;
using Result = std::unique_ptr<PGresult, ResultClear>;

// The key of the advisory lock held while the tables are made.
constexpr long long kSchemaLock = 0x7672656c5f736368LL;  // "vrel_sch"

// A lock key for a digest key or a machine: 64 bits mixed from the value and
// a tag, so that the two kinds and the components rarely meet (a meeting only
// makes two writers wait for each other's retry).
long long LockKey(std::uint64_t value, std::uint64_t tag) {
  std::uint64_t x = value ^ (tag * 0x9E3779B97F4A7C15ull);
  x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ull;
  return static_cast<long long>(x ^ (x >> 29));
}

// A PostgreSQL array literal of integers: "{1,2,3}".
template <typename Numbers, typename Pick>
std::string ArrayText(const Numbers& values, Pick pick) {
  std::string text = "{";
  for (const auto& value : values) {
    if (text.size() > 1) text += ',';
    text += std::to_string(pick(value));
  }
  return text + "}";
}

std::string ByteaText(const std::string& bytes) {
  std::string text = "\\x";
  AppendHex(text, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return text;
}

std::string FirstLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  const std::size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  return text;
}

// A statement's parameter: a number, or text that outlives the statement.
// Trivially destroyed, so a list of them costs a call site no clean-up.
struct Param {
  Param(std::int64_t value) : number(value), isNumber(true) {}
  Param(const std::string& value) : text(value.c_str()) {}
  Param(const char* value) : text(value) {}
  const char* text = nullptr;
  std::int64_t number = 0;
  bool isNumber = false;
};

class PostgresStorage final : public Storage {
 public:
  PostgresStorage(const std::string& uri, bool create) : connection_(PQconnectdb(uri.c_str())) {
    if (!connection_) throw std::bad_alloc();
    if (PQstatus(connection_.get()) != CONNECTION_OK) {
      throw StorageError("cannot connect to the PostgreSQL server: " +
                         FirstLine(PQerrorMessage(connection_.get())));
    }
    // The server's notices (a table that exists already, say) are not ours to print.
    PQsetNoticeProcessor(
        connection_.get(), [](void*, const char*) {}, nullptr);
    const std::string schema = Value(Run("SELECT coalesce(current_schema(), '')", {}), 0, 0);
    if (schema.empty()) {
      throw StorageError(
          "the role's search_path names no schema it may use (one that exists, with USAGE)");
    }
    if (!HasTables()) {
      if (!create)
        throw StorageError("no vrel registry in schema \"" + schema + "\" of that database");
      MakeTables(schema);
    }
    const long long version = std::atoll(
        Value(Run("SELECT value FROM vrel_meta WHERE key = 'schema'", {}), 0, 0).c_str());
    if (version > kSchemaVersion) {
      throw StorageError("the database has registry schema " + std::to_string(version) +
                         ", newer than this release's " + std::to_string(kSchemaVersion) +
                         "; use a newer vrel-registry");
    }
  }

  // A reader's BEGIN goes with its first statement, in one round trip.
  void Begin(bool write) override {
    if (write) {
      Run("BEGIN ISOLATION LEVEL READ COMMITTED", {});
    } else {
      beginPending_ = true;
    }
  }
  void Commit() override {
    if (beginPending_) {
      beginPending_ = false;  // nothing was read
      return;
    }
    Run("COMMIT", {});
  }
  void Rollback() noexcept override {
    beginPending_ = false;
    if (PQtransactionStatus(connection_.get()) != PQTRANS_IDLE) {
      PQclear(PQexec(connection_.get(), "ROLLBACK"));
    }
  }

  void ClaimDigests(const std::vector<DigestKey>& keys) override {
    std::vector<long long> locks;
    for (const DigestKey& key : keys) {
      locks.push_back(LockKey(key.digest, static_cast<std::uint64_t>(key.component) + 1));
    }
    Claim(locks, "a digest");
  }
  void ClaimMachines(const std::vector<MachineId>& ids) {
    std::vector<long long> locks;
    for (MachineId id : ids) locks.push_back(LockKey(static_cast<std::uint64_t>(id), 0));
    Claim(locks, "a machine");
  }
  // Each claimed key is a lock slot until commit; PostgreSQL's lock table is
  // shared by every session, so a writer takes few tokens at a time.
  std::size_t GroupLimit() const override { return 32; }

  std::vector<std::vector<MachineId>> Holders(const std::vector<DigestKey>& keys,
                                              std::size_t limit) override {
    std::vector<std::vector<MachineId>> result(keys.size());
    if (keys.empty()) return result;
    const Result rows = Run(
        "holders",
        "SELECT k.i, d.machine FROM unnest($1::int2[], $2::int8[]) WITH ORDINALITY AS k(c, g, i) "
        "CROSS JOIN LATERAL (SELECT machine FROM vrel_digest WHERE component = k.c AND digest = "
        "k.g "
        "ORDER BY machine LIMIT $3) d ORDER BY k.i, d.machine",
        {Components(keys), Digests(keys), Param(limit)});
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      result[static_cast<std::size_t>(Number(rows, row, 0) - 1)].push_back(Number(rows, row, 1));
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
    const Result rows =
        Run("gather",
            "WITH h AS (SELECT k.i, d.machine, count(*) OVER (PARTITION BY k.i) AS n "
            "FROM unnest($1::int2[], $2::int8[]) WITH ORDINALITY AS k(c, g, i) "
            "CROSS JOIN LATERAL (SELECT machine FROM vrel_digest WHERE component = k.c AND digest "
            "= k.g "
            "ORDER BY machine LIMIT $3) d) "
            "SELECT h.i, h.machine, m.seq, m.token FROM h LEFT JOIN vrel_machine m "
            "ON m.id = h.machine AND h.n < $4 ORDER BY h.i, h.machine",
            {Components(keys), Digests(keys), Param(limit), Param(sharedAt)});
    std::map<MachineId, int> loaded;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      const MachineId id = Number(rows, row, 1);
      found.holders[static_cast<std::size_t>(Number(rows, row, 0) - 1)].push_back(id);
      if (!PQgetisnull(rows.get(), row, 2)) loaded.emplace(id, row);
    }
    for (const auto& [id, row] : loaded) {
      found.machines.push_back({id, Number(rows, row, 2), Token(rows, row, 3)});
    }
    return found;
  }

  std::vector<StoredMachine> Load(const std::vector<MachineId>& ids) override {
    std::vector<StoredMachine> result;
    if (ids.empty()) return result;
    const Result rows =
        Run("load", "SELECT id, seq, token FROM vrel_machine WHERE id = ANY($1::int8[])",
            {ArrayText(ids, [](MachineId id) { return id; })});
    std::map<MachineId, int> found;
    for (int row = 0; row < PQntuples(rows.get()); ++row) found[Number(rows, row, 0)] = row;
    for (MachineId id : ids) {
      const auto at = found.find(id);
      if (at != found.end()) {
        result.push_back({id, Number(rows, at->second, 1), Token(rows, at->second, 2)});
      }
    }
    return result;
  }

  MachineId Create(const Fingerprint& fingerprint, std::int64_t now) override {
    const std::vector<DigestKey> keys = StrongKeys(fingerprint);
    const Result rows = Run(
        "create",
        "WITH m AS (INSERT INTO vrel_machine(id, seq, first_seen, since, last_seen, token) "
        "VALUES (nextval('vrel_machine_ids'), nextval('vrel_enroll_sequence'), $1, $1, $1, $2) "
        "RETURNING id), "
        "d AS (INSERT INTO vrel_digest SELECT k.c, k.g, m.id FROM m, unnest($3::int2[], "
        "$4::int8[]) "
        "AS k(c, g) ON CONFLICT DO NOTHING) SELECT id FROM m",
        {Param(now), ByteaText(EncodeStoredToken(fingerprint)), Components(keys), Digests(keys)});
    return Number(rows, 0, 0);
  }

  void Renew(MachineId id, const Fingerprint& fingerprint, std::int64_t now,
             std::size_t historyLimit) override {
    const Result old =
        Run("renew_read", "SELECT seq, since, last_seen, token FROM vrel_machine WHERE id = $1",
            {Param(id)});
    if (PQntuples(old.get()) == 0) throw MachineError(id, "gone");
    const std::string blob = EncodeStoredToken(fingerprint);
    const std::string oldBlob = Bytes(old, 0, 3);
    const bool changed = blob != oldBlob;
    if (changed) {
      // The keys that leave and those that come, apart, so that no row is
      // both deleted and inserted by one statement.
      std::vector<DigestKey> before = StrongKeys(DecodeStoredToken(oldBlob.data(), oldBlob.size()));
      std::vector<DigestKey> after = StrongKeys(fingerprint);
      std::sort(before.begin(), before.end());
      std::sort(after.begin(), after.end());
      std::vector<DigestKey> gone, come;
      std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                          std::back_inserter(gone));
      std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                          std::back_inserter(come));
      Run("renew_index",
          "WITH gone AS (DELETE FROM vrel_digest WHERE machine = $1 AND (component, digest) IN "
          "(SELECT * FROM unnest($2::int2[], $3::int8[]))) "
          "INSERT INTO vrel_digest SELECT k.c, k.g, $1 FROM unnest($4::int2[], $5::int8[]) AS k(c, "
          "g) "
          "ON CONFLICT DO NOTHING",
          {Param(id), Components(gone), Digests(gone), Components(come), Digests(come)});
      if (historyLimit > 1) {
        Run("history_keep",
            "INSERT INTO vrel_history(machine, version, token, first_seen, last_seen) "
            "VALUES ($1, $2, $3, $4, $5)",
            {Param(id), Value(old, 0, 0), ByteaText(oldBlob), Value(old, 0, 1), Value(old, 0, 2)});
      }
      Run("history_trim",
          "DELETE FROM vrel_history WHERE machine = $1 AND version NOT IN "
          "(SELECT version FROM vrel_history WHERE machine = $1 ORDER BY version DESC LIMIT $2)",
          {Param(id), Param(historyLimit > 0 ? historyLimit - 1 : 0)});
    }
    Run("renew_write",
        "UPDATE vrel_machine SET seq = nextval('vrel_enroll_sequence'), last_seen = $2, "
        "since = CASE WHEN $3 THEN $2 ELSE since END, token = $4 WHERE id = $1",
        {Param(id), Param(now), changed ? "true" : "false", ByteaText(blob)});
  }

  bool Remove(MachineId id) override {
    ClaimMachines({id});
    const std::vector<StoredMachine> found = Load({id});
    if (found.empty()) return false;
    const std::vector<DigestKey> keys = StrongKeys(found.front().latest);
    ClaimDigests(keys);
    // The index rows by their keys: the index is ordered by key, not by machine.
    Run("remove",
        "WITH d AS (DELETE FROM vrel_digest WHERE machine = $1 AND (component, digest) IN "
        "(SELECT * FROM unnest($2::int2[], $3::int8[]))), "
        "h AS (DELETE FROM vrel_history WHERE machine = $1) DELETE FROM vrel_machine WHERE id = $1",
        {Param(id), Components(keys), Digests(keys)});
    return true;
  }

  std::optional<MachineRecord> Show(MachineId id) override {
    const Result machine = Run(
        "show", "SELECT seq, first_seen, since, last_seen, token FROM vrel_machine WHERE id = $1",
        {Param(id)});
    if (PQntuples(machine.get()) == 0) return std::nullopt;
    MachineRecord record;
    record.id = id;
    record.sequence = Number(machine, 0, 0);
    record.firstSeen = Number(machine, 0, 1);
    record.lastSeen = Number(machine, 0, 3);
    record.history.push_back(
        {FormatToken(Token(machine, 0, 4)), Number(machine, 0, 2), record.lastSeen});
    const Result history = Run("show_history",
                               "SELECT token, first_seen, last_seen FROM vrel_history "
                               "WHERE machine = $1 ORDER BY version DESC",
                               {Param(id)});
    for (int row = 0; row < PQntuples(history.get()); ++row) {
      record.history.push_back(
          {FormatToken(Token(history, row, 0)), Number(history, row, 1), Number(history, row, 2)});
    }
    return record;
  }

  std::vector<MachineId> MachinesAfter(MachineId after, std::size_t limit) override {
    const Result rows =
        Run("after", "SELECT id FROM vrel_machine WHERE id > $1 ORDER BY id LIMIT $2",
            {Param(after), Param(limit)});
    std::vector<MachineId> ids;
    for (int row = 0; row < PQntuples(rows.get()); ++row) ids.push_back(Number(rows, row, 0));
    return ids;
  }

  void Import(const MachineRecord& record) override {
    const HistoryEntry& latest = record.history.front();
    const std::vector<Fingerprint> tokens = ImportedTokens(record);
    const std::vector<DigestKey> keys = StrongKeys(tokens.front());
    ClaimMachines({record.id});
    ClaimDigests(keys);
    if (!Load({record.id}).empty()) throw MachineError(record.id, "in the registry already");
    Run("import",
        "WITH m AS (INSERT INTO vrel_machine(id, seq, first_seen, since, last_seen, token) "
        "VALUES ($1, $2, $3, $4, $5, $6)), "
        "d AS (INSERT INTO vrel_digest SELECT k.c, k.g, $1 FROM unnest($7::int2[], $8::int8[]) "
        "AS k(c, g) ON CONFLICT DO NOTHING) "
        "SELECT setval('vrel_machine_ids', greatest($1, (SELECT last_value FROM "
        "vrel_machine_ids))), "
        "setval('vrel_enroll_sequence', greatest($2, (SELECT last_value FROM "
        "vrel_enroll_sequence)))",
        {Param(record.id), Param(record.sequence), Param(record.firstSeen), Param(latest.firstSeen),
         Param(record.lastSeen), ByteaText(EncodeStoredToken(tokens.front())), Components(keys),
         Digests(keys)});
    for (std::size_t i = 1; i < record.history.size(); ++i) {
      Run("history_keep",
          "INSERT INTO vrel_history(machine, version, token, first_seen, last_seen) "
          "VALUES ($1, $2, $3, $4, $5)",
          {Param(record.id), Param(record.sequence - static_cast<std::int64_t>(i)),
           ByteaText(EncodeStoredToken(tokens[i])), Param(record.history[i].firstSeen),
           Param(record.history[i].lastSeen)});
    }
  }

  std::int64_t MachineCount() override {
    return Number(Run("SELECT count(*) FROM vrel_machine", {}), 0, 0);
  }

  std::vector<SharedDigest> Shared(std::size_t sharedAt) override {
    const Result rows =
        Run("SELECT component, digest, count(*) FROM vrel_digest GROUP BY component, digest "
            "HAVING count(*) >= $1 ORDER BY 3 DESC, 1, 2",
            {Param(sharedAt)});
    std::vector<SharedDigest> result;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      result.push_back({{static_cast<ComponentId>(Number(rows, row, 0)),
                         static_cast<std::uint64_t>(Number(rows, row, 1))},
                        Number(rows, row, 2)});
    }
    return result;
  }

 private:
  // Runs `sql` with text parameters, prepared once per connection under
  // `name`; throws RetryableError for a lost serialization race or deadlock,
  // StorageError for anything else (a lost connection included).
  Result Run(const char* name, const char* sql, std::initializer_list<Param> params) {
    if (prepared_.count(name) == 0) {
      Check(Result(PQprepare(connection_.get(), name, sql, 0, nullptr)));
      prepared_[name] = true;
    }
    std::vector<std::string> numbers;
    const std::vector<const char*> values = Texts(params, numbers);
    if (beginPending_) {
      beginPending_ = false;
      return BeginWith(name, values);
    }
    return Check(Result(PQexecPrepared(connection_.get(), name, static_cast<int>(values.size()),
                                       values.data(), nullptr, nullptr, 0)));
  }
  // A reader's BEGIN and its first statement in one pipeline: sent together,
  // their results read in order up to the pipeline's end.
  Result BeginWith(const char* name, const std::vector<const char*>& values) {
    PGconn* c = connection_.get();
    const bool sent = PQenterPipelineMode(c) == 1 &&
                      PQsendQueryParams(c, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", 0,
                                        nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
                      PQsendQueryPrepared(c, name, static_cast<int>(values.size()), values.data(),
                                          nullptr, nullptr, 0) == 1 &&
                      PQpipelineSync(c) == 1;
    Result begin, statement;
    for (int idle = 0; sent && idle < 3;) {  // a NULL ends each statement's results
      Result next(PQgetResult(c));
      if (!next) {
        ++idle;
        continue;
      }
      idle = 0;
      if (PQresultStatus(next.get()) == PGRES_PIPELINE_SYNC) break;
      (begin ? statement : begin) = std::move(next);
    }
    PQexitPipelineMode(c);
    Check(std::move(begin));
    return Check(std::move(statement));
  }
  // The same, unprepared: for statements run once or rarely.
  Result Run(const char* sql, std::initializer_list<Param> params) {
    if (beginPending_) {
      beginPending_ = false;
      Run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", {});
    }
    std::vector<std::string> numbers;
    const std::vector<const char*> values = Texts(params, numbers);
    return Check(Result(PQexecParams(connection_.get(), sql, static_cast<int>(values.size()),
                                     nullptr, values.data(), nullptr, nullptr, 0)));
  }
  // The parameters as libpq's texts; `numbers` holds those written here.
  static std::vector<const char*> Texts(std::initializer_list<Param> params,
                                        std::vector<std::string>& numbers) {
    numbers.reserve(params.size());
    std::vector<const char*> values;
    for (const Param& p : params) {
      if (p.isNumber) numbers.push_back(std::to_string(p.number));
      values.push_back(p.isNumber ? numbers.back().c_str() : p.text);
    }
    return values;
  }

  Result Check(Result result) {
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    if (PQstatus(connection_.get()) != CONNECTION_OK) {
      throw StorageError("the connection to the PostgreSQL server was lost: " +
                         FirstLine(PQerrorMessage(connection_.get())));
    }
    const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    const char* primary =
        result ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const std::string message =
        FirstLine(primary != nullptr ? primary : PQerrorMessage(connection_.get()));
    if (state != nullptr &&
        (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0)) {
      throw RetryableError(message);
    }
    throw StorageError("PostgreSQL: " + message);
  }

  void Claim(std::vector<long long> locks, const char* what) {
    if (locks.empty()) return;
    std::sort(locks.begin(), locks.end());
    locks.erase(std::unique(locks.begin(), locks.end()), locks.end());
    const Result rows =
        Run("claim", "SELECT bool_and(pg_try_advisory_xact_lock(k)) FROM unnest($1::int8[]) k",
            {ArrayText(locks, [](long long k) { return k; })});
    if (Value(rows, 0, 0) != "t") {
      throw RetryableError(std::string("another writer holds ") + what + " this one needs");
    }
  }

  bool HasTables() {
    return Value(Run("SELECT to_regclass('vrel_meta') IS NOT NULL", {}), 0, 0) == "t";
  }

  // One multi-statement query runs as one transaction: the tables come
  // whole or not at all.
  void MakeTables(const std::string& schema) {
    const std::string lock = std::to_string(kSchemaLock);
    Run("SELECT pg_advisory_lock($1)", {lock});
    std::string problem;
    if (!HasTables()) {
      const Result made(
          PQexec(connection_.get(),
                 "CREATE TABLE vrel_meta(key text PRIMARY KEY, value bigint NOT NULL);"
                 "INSERT INTO vrel_meta VALUES ('schema', 1);"
                 "CREATE SEQUENCE vrel_machine_ids;"
                 "CREATE SEQUENCE vrel_enroll_sequence;"
                 "CREATE TABLE vrel_machine(id bigint PRIMARY KEY, seq bigint NOT NULL,"
                 " first_seen bigint NOT NULL, since bigint NOT NULL, last_seen bigint NOT NULL,"
                 " token bytea NOT NULL);"
                 "CREATE TABLE vrel_digest(component smallint NOT NULL, digest bigint NOT NULL,"
                 " machine bigint NOT NULL, PRIMARY KEY(component, digest, machine));"
                 "CREATE TABLE vrel_history(machine bigint NOT NULL, version bigint NOT NULL,"
                 " token bytea NOT NULL, first_seen bigint NOT NULL, last_seen bigint NOT NULL,"
                 " PRIMARY KEY(machine, version));"));
      if (!made || PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
        problem = FirstLine(made ? PQresultErrorMessage(made.get()) : "out of memory");
      }
    }
    Run("SELECT pg_advisory_unlock($1)", {lock});
    if (!problem.empty()) {
      throw StorageError("cannot make the registry's tables in schema \"" + schema +
                         "\": " + problem +
                         " (the role needs CREATE on that schema, or to own the database)");
    }
  }

  static std::string Value(const Result& rows, int row, int column) {
    if (row >= PQntuples(rows.get())) throw StorageError("the registry's tables are damaged");
    return PQgetvalue(rows.get(), row, column);
  }
  static std::int64_t Number(const Result& rows, int row, int column) {
    return std::atoll(Value(rows, row, column).c_str());
  }
  static std::string Bytes(const Result& rows, int row, int column) {
    const std::string text = Value(rows, row, column);
    std::vector<std::uint8_t> bytes;
    if (text.compare(0, 2, "\\x") != 0 || !ParseHex(bytes, std::string_view(text).substr(2))) {
      throw StorageError("a stored token is damaged");
    }
    return std::string(bytes.begin(), bytes.end());
  }
  static Fingerprint Token(const Result& rows, int row, int column) {
    const std::string bytes = Bytes(rows, row, column);
    return DecodeStoredToken(bytes.data(), bytes.size());
  }
  static std::string Components(const std::vector<DigestKey>& keys) {
    return ArrayText(keys, [](const DigestKey& k) { return static_cast<int>(k.component); });
  }
  static std::string Digests(const std::vector<DigestKey>& keys) {
    return ArrayText(keys, [](const DigestKey& k) { return static_cast<long long>(k.digest); });
  }

  Connection connection_;
  std::map<std::string, bool> prepared_;
  bool beginPending_ = false;
};

}  // namespace

std::unique_ptr<Storage> OpenPostgresStorage(const std::string& uri, bool create) {
  return std::make_unique<PostgresStorage>(uri, create);
}

}  // namespace vrel::registry
