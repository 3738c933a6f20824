// Drives `vrel-registry` as a process over a fleet: the registry it opens, the tokens fed to its
// standard input, the lines it answers. Any failing command ends the program with status 1.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "fleet_generator.h"
#include "postgres_server.h"

namespace vrel::fleet {

// Runs `command` through the shell; exits the program when it fails.
void Shell(const std::string& command);

// The registry named on a command line: "postgres" starts a private server (with its durable
// defaults) and a schema `schema` in it; a postgresql:// URI is used as it is; anything else is a
// SQLite file, removed first.
struct Target {
  std::string uri;
  std::string file;  // SQLite's, for its size; empty on PostgreSQL
  std::unique_ptr<vrel::test::PostgresServer> server;
};
Target Open(const std::string& db, const std::string& schema);

// The tool and a temporary folder for its input and output, removed at the end.
class ToolHarness {
 public:
  explicit ToolHarness(std::string tool);
  ~ToolHarness();
  ToolHarness(const ToolHarness&) = delete;
  ToolHarness& operator=(const ToolHarness&) = delete;

  // Feeds tokens [from, to) of `fleet` to `TOOL --db URI command`, appending its output lines to
  // `out`; returns the seconds it took. `env` goes before the command (PGOPTIONS, say).
  double Run(const std::string& uri, const Fleet& fleet, std::size_t from, std::size_t to,
             std::vector<std::string>& out, const char* command = "enroll",
             const std::string& env = "") const;

  const std::string& tool() const { return tool_; }
  const std::string& scratch() const { return scratch_; }

 private:
  std::string tool_, scratch_;
};

}  // namespace vrel::fleet
