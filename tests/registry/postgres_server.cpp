#include "postgres_server.h"

#include <fcntl.h>
#include <glob.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include <libpq-fe.h>

namespace vrel::test {
namespace {

// The newest installed PostgreSQL's programs folder, or empty.
std::string FindBin() {
  glob_t found{};
  std::string best;
  if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0) {
    int bestVersion = -1;
    for (std::size_t i = 0; i < found.gl_pathc; ++i) {
      const std::string path = found.gl_pathv[i];
      const int version = std::atoi(path.c_str() + std::string("/usr/lib/postgresql/").size());
      if (version > bestVersion) {
        bestVersion = version;
        best = path.substr(0, path.size() - std::string("/initdb").size());
      }
    }
  }
  globfree(&found);
  return best;
}

// In a child: become the unprivileged user when running as root, send the
// output to `log`, and run `args`. Never returns.
[[noreturn]] void ExecAs(const std::vector<std::string>& args, const std::string& log,
                         bool dieWithParent, pid_t parent) {
  if (geteuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(126);
  }
  // Set after the user change, which would clear it; then make sure the
  // parent did not die before it took effect.
  if (dieWithParent && (prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != parent)) _exit(126);
  const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd >= 0) {
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& log, bool dieWithParent) {
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) ExecAs(args, log, dieWithParent, parent);
  return child;
}

bool RunToEnd(const std::vector<std::string>& args, const std::string& log) {
  const pid_t child = Spawn(args, log, false);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace

std::unique_ptr<PostgresServer> PostgresServer::Start(std::string& why, bool& missing,
                                                     bool durable) {
  missing = false;
  std::unique_ptr<PostgresServer> server(new PostgresServer);
  server->bin_ = FindBin();
  if (server->bin_.empty()) {
    missing = true;
    why = "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb)";
    return nullptr;
  }
  char folder[] = "/tmp/vrelpg.XXXXXX";  // short: a socket path has about 100 bytes
  if (mkdtemp(folder) == nullptr) {
    why = "cannot make a temporary folder";
    return nullptr;
  }
  server->folder_ = folder;
  if (geteuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || chown(folder, nobody->pw_uid, nobody->pw_gid) != 0) {
      why = "cannot hand the server's folder to the user nobody";
      return nullptr;
    }
  }
  const std::string log = server->folder_ + "/server.log";
  const std::string data = server->folder_ + "/data";
  if (!RunToEnd({server->bin_ + "/initdb", "-D", data, "-U", "vrel", "-A", "trust", "-E",
                 "UTF8", "--locale=C", "--no-sync"},
                log)) {
    why = "initdb failed; see " + log;
    return nullptr;
  }
  std::vector<std::string> args = {server->bin_ + "/postgres", "-D", data, "-k", server->folder_,
                                   "-c", "listen_addresses="};
  if (!durable) args.insert(args.end(), {"-c", "fsync=off", "-c", "full_page_writes=off"});
  server->postmaster_ = Spawn(args, log, true);
  const std::string probe = server->Uri("postgres");
  for (int tries = 0; tries < 300; ++tries) {
    if (PQping(probe.c_str()) == PQPING_OK) return server;
    int status = 0;
    if (waitpid(server->postmaster_, &status, WNOHANG) == server->postmaster_) {
      server->postmaster_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  why = "the PostgreSQL server did not start; see " + log;
  return nullptr;
}

PostgresServer::~PostgresServer() {
  if (postmaster_ > 0) {
    kill(postmaster_, SIGINT);  // fast shutdown: ends the sessions, then the server
    int status = 0;
    for (int tries = 0; tries < 100; ++tries) {
      if (waitpid(postmaster_, &status, WNOHANG) == postmaster_) {
        postmaster_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (postmaster_ > 0) {
      kill(postmaster_, SIGKILL);
      waitpid(postmaster_, &status, 0);
    }
  }
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string PostgresServer::Uri(const std::string& name) const {
  return "postgresql:///" + name + "?host=" + folder_ + "&user=vrel";
}

bool PostgresServer::Execute(const std::string& sql) const {
  PGconn* conn = PQconnectdb(Uri("postgres").c_str());
  PGresult* result = PQexec(conn, sql.c_str());
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
  PQclear(result);
  PQfinish(conn);
  return ok;
}

std::string PostgresServer::Value(const std::string& sql) const {
  PGconn* conn = PQconnectdb(Uri("postgres").c_str());
  PGresult* result = PQexec(conn, sql.c_str());
  std::string value;
  if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0) {
    value = PQgetvalue(result, 0, 0);
  }
  PQclear(result);
  PQfinish(conn);
  return value;
}

PostgresServer* PostgresServer::Shared(std::string& why) {
  static std::string startError;
  static bool missing = false;
  static std::unique_ptr<PostgresServer> server = Start(startError, missing);
  why = startError;
  return server.get();
}

}  // namespace vrel::test
