// The registry over a simulated fleet, from outside, through its tool:
//   vrel_registry_fleet_test check TOOL DB MACHINES
//   vrel_registry_fleet_test move TOOL FILE MACHINES
// `check` enrolls the fleet (fleet_generator.h) through `TOOL --db DB enroll` and requires every
// verdict to be the reference rule's (exit 1 otherwise). `move` enrolls it into SQLite (FILE) and
// into a private PostgreSQL server and requires the same verdicts, then exports the SQLite registry
// into PostgreSQL and requires the same answer to every identify.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fleet_generator.h"
#include "tool_harness.h"
#include "verdict_check.h"

namespace {

using namespace vrel::fleet;

bool Check(const ToolHarness& tool, const std::string& db, const Fleet& fleet, std::size_t count) {
  const Target target = Open(db, "fleet");
  std::vector<std::string> lines;
  tool.Run(target.uri, fleet, 0, count, lines);  // in two runs, as the benchmark times them
  tool.Run(target.uri, fleet, count, fleet.tokens.size(), lines);
  return CheckVerdicts(fleet, count, lines);
}

bool Move(const ToolHarness& tool, const std::string& file, const Fleet& fleet, std::size_t count) {
  Target sqlite = Open(file, "");
  Target postgres = Open("postgres", "fleet");
  std::vector<std::string> a, b;
  tool.Run(sqlite.uri, fleet, 0, fleet.tokens.size(), a);
  tool.Run(postgres.uri, fleet, 0, fleet.tokens.size(), b);
  std::printf("move: %zu tokens enrolled on both backends: %s verdicts\n", a.size(),
              a == b && a.size() == fleet.tokens.size() ? "the same" : "DIFFERENT");
  postgres.server->Execute("CREATE SCHEMA moved");
  const std::string moved = postgres.server->Uri("postgres") + "&options=-csearch_path%3Dmoved";
  Shell(tool.tool() + " --db '" + sqlite.uri + "' export | " + tool.tool() + " --db '" + moved +
        "' import > /dev/null");
  std::vector<std::string> c, d;
  tool.Run(sqlite.uri, fleet, count, fleet.tokens.size(), c, "identify");
  tool.Run(moved, fleet, count, fleet.tokens.size(), d, "identify");
  std::printf("move: exported from SQLite, imported into PostgreSQL: %zu identifies %s\n", c.size(),
              c == d && c.size() == fleet.tokens.size() - count ? "the same" : "DIFFERENT");
  return a == b && c == d && a.size() == fleet.tokens.size() &&
         c.size() == fleet.tokens.size() - count;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 5 ? argv[1] : "";
  if (mode != "check" && mode != "move") {
    std::fprintf(stderr, "usage: vrel_registry_fleet_test check|move TOOL DB MACHINES\n");
    return 2;
  }
  const std::size_t count = std::strtoul(argv[4], nullptr, 10);
  std::mt19937_64 rng(kFleetSeed);
  const Fleet fleet = MakeFleet(rng, count, count / 2);
  const ToolHarness tool(argv[2]);
  return (mode == "check" ? Check : Move)(tool, argv[3], fleet, count) ? 0 : 1;
}
