// vrel-server's command line.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "vrel/registry/registry.h"

namespace vrel::server {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ServerOptions {
  std::string uri;  // --db, else $VREL_REGISTRY_DB, else sqlite:vrel-registry.db
  std::string signingKey;
  std::string listenHost;
  unsigned short listenPort = 0;  // 0: any free port (printed at start)
  std::string tlsCert, tlsKey;
  std::string adminTokenFile;  // empty: no administration routes
  bool insecureListen = false;
  unsigned threads = 2;  // I/O threads
  unsigned writers = 4;  // writer connections where the backend takes concurrent writers
  unsigned readers = 2;  // read connections
  std::size_t maxConnections = 4096;
  unsigned idleTimeout = 60;     // seconds a keep-alive connection may wait for a request
  unsigned requestTimeout = 10;  // seconds to receive a whole request (and to send an answer)
  registry::RegistryOptions registry;
};

struct CommandLine {
  bool run = false;  // false: print `text` and exit 0 (--help, --version)
  std::string text;
  ServerOptions options;
};

// Throws UsageError for anything else than the usage says.
CommandLine ParseCommandLine(int argc, const char* const* argv);

}  // namespace vrel::server
