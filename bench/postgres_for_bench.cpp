// vrel_bench_postgres: a private PostgreSQL server for the server's benchmark
// (bench/server/server_bench.sh), with the server's own durable defaults:
// prints its URI, then runs until standard input closes.
#include <cstdio>
#include <iostream>
#include <string>

#include "postgres_server.h"

int main() {
  std::string why;
  bool missing = false;
  const auto server = vrel::test::PostgresServer::Start(why, missing, true);
  if (!server) {
    std::fprintf(stderr, "vrel_bench_postgres: %s\n", why.c_str());
    return 1;
  }
  std::cout << server->Uri("postgres") << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
  }
  return 0;
}
