#include "tool_harness.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vrel::fleet {

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "fleet: %s failed\n", command.c_str());
    std::exit(1);
  }
}

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
  return target;
}

ToolHarness::ToolHarness(std::string tool) : tool_(std::move(tool)) {
  char scratch[] = "/tmp/vrel-fleet.XXXXXX";
  if (mkdtemp(scratch) == nullptr) {
    std::perror("fleet: mkdtemp");
    std::exit(1);
  }
  scratch_ = scratch;
}

ToolHarness::~ToolHarness() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

double ToolHarness::Run(const std::string& uri, const Fleet& fleet, std::size_t from,
                        std::size_t to, std::vector<std::string>& out, const char* command,
                        const std::string& env) const {
  const std::string in = scratch_ + "/in", results = scratch_ + "/out";
  {
    std::ofstream file(in);
    for (std::size_t i = from; i < to; ++i)
      file << vrel::FormatToken(fleet.tokens[i].second) << '\n';
  }
  const auto start = std::chrono::steady_clock::now();
  Shell(env + tool_ + " --db '" + uri + "' " + command + " < '" + in + "' > '" + results + "'");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::ifstream file(results);
  for (std::string line; std::getline(file, line);) out.push_back(line);
  return seconds;
}

}  // namespace vrel::fleet
