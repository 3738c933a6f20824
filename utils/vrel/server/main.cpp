// vrel-server: activation and administration over HTTP/1.1 (see options.cpp's
// usage and docs/server.md). Exit 0 after SIGTERM or SIGINT once every request
// in flight is answered; 2 for a usage error or a file that cannot be used
// (signing key, token, certificate); 3 when the registry cannot be opened; 1
// when the address cannot be listened on.
#include <pthread.h>

#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include "vrel/registry/errors.h"
#include "vrel/registry/report.h"
#include "vrel/server/database.h"
#include "vrel/server/http_server.h"
#include "vrel/server/startup.h"

namespace {

using namespace vrel::server;
namespace net = boost::asio;

int Serve(const ServerOptions& options) {
  const auto endpoint = ListenEndpoint(options);
  const vrel::SigningKey signer = vrel::SigningKey::Load(options.signingKey);
  std::optional<TokenDigest> adminToken;
  if (!options.adminTokenFile.empty()) adminToken = ReadAdminToken(options.adminTokenFile);
  std::unique_ptr<net::ssl::context> tls;
  if (!options.tlsCert.empty()) tls = TlsContext(options.tlsCert, options.tlsKey);
  const std::size_t maxConnections = RaiseFileLimit(options.maxConnections);

  Metrics metrics;
  RefusalLimit limit;
  Database database(options.uri, options.registry, options.writers, options.readers, metrics);
  Api api(database, signer, metrics, limit, adminToken);
  net::io_context io(static_cast<int>(options.threads));
  ConnectionSettings settings;
  settings.idleTimeout = std::chrono::seconds(options.idleTimeout);
  settings.requestTimeout = std::chrono::seconds(options.requestTimeout);
  Server server(io, endpoint, tls.get(), api, metrics, settings, maxConnections);

  net::signal_set signals(io, SIGTERM, SIGINT);
  signals.async_wait([&](const boost::system::error_code& ec, int signal) {
    if (ec) return;
    LogLine(std::string("{\"event\":\"stopping\",\"signal\":") + std::to_string(signal) + "}");
    server.Stop();
  });
  server.Start();
  const auto local = server.LocalEndpoint();
  LogLine("{\"event\":\"listening\",\"address\":" +
          vrel::registry::JsonQuoted(local.address().to_string()) +
          ",\"port\":" + std::to_string(local.port()) + ",\"tls\":" + (tls ? "true" : "false") +
          ",\"maxConnections\":" + std::to_string(maxConnections) + "}");

  std::vector<std::thread> threads;
  for (unsigned i = 1; i < options.threads; ++i)
    threads.emplace_back([&io] {
      pthread_setname_np(pthread_self(), "vrel-io");
      io.run();
    });
  io.run();
  for (std::thread& thread : threads) thread.join();
  database.Stop();
  LogLine("{\"event\":\"stopped\"}");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  try {
    const CommandLine line = ParseCommandLine(argc, argv);
    if (!line.run) {
      std::fputs(line.text.c_str(), stdout);
      return 0;
    }
    return Serve(line.options);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "vrel-server: %s\n", e.what());
    return 2;
  } catch (const vrel::KeyFileError& e) {
    std::fprintf(stderr, "vrel-server: %s\n", e.what());
    return 2;
  } catch (const vrel::registry::UriError& e) {
    std::fprintf(stderr, "vrel-server: %s\n", e.what());
    return 2;
  } catch (const vrel::registry::StorageError& e) {
    std::fprintf(stderr, "vrel-server: the registry: %s\n", e.what());
    return 3;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrel-server: %s\n", e.what());
    return 1;
  }
}
