// The registry's rule as one scenario table and the storage contract as one
// suite, both run against every backend listed in kBackends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <thread>

#include "backends.h"
#include "postgres_server.h"
#include "vrel/registry/c/vrel_registry.h"
#include "vrel/registry/registry.h"
#include "vrel/registry/report.h"
#include "vrel/registry/sqlite/sqlite_storage.h"

namespace vrel::registry {
namespace {

std::string Names(const char* label, const std::vector<ComponentId>& ids) {
  std::string text;
  for (ComponentId id : ids) text += (text.empty() ? label : ",") + std::string(ComponentName(id));
  return text;
}

// "same 1 m3 c=1:3,2:2 clone=4 shared=board changed=os-install" (empty parts left out).
std::string Describe(const Verdict& v) {
  std::string text = (v.same ? "same " : "new ") + std::to_string(v.machine);
  if (v.same) text += " m" + std::to_string(v.matches);
  std::string parts;
  for (const Candidate& c : v.candidates) {
    parts += (parts.empty() ? " c=" : ",") + std::to_string(c.machine) + ":" + std::to_string(c.matches);
  }
  for (std::size_t i = 0; i < v.cloneOf.size(); ++i) parts += (i ? "," : " clone=") + std::to_string(v.cloneOf[i]);
  for (const std::string& s : {Names(" shared=", v.shared), Names(" changed=", v.changed)}) parts += s;
  return text + parts;
}

class RegistryTest : public BackendTest {};

struct Step {
  const char* op;  // "enroll", "identify", "remove"
  const char* token;
  const char* expected;
};
struct Scenario {
  const char* name;
  std::size_t sharedAt;
  std::vector<Step> steps;
};

const Scenario kScenarios[] = {
    {"first sight is new; identify changes nothing", 3,
     {{"identify", "1 2 3 4 5", "new 0"}, {"enroll", "1 2 3 4 5", "new 1"},
      {"enroll", "1 2 3 4 5", "same 1 m4 c=1:4"}}},
    {"roll forward: reinstall, then card swap; the first token no longer matches", 3,
     {{"enroll", "1 2 3 4 5", "new 1"},
      {"enroll", "1 9 8 4 5", "same 1 m2 c=1:2 changed=volume,os-install"},
      {"enroll", "1 9 8 4 7", "same 1 m3 c=1:3 changed=nics"},
      {"identify", "1 2 3 4 5", "new 0"}}},
    {"processor upgrade and card added keep the machine", 3,
     {{"enroll", "1 2 3 4 5", "new 1"}, {"enroll", "7 2 3 4 5+6", "same 1 m4 c=1:4 changed=cpu"}}},
    {"mainboard swapped: another machine though three match; the copy is named", 3,
     {{"enroll", "1 2 3 4 5", "new 1"}, {"enroll", "1 2 3 9 5", "new 2 clone=1"}}},
    {"copies of one image on distinct hardware are new, each naming the earlier copies", 3,
     {{"enroll", "1 2 3 4 5", "new 1"}, {"enroll", "1 12 3 14 15", "new 2 clone=1"},
      {"enroll", "1 22 3 24 25", "new 3 clone=1,2"},
      {"enroll", "1 22 3 24 26", "same 3 m2 c=3:2 clone=1,2 shared=os-install changed=nics"}}},
    {"a board digest shared at K neither matches nor vetoes", 3,
     {{"enroll", "1 2 3 4 5", "new 1"}, {"enroll", "1 12 13 4 15", "new 2"},
      {"identify", "1 2 33 4 35", "same 1 m2 c=1:2 changed=os-install,nics"},  // held by 2 < K
      {"enroll", "1 22 23 4 25", "new 3"},
      {"identify", "1 2 3 9 5", "same 1 m3 c=1:3"},
      {"identify", "1 2 33 4 35", "new 0 shared=board"}}},
    {"nics: own x differs from a set; a set emptied by sharing is unavailable; one unshared digest matches", 3,
     {{"enroll", "1 2 3 4 5+6", "new 1"}, {"identify", "1 2 3 4 x", "same 1 m3 c=1:3 changed=nics"},
      {"enroll", "1 12 13 14 5+16", "new 2"}, {"enroll", "1 22 23 24 5+26", "new 3"},
      {"identify", "1 2 x x 6", "same 1 m2 c=1:2"},
      {"identify", "1 2 x x 5", "new 0 shared=nics"}}},
    {"a tie goes to the machine an enroll named last; both are listed", 3,
     {{"enroll", "1 2 3 x 5", "new 1"}, {"enroll", "1 12 13 x 15", "new 2"},
      {"identify", "1 2 13 x 5+15", "same 2 m2 c=2:2,1:2 changed=volume"},
      {"enroll", "1 2 3 x 5", "same 1 m3 c=1:3"},
      {"identify", "1 2 13 x 5+15", "same 1 m2 c=1:2,2:2 clone=2 changed=os-install"}}},
    {"fewer than two usable strong components: always new", 3,
     {{"enroll", "1 2 x x x", "new 1"}, {"enroll", "1 2 x x x", "new 2"}, {"enroll", "x x x 4 x", "new 3"}}},
    {"a removed machine's id is never reused; its tokens are forgotten", 3,
     {{"enroll", "1 2 3 4 5", "new 1"}, {"enroll", "1 12 13 14 15", "new 2"}, {"remove", "2", ""},
      {"enroll", "1 12 13 14 15", "new 3"}, {"remove", "1", ""}, {"identify", "1 2 3 4 5", "new 0"}}},
};

TEST_P(RegistryTest, RuleScenarios) {
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    SetUp();
    Registry registry(*storage_, {scenario.sharedAt, 16});
    for (const Step& step : scenario.steps) {
      SCOPED_TRACE(std::string(step.op) + " " + step.token);
      Transaction transaction(*storage_, step.op[0] != 'i');
      std::string got;
      if (step.op[0] == 'r') {
        ASSERT_TRUE(registry.Remove(std::stoll(step.token), 0));
      } else {
        const Verdict v = step.op[0] == 'e' ? registry.Enroll(Fp(step.token), 100) : registry.Identify(Fp(step.token));
        got = Describe(v);
      }
      transaction.Commit();
      EXPECT_EQ(got, step.expected);
    }
  }
}

// The storage contract: what the rule relies on, the same from every backend.
TEST_P(RegistryTest, StorageContract) {
  Storage& s = *storage_;
  const DigestKey board{ComponentId::Board, 4};
  {
    Transaction t(s, true);
    EXPECT_EQ(s.Create(PlanCreate(Fp("1 2 3 4 5"), 100)), 1);
    EXPECT_EQ(s.Create(PlanCreate(Fp("1 12 13 4 x"), 100)), 2);
    EXPECT_EQ(s.Create(PlanCreate(Fp("1 22 23 4 5+25"), 100)), 3);
    t.Commit();
  }
  {  // rolled back: nothing stays
    Transaction t(s, true);
    s.Create(PlanCreate(Fp("1 32 33 4 35"), 100));
  }
  Transaction t(s, true);
  EXPECT_EQ(s.Holders({board, {ComponentId::Nics, 5}, {ComponentId::Cpu, 1}}, 2),
            (std::vector<std::vector<MachineId>>{{1, 2}, {1, 3}, {}}));
  const auto loaded = s.Load({3, 9, 1});
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].id, 3);
  EXPECT_EQ(FormatToken(loaded[0].latest), FormatToken(Fp("1 22 23 4 5+25")));
  EXPECT_LT(loaded[1].sequence, loaded[0].sequence);

  // Renew: the index follows the latest token; an unchanged token adds no
  // history; history keeps the newest `limit` tokens, the latest included.
  Renew(s, 1, Fp("1 2 3 4 5"), 200, 3);
  Renew(s, 1, Fp("1 2 3 9 5"), 300, 3);
  Renew(s, 1, Fp("1 2 3 8 5"), 400, 3);
  Renew(s, 1, Fp("1 2 3 7 5"), 500, 3);
  EXPECT_GT(s.Load({1})[0].sequence, s.Load({3})[0].sequence);
  EXPECT_EQ(s.Holders({board, {ComponentId::Board, 7}}, 5), (std::vector<std::vector<MachineId>>{{2, 3}, {1}}));
  const auto record = Show(s, 1);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->firstSeen, 100);
  EXPECT_EQ(record->lastSeen, 500);
  std::vector<std::string> history;
  for (const HistoryEntry& e : record->history) {
    history.push_back(e.token.substr(56, 16) + "@" + std::to_string(e.firstSeen) + "-" + std::to_string(e.lastSeen));
  }
  EXPECT_EQ(history, (std::vector<std::string>{"0000000000000007@500-500", "0000000000000008@400-400",
                                               "0000000000000009@300-300"}));

  EXPECT_THROW(Renew(s, 42, Fp("1 2 3 4 5"), 500, 3), StorageError);  // no such machine
  EXPECT_EQ(s.Machines(1, 1).machines.at(0).id, 2);

  const auto shared = s.Shared(2);
  ASSERT_EQ(shared.size(), 2u);  // board 4 and nics 5; the processor is never indexed
  EXPECT_EQ(shared[0].key, board);
  EXPECT_EQ(shared[0].machines, 2);
  EXPECT_EQ(s.MachineCount(), 3);
  Registry registry(s, {});
  EXPECT_TRUE(registry.Remove(3, 0));
  EXPECT_FALSE(registry.Remove(3, 0));
  EXPECT_FALSE(Show(s, 3));
  EXPECT_EQ(s.Holders({{ComponentId::Nics, 25}}, 5), (std::vector<std::vector<MachineId>>{{}}));
  // 3 is not reused; a rolled-back id may be skipped (a server's sequences are not transactional).
  EXPECT_GE(s.Create(PlanCreate(Fp("x x x x x"), 600)), 4);
  t.Commit();
  Transaction again(s, true);
  EXPECT_THROW(s.Apply(PlanImport({*Show(s, 1)})), StorageError);  // its id is taken
}

// Machine m of a fleet whose machines share nothing but the processor.
Fingerprint Machine(int m) {
  const std::string n = std::to_string(m * 10);
  return Fp("1 " + n + "2 " + n + "3 " + n + "4 " + n + "5");
}

// A COMMIT that fails leaves nothing behind and the handle works for the next
// transaction: a constraint deferred to COMMIT on both backends (a trigger
// added beside the registry's tables breaks one for each new machine) and, on
// PostgreSQL, the connection cut at COMMIT.
TEST_P(RegistryTest, FailedCommitIsRolledBack) {
  const bool sqlite = std::string(GetParam().name) == "sqlite";
  std::vector<std::pair<std::string, std::string>> cases;  // (trigger, its removal)
  if (sqlite) {
    cases.push_back({"CREATE TABLE parent(id INTEGER PRIMARY KEY); CREATE TABLE child(p INTEGER "
                     "REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED); CREATE TRIGGER t AFTER "
                     "INSERT ON machine BEGIN INSERT INTO child VALUES(NEW.id); END;",
                     "DROP TRIGGER t"});
  } else {
    const std::string schema = uri_.substr(uri_.rfind("%3D") + 3);
    for (const char* body : {"RAISE EXCEPTION 'refused at commit'",
                             "PERFORM pg_terminate_backend(pg_backend_pid())"}) {
      cases.push_back({"CREATE OR REPLACE FUNCTION " + schema + ".f() RETURNS trigger LANGUAGE " +
                       "plpgsql AS $$BEGIN " + body + "; RETURN NULL; END$$; CREATE CONSTRAINT " +
                       "TRIGGER t AFTER INSERT ON " + schema + ".vrel_machine DEFERRABLE INITIALLY " +
                       "DEFERRED FOR EACH ROW EXECUTE FUNCTION " + schema + ".f()",
                       "DROP TRIGGER t ON " + schema + ".vrel_machine"});
    }
  }
  const auto execute = [&](const std::string& sql) {
    if (!sqlite) {
      std::string why;
      return test::PostgresServer::Shared(why)->Execute(sql);
    }
    sqlite3* db = nullptr;
    const bool done = sqlite3_open((scratch_ + ".db").c_str(), &db) == SQLITE_OK &&
                      sqlite3_busy_timeout(db, 5000) == SQLITE_OK &&
                      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
  };
  Registry registry(*storage_, {3, 16});
  int machine = 0;
  for (const auto& [trigger, removal] : cases) {
    SCOPED_TRACE(trigger);
    ASSERT_TRUE(execute(trigger));
    EXPECT_THROW(RunTransaction(*storage_, true, [&] { registry.Enroll(Machine(++machine), 100); }),
                 StorageError);
    ASSERT_TRUE(execute(removal));
    RunTransaction(*storage_, true, [&] { EXPECT_FALSE(registry.Enroll(Machine(++machine), 100).same); });
    Transaction t(*storage_, false);
    EXPECT_FALSE(registry.Identify(Machine(machine - 1)).same);  // the failed one is not stored
    EXPECT_TRUE(registry.Identify(Machine(machine)).same);
  }
}

// Several writers enrolling the same new machines at once make each once:
// processes with a connection each, then threads with a C interface handle each.
TEST_P(RegistryTest, ConcurrentEnrollersMakeEachMachineOnce) {
  constexpr int kWriters = 4, kMachines = 40;
  storage_.reset();  // no connection crosses a fork
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t child = fork();
    if (child == 0) {
      int status = 0;
      try {
        auto storage = OpenStorage(uri_, true);
        Registry registry(*storage, {3, 16});
        for (int i = 0; i < kMachines; ++i) {  // all in one order: they meet at every machine
          const Fingerprint token = Machine(i);
          RunTransaction(*storage, true, [&] { registry.Enroll(token, 100); });
        }
      } catch (const std::exception& e) {
        std::fprintf(stderr, "writer %d: %s\n", w, e.what());
        status = 1;
      }
      _exit(status);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<std::thread> threads;
  std::vector<int> codes(kWriters * kMachines);
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      vrel_registry* handle = nullptr;
      if (vrel_registry_open(uri_.c_str(), 3, &handle, nullptr, 0) != 0) return;
      char out[VREL_REGISTRY_MAX_RESULT_LENGTH + 1];
      for (int i = 0; i < kMachines; ++i) {
        const std::string token = FormatToken(Machine(kMachines + i));
        codes[w * kMachines + i] = vrel_registry_enroll(handle, token.c_str(), out, sizeof out);
      }
      vrel_registry_close(handle);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int code : codes) EXPECT_GT(code, 0);
  storage_ = OpenStorage(uri_, false);
  Transaction t(*storage_, false);
  EXPECT_EQ(storage_->MachineCount(), 2 * kMachines);
  Registry registry(*storage_, {3, 16});
  for (int m = 0; m < 2 * kMachines; ++m) EXPECT_TRUE(registry.Identify(Machine(m)).same) << m;
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryTest, ::testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

// Stored tokens read back as written; damaged bytes, and a bad token in an
// import, are refused rather than misread.
TEST(RegistryReport, StoredTokensRoundTripAndDamageIsRefused) {
  const Fingerprint fp = Fp("1 2 3 x 5+6");
  const std::string blob = EncodeStoredToken(fp), cpu = EncodeStoredToken(Fp("1 x x x x"));
  EXPECT_EQ(FormatToken(DecodeStoredToken(blob.data(), blob.size())), FormatToken(fp));
  for (const std::string& bad : {std::string(), blob.substr(0, blob.size() - 1), cpu + "abc"}) {
    EXPECT_THROW(DecodeStoredToken(bad.data(), bad.size()), StorageError) << bad.size();
  }
  MachineRecord record;
  record.id = 9;
  record.history = {{FormatToken(fp), 1, 1}, {"vfp1-zz", 1, 1}};
  EXPECT_THROW(PlanImport({record}), StorageError);
}

// The published bound of a verdict holds for the widest one.
TEST(RegistryReport, WidestVerdictFitsTheBound) {
  Verdict v;
  v.same = true;
  v.machine = INT64_MAX;
  v.matches = 4;
  for (int i = 0; i < kComponentCount; ++i) {
    v.changed.push_back(static_cast<ComponentId>(i));
    if (i > 0) v.matched.push_back(v.shared.emplace_back(static_cast<ComponentId>(i)));
  }
  v.candidates.assign(kMaxListed, {INT64_MAX, 4});
  v.cloneOf.assign(kMaxListed, INT64_MAX);
  EXPECT_LE(VerdictJson(v, true, 0).size(), kMaxVerdictJsonLength);
}

// vrel-registry on a server that cannot be reached, and on one whose
// connection is cut mid-batch: exit 3 with one line on standard error, and
// every result it printed is stored.
TEST(RegistryServer, UnreachableOrLostConnectionExitsThree) {
  if (!NeedPostgres()) GTEST_SKIP() << "no PostgreSQL server";
  std::string why;
  test::PostgresServer& server = *test::PostgresServer::Shared(why);
  // (command line, the batch's two halves): the tool reads the second half only after the
  // server ended its connection.
  std::signal(SIGPIPE, SIG_IGN);  // a write to a tool that has gone fails instead
  const std::string unreachable = "postgresql:///postgres?host=/nonexistent&user=vrel";
  const std::string uri = PostgresUri("cut") + "&application_name=cut";
  for (const std::string& db : {unreachable, uri}) {
    SCOPED_TRACE(db);
    int in[2], out[2], err[2];
    ASSERT_EQ(pipe(in) | pipe(out) | pipe(err), 0);
    const pid_t child = fork();
    if (child == 0) {
      dup2(in[0], 0), dup2(out[1], 1), dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      execl(VREL_REGISTRY_TOOL, VREL_REGISTRY_TOOL, "--db", db.c_str(), "enroll", nullptr);
      _exit(127);
    }
    close(in[0]), close(out[1]), close(err[1]);
    FILE* results = fdopen(out[0], "r");
    std::vector<MachineId> printed;
    const auto send = [&](int from, int to) {
      std::string lines;
      for (int m = from; m < to; ++m) lines += FormatToken(Machine(m)) + "\n";
      return write(in[1], lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
    };
    if (db == uri) {
      ASSERT_TRUE(send(0, 3));
      char line[4096];
      while (printed.size() < 3 && std::fgets(line, sizeof line, results) != nullptr) {
        printed.push_back(std::atoll(std::strstr(line, "\"machine\":") + 10));
      }
      ASSERT_TRUE(server.Execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                 "WHERE application_name = 'cut'"));
      send(3, 6);
    }
    close(in[1]);
    char rest[4096];
    EXPECT_EQ(std::fread(rest, 1, sizeof rest, results), 0u);  // nothing after the cut
    fclose(results);
    FILE* errors = fdopen(err[0], "r");
    std::string message;
    for (int c; (c = std::fgetc(errors)) != EOF;) message += static_cast<char>(c);
    fclose(errors);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_EQ(message.rfind("vrel-registry: ", 0), 0u) << message;
    if (db != uri) continue;
    auto storage = OpenStorage(uri, false);
    Transaction t(*storage, false);
    ASSERT_EQ(printed.size(), 3u);
    for (int m = 0; m < 3; ++m) EXPECT_EQ(Registry(*storage, {3, 16}).Identify(Machine(m)).machine, printed[m]);
  }
}

// A registry file that cannot be written, in a folder that cannot be written (a backup, another
// user's): opened to read it answers from the file alone; opened to write it is refused. A root
// test takes another user's identity for the opens, since the folder's mode does not bind root.
TEST(RegistrySqlite, ReadOnlyFileInReadOnlyFolderAnswers) {
  const std::string dir = ::testing::TempDir() + "registry-ro-" + std::to_string(getpid());
  const std::string file = dir + "/fleet.db";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  {
    auto storage = OpenStorage(file, OpenMode::kCreate);
    Registry registry(*storage, {3, 16});
    RunTransaction(*storage, true, [&] { registry.Enroll(Machine(1), 100); });
  }
  chmod(file.c_str(), 0444);
  chmod(dir.c_str(), 0555);
  const bool root = geteuid() == 0;
  ASSERT_EQ(root ? seteuid(65534) : 0, 0);
  std::string read, write = "opened";
  try {
    auto storage = OpenStorage(file, OpenMode::kRead);
    Transaction t(*storage, false);
    read = std::to_string(storage->MachineCount()) +
           (Registry(*storage, {3, 16}).Identify(Machine(1)).same ? " same" : " new");
  } catch (const StorageError& e) {
    read = e.what();
  }
  try {
    OpenStorage(file, OpenMode::kWrite);
  } catch (const StorageError& e) {
    write = e.what();
  }
  ASSERT_EQ(root ? seteuid(0) : 0, 0);
  chmod(dir.c_str(), 0755);
  std::remove(file.c_str());
  rmdir(dir.c_str());
  EXPECT_EQ(read, "1 same");
  EXPECT_NE(write, "opened");
}

// A transaction that keeps losing its race is run kAttempts times, rolled
// back each time, then reported as a storage failure.
TEST(RegistryRetry, GivesUpAfterItsAttempts) {
  const std::string file = ::testing::TempDir() + "registry-retry-" + std::to_string(getpid()) + ".db";
  auto storage = OpenStorage("sqlite:" + file, true);
  int runs = 0;
  try {
    RunTransaction(*storage, true, [&] {
      ++runs;
      storage->Create(PlanCreate(Fp("1 2 3 4 5"), 100));
      throw RetryableError("lost");
    });
    ADD_FAILURE() << "no error";
  } catch (const RetryableError&) {
    ADD_FAILURE() << "the lost race itself escaped";
  } catch (const StorageError& e) {
    EXPECT_STREQ(e.what(), "lost; gave up after 12 attempts");
  }
  EXPECT_EQ(runs, kAttempts);
  storage->Begin(Access::kRead);
  EXPECT_EQ(storage->MachineCount(), 0);  // every run rolled back
  storage.reset();
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file + suffix).c_str());
}

// A SQLite writer waits for another's lock as long as it was told, then fails
// saying why.
TEST(RegistryRetry, SqliteWriterWaitsThenSaysBusy) {
  const std::string file = ::testing::TempDir() + "registry-busy-" + std::to_string(getpid()) + ".db";
  auto holder = OpenSqliteStorage(file, OpenMode::kCreate);
  auto waiter = OpenSqliteStorage(file, OpenMode::kWrite, 50);
  holder->Begin(Access::kWrite);
  try {
    waiter->Begin(Access::kWrite);
    ADD_FAILURE() << "two writers at once";
  } catch (const StorageError& e) {
    EXPECT_NE(std::string(e.what()).find("stayed busy"), std::string::npos) << e.what();
  }
  holder->Rollback();
  holder.reset();
  waiter.reset();
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file + suffix).c_str());
}

// On a server, a writer that needs a digest another writer holds loses the
// race at once (no waiting, no deadlock), and finds the machine once the
// other has committed.
TEST(RegistryServer, HeldDigestIsALostRace) {
  if (!NeedPostgres()) GTEST_SKIP() << "no PostgreSQL server";
  const std::string uri = PostgresUri("race");
  auto first = OpenStorage(uri, true), second = OpenStorage(uri, true);
  Registry one(*first, {3, 16}), two(*second, {3, 16});
  first->Begin(Access::kWrite);
  EXPECT_FALSE(one.Enroll(Machine(1), 100).same);
  second->Begin(Access::kWrite);
  EXPECT_THROW(two.Enroll(Machine(1), 100), RetryableError);
  second->Rollback();
  first->Commit();
  RunTransaction(*second, true, [&] { EXPECT_TRUE(two.Enroll(Machine(1), 100).same); });
}

// A server database is opened only when it holds a registry this release can
// read, and made only where the role may create.
TEST(RegistryServer, RefusesWhatItCannotReadOrMake) {
  if (!NeedPostgres()) GTEST_SKIP() << "no PostgreSQL server";
  std::string why;
  test::PostgresServer& server = *test::PostgresServer::Shared(why);
  const auto refusal = [](const std::string& uri, bool create) {
    try {
      OpenStorage(uri, create);
    } catch (const StorageError& e) {
      return std::string(e.what());
    }
    return std::string("opened");
  };
  const std::string uri = PostgresUri("refuse");
  EXPECT_NE(refusal(uri, false).find("no vrel registry in schema"), std::string::npos);
  OpenStorage(uri, true);
  const std::string schema = uri.substr(uri.rfind("%3D") + 3);
  ASSERT_TRUE(server.Execute("UPDATE " + schema + ".vrel_meta SET value = 3"));
  EXPECT_NE(refusal(uri, true).find("schema 3, newer than"), std::string::npos);
  ASSERT_TRUE(server.Execute("CREATE ROLE weak LOGIN; CREATE SCHEMA closed; GRANT USAGE ON SCHEMA closed TO weak"));
  const std::string weak = server.Uri("postgres") + "&user=weak&options=-csearch_path%3Dclosed";
  EXPECT_NE(refusal(weak, true).find("needs CREATE on that schema"), std::string::npos)
      << refusal(weak, true);
  // Tables it may not read: the server's own reason.
  const std::string locked = uri.substr(0, uri.find("&options")) + "&user=weak&options=-csearch_path%3D" + schema;
  ASSERT_TRUE(server.Execute("GRANT USAGE ON SCHEMA " + schema + " TO weak"));
  EXPECT_NE(refusal(locked, false).find("PostgreSQL: permission denied"), std::string::npos)
      << refusal(locked, false);
}

}  // namespace
}  // namespace vrel::registry
