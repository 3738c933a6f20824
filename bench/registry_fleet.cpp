// The fleet simulator and the registry's benchmark.
//
//   vrel_registry_fleet check TOOL DB MACHINES
//   vrel_registry_fleet bench TOOL DB MACHINES
//   vrel_registry_fleet move TOOL FILE MACHINES
// DB: a SQLite file, "postgres" (a private PostgreSQL server in a temporary
// folder) or a postgresql:// URI.
// Makes a fleet of tokens from random component values by the published token
// format: plain machines (some without a board, some with fewer than two
// strong components), copies of one unprepared image on distinct hardware,
// groups sharing a firmware template; then changes (unchanged, card swapped,
// card added, reinstall, mainboard swapped, processor upgraded). It enrolls
// them all through `TOOL --db DB enroll` from standard input, applies the rule
// itself to each token, incrementally, in memory, and reports its agreement
// with every verdict (exit 1 unless all agree). `bench` also times, in this
// process: enroll throughput from standard input, the database's size per
// machine after the first enroll of each, identify per token (p50, p99) over
// the library, a linear MatchFingerprints scan over every stored token held in
// memory, and enroll throughput with 1, 2 and 4 tool processes at once. `move`
// enrolls the fleet into SQLite and into PostgreSQL and requires the same
// verdicts, then exports the SQLite registry into PostgreSQL and requires the
// same answer to every identify.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "postgres_server.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/registry/registry.h"

namespace {

using vrel::ComponentDigest;
using vrel::ComponentId;
using vrel::Fingerprint;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSharedAt = 3;

std::mt19937_64 rng(20240501);
ComponentDigest Random() { return vrel::registry::DigestBytes(rng()); }
void Set(Fingerprint& fp, ComponentId id, std::vector<ComponentDigest> digests) {
  auto& c = fp.components[static_cast<int>(id)];
  std::sort(digests.begin(), digests.end());
  c.available = !digests.empty();
  c.digests = std::move(digests);
}
bool Chance(double p) { return std::uniform_real_distribution<>(0, 1)(rng) < p; }

// The fleet: the true machines and the tokens they send, in order.
struct Fleet {
  std::vector<Fingerprint> machines;                        // each machine's current state
  std::vector<std::pair<std::size_t, Fingerprint>> tokens;  // (true machine, token)
};

Fleet MakeFleet(std::size_t count, std::size_t changes) {
  Fleet fleet;
  std::vector<ComponentDigest> cpus(20);
  for (auto& c : cpus) c = Random();
  ComponentDigest image = Random(), firmware = Random();
  for (std::size_t i = 0; i < count; ++i) {
    Fingerprint fp;
    Set(fp, ComponentId::Cpu, {cpus[rng() % cpus.size()]});
    Set(fp, ComponentId::Volume, {Random()});
    const double kind = std::uniform_real_distribution<>(0, 1)(rng);
    if (kind < 0.03) {  // fewer than two strong components
      fleet.machines.push_back(fp);
      continue;
    }
    if (kind < 0.08) {  // an unprepared image, five copies apiece
      if (i % 5 == 0) image = Random();
      Set(fp, ComponentId::OsInstall, {image});
    } else {
      Set(fp, ComponentId::OsInstall, {Random()});
    }
    if (kind >= 0.08 &&
        kind < 0.13) {  // a firmware template the placeholder list lacks, ten apiece
      if (i % 10 == 0) firmware = Random();
      Set(fp, ComponentId::Board, {firmware});
    } else if (!Chance(0.1)) {
      Set(fp, ComponentId::Board, {Random()});
    }
    std::vector<ComponentDigest> nics{Random()};
    if (Chance(0.3)) nics.push_back(Random());
    Set(fp, ComponentId::Nics, nics);
    fleet.machines.push_back(fp);
  }
  for (std::size_t i = 0; i < count; ++i) fleet.tokens.emplace_back(i, fleet.machines[i]);
  for (std::size_t n = 0; n < changes; ++n) {
    const std::size_t i = rng() % count;
    Fingerprint& fp = fleet.machines[i];
    auto& nics = fp.components[static_cast<int>(ComponentId::Nics)].digests;
    switch (rng() % 6) {
      case 0:
        break;  // unchanged
      case 1:   // card swapped
        if (!nics.empty()) nics.back() = Random();
        Set(fp, ComponentId::Nics, nics);
        break;
      case 2:
        nics.push_back(Random());
        Set(fp, ComponentId::Nics, nics);
        break;  // card added
      case 3:   // reinstall: new install id and volume serial
        Set(fp, ComponentId::OsInstall, {Random()});
        Set(fp, ComponentId::Volume, {Random()});
        break;
      case 4:
        Set(fp, ComponentId::Board, {Random()});
        break;  // mainboard swapped
      default:
        Set(fp, ComponentId::Cpu, {Random()});
        break;  // processor upgraded
    }
    fleet.tokens.emplace_back(i, fp);
  }
  return fleet;
}

// The rule, applied here on its own, over in-memory maps.
class Model {
 public:
  struct Answer {
    bool same;
    long machine;
    int matches;
  };
  Answer Enroll(const Fingerprint& token) {
    const auto sharedNow = [&](int c, const ComponentDigest& d) {
      const auto it = index_.find(Key(c, d));
      return it != index_.end() && it->second.size() >= kSharedAt;
    };
    std::set<long> candidates;
    for (int c = 1; c < vrel::kComponentCount; ++c) {
      for (const auto& d : token.components[c].digests) {
        const auto it = index_.find(Key(c, d));
        if (it != index_.end() && it->second.size() < kSharedAt)
          candidates.insert(it->second.begin(), it->second.end());
      }
    }
    Answer best{false, 0, 0};
    long bestSeq = -1;
    for (long id : candidates) {
      const Fingerprint& theirs = latest_[id];
      int matches = 0;
      bool boardDiffers = false;
      for (int c = 1; c < vrel::kComponentCount; ++c) {
        std::vector<ComponentDigest> a, b;
        for (const auto& d : token.components[c].digests)
          if (!sharedNow(c, d)) a.push_back(d);
        for (const auto& d : theirs.components[c].digests)
          if (!sharedNow(c, d)) b.push_back(d);
        const bool lostA = a.size() != token.components[c].digests.size();
        const bool lostB = b.size() != theirs.components[c].digests.size();
        if (c == static_cast<int>(ComponentId::Nics)
                ? (token.components[c].available && a.empty()) ||
                      (theirs.components[c].available && b.empty())
                : lostA || lostB) {
          continue;  // unavailable for this pair
        }
        if (a.empty() || b.empty()) continue;  // nics x against a set differs; it never counts
        const bool match = std::find_first_of(a.begin(), a.end(), b.begin(), b.end()) != a.end();
        if (match) ++matches;
        if (!match && c == static_cast<int>(ComponentId::Board)) boardDiffers = true;
      }
      if (matches < 2 || boardDiffers) continue;
      if (matches > best.matches || (matches == best.matches && seq_[id] > bestSeq)) {
        best = {true, id, matches};
        bestSeq = seq_[id];
      }
    }
    long id = best.same ? best.machine : ++lastId_;
    if (best.same) Unindex(id);
    latest_[id] = token;
    seq_[id] = ++lastSeq_;
    for (int c = 1; c < vrel::kComponentCount; ++c) {
      for (const auto& d : token.components[c].digests) index_[Key(c, d)].insert(id);
    }
    best.machine = id;
    return best;
  }

 private:
  static std::pair<int, std::uint64_t> Key(int c, const ComponentDigest& d) {
    return {c, vrel::registry::DigestValue(d)};
  }
  void Unindex(long id) {
    for (int c = 1; c < vrel::kComponentCount; ++c) {
      for (const auto& d : latest_[id].components[c].digests) index_[Key(c, d)].erase(id);
    }
  }
  std::map<std::pair<int, std::uint64_t>, std::set<long>> index_;
  std::unordered_map<long, Fingerprint> latest_;
  std::unordered_map<long, long> seq_;
  long lastId_ = 0, lastSeq_ = 0;
};

long Field(const std::string& line, const char* name) {
  const std::size_t at = line.find(std::string("\"") + name + "\":");
  return at == std::string::npos ? -1 : std::atol(line.c_str() + at + std::strlen(name) + 3);
}

// Runs `command` through the shell; exits the program when it fails.
void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "fleet: %s failed\n", command.c_str());
    std::exit(1);
  }
}

std::string g_scratch;  // a temporary folder for the tool's input and output

// Enrolls (or identifies) tokens [from, to) through the tool, the lines its
// output holds appended to `out`; returns the seconds it took. `env` goes
// before the command (PGOPTIONS for the load, say).
double RunTool(const std::string& tool, const std::string& uri, const Fleet& fleet,
               std::size_t from, std::size_t to, std::vector<std::string>& out,
               const char* command = "enroll", const std::string& env = "") {
  const std::string in = g_scratch + "/in", results = g_scratch + "/out";
  {
    std::ofstream file(in);
    for (std::size_t i = from; i < to; ++i)
      file << vrel::FormatToken(fleet.tokens[i].second) << '\n';
  }
  const auto start = Clock::now();
  Shell(env + tool + " --db '" + uri + "' " + command + " < '" + in + "' > '" + results + "'");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::ifstream file(results);
  for (std::string line; std::getline(file, line);) out.push_back(line);
  return seconds;
}

// `writers` tool processes at once, each enrolling its share of `total` new
// machines; returns the tokens per second of all together.
double ConcurrentEnroll(const std::string& tool, const std::string& uri, int writers,
                        std::size_t total) {
  std::string command;
  for (int w = 0; w < writers; ++w) {
    const std::string in = g_scratch + "/writer" + std::to_string(w);
    std::ofstream file(in);
    for (std::size_t n = 0; n < total / writers; ++n) {
      Fingerprint fp;
      for (int c = 0; c < vrel::kComponentCount; ++c)
        Set(fp, static_cast<ComponentId>(c), {Random()});
      file << vrel::FormatToken(fp) << '\n';
    }
    command += tool + " --db '" + uri + "' enroll < '" + in + "' > /dev/null & ";
  }
  const auto start = Clock::now();
  Shell("(" + command + "wait) && [ $(jobs -p | wc -l) -eq 0 ]");
  return static_cast<double>(total) / std::chrono::duration<double>(Clock::now() - start).count();
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))];
}

}  // namespace

// The registry named on the command line: a SQLite file, "postgres" (a
// private PostgreSQL server started here, with the server's durable
// defaults), or a postgresql:// URI.
struct Target {
  std::string uri;
  std::string file;  // SQLite's, for its size
  std::unique_ptr<vrel::test::PostgresServer> server;
  bool postgres = false;
};

Target Open(const std::string& db, const std::string& schema) {
  Target target;
  if (db == "postgres") {
    std::string why;
    bool missing = false;
    target.server = vrel::test::PostgresServer::Start(why, missing, true);
    if (!target.server) {
      std::fprintf(stderr, "fleet: %s\n", why.c_str());
      std::exit(1);
    }
    target.server->Execute("CREATE SCHEMA " + schema);
    target.uri = target.server->Uri("postgres") + "&options=-csearch_path%3D" + schema;
  } else if (db.rfind("postgres", 0) == 0) {
    target.uri = db;
  } else {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((db + suffix).c_str());
    target.uri = "sqlite:" + db;
    target.file = db;
  }
  target.postgres = target.file.empty();
  return target;
}

// The fleet's verdicts the same on SQLite and on PostgreSQL, and a SQLite
// registry exported and imported into PostgreSQL answering every identify as
// the SQLite one does.
int Move(const std::string& tool, const std::string& file, const Fleet& fleet, std::size_t count) {
  Target sqlite = Open(file, "");
  Target postgres = Open("postgres", "fleet");
  std::vector<std::string> a, b;
  RunTool(tool, sqlite.uri, fleet, 0, fleet.tokens.size(), a);
  RunTool(tool, postgres.uri, fleet, 0, fleet.tokens.size(), b);
  std::printf("move: %zu tokens enrolled on both backends: %s verdicts\n", a.size(),
              a == b && a.size() == fleet.tokens.size() ? "the same" : "DIFFERENT");
  postgres.server->Execute("CREATE SCHEMA moved");
  const std::string moved = postgres.server->Uri("postgres") + "&options=-csearch_path%3Dmoved";
  Shell(tool + " --db '" + sqlite.uri + "' export | " + tool + " --db '" + moved +
        "' import > /dev/null");
  std::vector<std::string> c, d;
  RunTool(tool, sqlite.uri, fleet, count, fleet.tokens.size(), c, "identify");
  RunTool(tool, moved, fleet, count, fleet.tokens.size(), d, "identify");
  std::printf("move: exported from SQLite, imported into PostgreSQL: %zu identifies %s\n", c.size(),
              c == d && c.size() == fleet.tokens.size() - count ? "the same" : "DIFFERENT");
  return a == b && c == d && a.size() == fleet.tokens.size() &&
                 c.size() == fleet.tokens.size() - count
             ? 0
             : 1;
}

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: vrel_registry_fleet check|bench|move TOOL DB MACHINES\n");
    return 2;
  }
  const std::string mode = argv[1], tool = argv[2], db = argv[3];
  const std::size_t count = std::strtoul(argv[4], nullptr, 10);
  char scratch[] = "/tmp/vrel-fleet.XXXXXX";
  if (mkdtemp(scratch) == nullptr) return 1;
  g_scratch = scratch;
  const Fleet fleet = MakeFleet(count, count / 2);
  if (mode == "move") {
    const int result = Move(tool, db, fleet, count);
    Shell("rm -rf '" + g_scratch + "'");
    return result;
  }
  Target target = Open(db, "fleet");

  // The first enroll of every machine; on PostgreSQL with synchronous_commit
  // off (commits no longer wait for the disk), as a bulk load would.
  std::vector<std::string> lines;
  const double loadSeconds =
      RunTool(tool, target.uri, fleet, 0, count, lines, "enroll",
              target.postgres ? "PGOPTIONS='-c synchronous_commit=off' " : "");
  double bytes = 0;
  if (target.server) {
    bytes = std::atof(target.server
                          ->Value("SELECT sum(pg_total_relation_size(c.oid)) FROM pg_class c "
                                  "JOIN pg_namespace n ON n.oid = c.relnamespace "
                                  "WHERE n.nspname = 'fleet' AND c.relkind IN ('r', 'S')")
                          .c_str());
  } else if (!target.file.empty()) {
    struct stat st {};
    stat(target.file.c_str(), &st);
    bytes = static_cast<double>(st.st_size);
  }
  RunTool(tool, target.uri, fleet, count, fleet.tokens.size(), lines);

  Model model;
  std::size_t agree = 0, truthSame = 0, sameVerdicts = 0;
  std::vector<long> truthOf(count + fleet.tokens.size() + 1, -1);
  for (std::size_t i = 0; i < fleet.tokens.size(); ++i) {
    const Model::Answer want = model.Enroll(fleet.tokens[i].second);
    const std::string& got = i < lines.size() ? lines[i] : std::string();
    const bool same = got.find("\"verdict\":\"same\"") != std::string::npos;
    if (same == want.same && Field(got, "machine") == want.machine &&
        Field(got, "matches") == want.matches) {
      ++agree;
    } else if (agree + 10 > i) {
      std::fprintf(stderr, "fleet: token %zu: expected %s %ld m%d, got %s\n", i + 1,
                   want.same ? "same" : "new", want.machine, want.matches, got.c_str());
    }
    if (i >= count) {  // a changed machine: did the rule name the machine it really is?
      sameVerdicts += want.same;
      truthSame += want.same && truthOf[static_cast<std::size_t>(want.machine)] ==
                                    static_cast<long>(fleet.tokens[i].first);
    } else {
      truthOf[static_cast<std::size_t>(want.machine)] = static_cast<long>(fleet.tokens[i].first);
    }
  }
  std::printf(
      "fleet: %zu machines, %zu tokens; agreement with every verdict: %zu of %zu (%.2f%%)\n", count,
      fleet.tokens.size(), agree, fleet.tokens.size(), 100.0 * agree / fleet.tokens.size());
  std::printf("fleet: of %zu later tokens, %zu found their machine (%zu named the machine it is)\n",
              fleet.tokens.size() - count, sameVerdicts, truthSame);
  if (agree != fleet.tokens.size()) return 1;
  if (mode != "bench") return 0;

  std::printf("bench: enroll from standard input: %.0f tokens/s (%zu new machines in %.1f s)\n",
              count / loadSeconds, count, loadSeconds);
  std::printf("bench: database size after that: %.0f bytes per machine (%.0f bytes)\n",
              bytes / static_cast<double>(count), bytes);

  auto storage = vrel::registry::OpenStorage(target.uri, false);
  vrel::registry::Registry registry(*storage, {kSharedAt, 16});
  std::vector<double> times;
  for (std::size_t n = 0; n < 20000; ++n) {
    const Fingerprint& token = fleet.tokens[count + rng() % (fleet.tokens.size() - count)].second;
    const auto start = Clock::now();
    vrel::registry::Transaction transaction(*storage, false);
    registry.Identify(token);
    transaction.Commit();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const double p50 = Percentile(times, 0.5), p99 = Percentile(times, 0.99);
  std::printf("bench: identify per token over %zu machines: p50 %.4f ms, p99 %.4f ms\n", count, p50,
              p99);

  // The best linear scan: every machine's latest token parsed beforehand, in memory.
  std::vector<Fingerprint> stored = fleet.machines;
  std::vector<double> scans;
  volatile int found = 0;
  for (std::size_t n = 0; n < 20; ++n) {
    const Fingerprint& token = fleet.tokens[count + rng() % (fleet.tokens.size() - count)].second;
    const auto start = Clock::now();
    for (const Fingerprint& fp : stored)
      found = found + vrel::MatchFingerprints(fp, token).sameMachine;
    scans.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const double scan = Percentile(scans, 0.5);
  std::printf(
      "bench: linear MatchFingerprints scan per token: p50 %.2f ms; the index is %.0fx faster at "
      "p50\n",
      scan, scan / p50);
  storage.reset();
  for (int writers : {1, 2, 4}) {
    std::printf("bench: enroll with %d concurrent enroller(s), new machines: %.0f tokens/s\n",
                writers, ConcurrentEnroll(tool, target.uri, writers, 8000));
  }
  Shell("rm -rf '" + g_scratch + "'");
  return 0;
}
