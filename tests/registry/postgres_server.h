// A private PostgreSQL server for the registry's suites: a cluster made by
// initdb in a temporary folder, listening on a unix socket inside it and on no
// TCP port, run as an unprivileged user (the server refuses root), and
// stopped and removed when the object goes, or with the test process, however
// that ends (the server is told to quit when its parent dies).
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

namespace vrel::test {

class PostgresServer {
 public:
  // Starts a server, or returns null with `why` set: no PostgreSQL installed
  // (`missing` true), or it would not start. Not `durable`: no disk syncs, for
  // tests; durable: the server's own defaults, for measurements.
  static std::unique_ptr<PostgresServer> Start(std::string& why, bool& missing,
                                               bool durable = false);
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // A libpq URI for database `name` on this server, as the superuser "vrel"
  // (the cluster starts with the database "postgres" only).
  std::string Uri(const std::string& name) const;
  // Runs `sql` in the database "postgres"; false when it fails.
  bool Execute(const std::string& sql) const;
  // The first value `sql` returns there, or empty.
  std::string Value(const std::string& sql) const;

  // The process's server: started on first use and stopped at exit; null,
  // with `why`, when none could be started.
  static PostgresServer* Shared(std::string& why);

 private:
  PostgresServer() = default;
  std::string folder_;  // the cluster, the socket, the log
  std::string bin_;     // PostgreSQL's programs
  pid_t postmaster_ = -1;
};

}  // namespace vrel::test
