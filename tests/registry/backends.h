// The registry's backends as the suites run them: a new, empty registry of
// each, and fingerprints written as a few small numbers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "postgres_server.h"
#include "vrel/registry/storage.h"

namespace vrel::registry {

struct Backend {
  const char* name;
  std::function<std::string(const std::string& scratch)> uri;  // a new, empty registry
};
inline void PrintTo(const Backend& backend, std::ostream* os) { *os << backend.name; }
// The suites' private PostgreSQL server; a schema of its own per registry,
// named first in the connection's search path. Null (the test skips, or fails
// under the test command) when no server can be had.
inline std::string PostgresUri(const std::string& scratch) {
  std::string why;
  test::PostgresServer* server = test::PostgresServer::Shared(why);
  if (server == nullptr) return {};
  static int made = 0;
  const std::string schema = "r" + std::to_string(getpid()) + "_" + std::to_string(++made);
  server->Execute("CREATE SCHEMA " + schema);
  (void)scratch;
  return server->Uri("postgres") + "&options=-csearch_path%3D" + schema;
}

inline bool NeedPostgres() {
  std::string why;
  if (test::PostgresServer::Shared(why) != nullptr) return true;
  if (std::getenv("VREL_REQUIRE_POSTGRES") != nullptr) ADD_FAILURE() << why;
  return false;
}

inline const Backend kBackends[] = {
    {"sqlite", [](const std::string& scratch) { return "sqlite:" + scratch + ".db"; }},
    {"postgresql", PostgresUri},
};

// "cpu volume os-install board nics": each field "x" or small numbers standing
// for digests, nics joined by "+".
inline Fingerprint Fp(const std::string& fields) {
  std::istringstream in(fields);
  Fingerprint fp;
  for (ComponentDigests& component : fp.components) {
    std::string field;
    in >> field;
    if (field == "x") continue;
    component.available = true;
    std::istringstream digits(field);
    for (std::string n; std::getline(digits, n, '+');) component.digests.push_back(DigestBytes(std::stoull(n)));
  }
  return fp;
}

// A new, empty registry of the backend for each test, removed after it.
class BackendTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    TearDown();
    // SQLite is given the path as a URI filename: characters URIs reserve must reach the file.
    scratch_ = ::testing::TempDir() + "registry-%41?#-" + std::to_string(getpid()) + "-" + GetParam().name;
    if (std::string(GetParam().name) == "postgresql" && !NeedPostgres()) {
      GTEST_SKIP() << "no PostgreSQL server (VREL_REQUIRE_POSTGRES=1 makes this a failure)";
    }
    uri_ = GetParam().uri(scratch_);
    storage_ = OpenStorage(uri_, true);
  }
  void TearDown() override {
    storage_.reset();
    for (const char* suffix : {".db", ".db-wal", ".db-shm"}) std::remove((scratch_ + suffix).c_str());
  }
  std::string scratch_, uri_;
  std::unique_ptr<Storage> storage_;
};

}  // namespace vrel::registry
