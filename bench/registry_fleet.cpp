// The registry's benchmark over a simulated fleet (tests/registry/fleet/):
//   vrel_registry_fleet bench TOOL DB MACHINES
// DB: a SQLite file, "postgres" (a private PostgreSQL server in a temporary
// folder) or a postgresql:// URI. Enrolls the fleet through `TOOL --db DB
// enroll` from standard input and reports its agreement with the reference
// rule (exit 1 unless every verdict agrees), then times, in this process:
// enroll throughput from standard input, the database's size per machine after
// the first enroll of each, identify per token (p50, p99) over the library, a
// linear MatchFingerprints scan over every stored token held in memory, and
// enroll throughput with 1, 2 and 4 tool processes at once.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fleet_generator.h"
#include "tool_harness.h"
#include "verdict_check.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/registry/registry.h"

namespace {

using vrel::Fingerprint;
using namespace vrel::fleet;
using Clock = std::chrono::steady_clock;

// `writers` tool processes at once, each enrolling its share of `total` new
// machines; returns the tokens per second of all together.
double ConcurrentEnroll(const ToolHarness& tool, const std::string& uri, std::mt19937_64& rng,
                        int writers, std::size_t total) {
  std::string command;
  for (int w = 0; w < writers; ++w) {
    const std::string in = tool.scratch() + "/writer" + std::to_string(w);
    std::ofstream file(in);
    for (std::size_t n = 0; n < total / writers; ++n)
      file << vrel::FormatToken(RandomMachine(rng)) << '\n';
    command += tool.tool() + " --db '" + uri + "' enroll < '" + in + "' > /dev/null & ";
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

int main(int argc, char** argv) {
  if (argc != 5 || std::string(argv[1]) != "bench") {
    std::fprintf(stderr, "usage: vrel_registry_fleet bench TOOL DB MACHINES\n");
    return 2;
  }
  const std::size_t count = std::strtoul(argv[4], nullptr, 10);
  std::mt19937_64 rng(kFleetSeed);  // the fleet's, then the samples' below
  const Fleet fleet = MakeFleet(rng, count, count / 2);
  const ToolHarness tool(argv[2]);
  Target target = Open(argv[3], "fleet");

  // The first enroll of every machine; on PostgreSQL with synchronous_commit
  // off (commits no longer wait for the disk), as a bulk load would.
  std::vector<std::string> lines;
  const double loadSeconds =
      tool.Run(target.uri, fleet, 0, count, lines, "enroll",
               target.file.empty() ? "PGOPTIONS='-c synchronous_commit=off' " : "");
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
  tool.Run(target.uri, fleet, count, fleet.tokens.size(), lines);
  if (!CheckVerdicts(fleet, count, lines)) return 1;

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
                writers, ConcurrentEnroll(tool, target.uri, rng, writers, 8000));
  }
  return 0;
}
