#include "vrel/server/options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

#include "vrel/version.h"

namespace vrel::server {
namespace {

const char kUsage[] =
    "Usage: vrel-server --db URI --signing-key PATH --listen HOST:PORT\n"
    "                   [--tls-cert PATH --tls-key PATH] [--admin-token-file PATH]\n"
    "\n"
    "Activates machines over HTTP/1.1 (POST /v1/activate, /v1/deactivate), administers\n"
    "licences with a bearer token (/v1/licences, /v1/machines, /v1/identify, /v1/shared),\n"
    "and answers GET /healthz and /metrics. See docs/server.md.\n"
    "\n"
    "  --db URI                 the registry: sqlite:PATH, a path, or postgresql://...\n"
    "                           (default $VREL_REGISTRY_DB, else sqlite:vrel-registry.db)\n"
    "  --signing-key PATH       the licence signing key (vrel-registry keygen)\n"
    "  --listen HOST:PORT       the address to listen on ([::1]:8443 for IPv6; port 0: any)\n"
    "  --tls-cert PATH          certificate chain (PEM); with --tls-key, TLS on every connection\n"
    "  --tls-key PATH           the certificate's private key (PEM)\n"
    "  --admin-token-file PATH  the administration bearer token, its first line (mode 0600);\n"
    "                           without it the administration routes answer 404\n"
    "  --insecure-listen        listen without TLS on a non-loopback address (behind a\n"
    "                           TLS-terminating proxy)\n"
    "  --threads N              I/O threads (default 2)\n"
    "  --writers N              writer connections on PostgreSQL (default 4; SQLite has one)\n"
    "  --readers N              read connections (default 2)\n"
    "  --max-connections N      open connections at most (default 4096)\n"
    "  --idle-timeout S         seconds an idle keep-alive connection is kept (default 60)\n"
    "  --request-timeout S      seconds to receive a whole request (default 10)\n"
    "  --shared-at K            a digest held by K machines is shared (default 3)\n"
    "  --history N              tokens kept per machine (default 16)\n"
    "  -h, --help               print this help\n"
    "  --version                print the version\n";

unsigned long Number(const std::string& name, const std::string& text, unsigned long least,
                     unsigned long most) {
  errno = 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 ||
      value < least || value > most)
    throw UsageError(name + " takes a whole number from " + std::to_string(least) + " to " +
                     std::to_string(most) + ", not \"" + text + "\"");
  return value;
}

// "HOST:PORT", "[IPV6]:PORT".
void ListenAddress(const std::string& text, ServerOptions& options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0)
    throw UsageError("--listen takes HOST:PORT, not \"" + text + "\"");
  std::string host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']')
      throw UsageError("--listen takes [IPV6]:PORT, not \"" + text + "\"");
    host = host.substr(1, host.size() - 2);
  }
  options.listenHost = host;
  options.listenPort =
      static_cast<unsigned short>(Number("--listen's port", text.substr(colon + 1), 0, 65535));
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  ServerOptions& o = line.options;
  using Set = std::function<void(const std::string&)>;
  const std::map<std::string, Set> valued = {
      {"--db", [&](const std::string& v) { o.uri = v; }},
      {"--signing-key", [&](const std::string& v) { o.signingKey = v; }},
      {"--listen", [&](const std::string& v) { ListenAddress(v, o); }},
      {"--tls-cert", [&](const std::string& v) { o.tlsCert = v; }},
      {"--tls-key", [&](const std::string& v) { o.tlsKey = v; }},
      {"--admin-token-file", [&](const std::string& v) { o.adminTokenFile = v; }},
      {"--threads", [&](const std::string& v) { o.threads = Number("--threads", v, 1, 64); }},
      {"--writers", [&](const std::string& v) { o.writers = Number("--writers", v, 1, 64); }},
      {"--readers", [&](const std::string& v) { o.readers = Number("--readers", v, 1, 64); }},
      {"--max-connections",
       [&](const std::string& v) {
         o.maxConnections = Number("--max-connections", v, 1, 1 << 20);
       }},
      {"--idle-timeout",
       [&](const std::string& v) { o.idleTimeout = Number("--idle-timeout", v, 1, 86400); }},
      {"--request-timeout",
       [&](const std::string& v) { o.requestTimeout = Number("--request-timeout", v, 1, 3600); }},
      {"--shared-at",
       [&](const std::string& v) { o.registry.sharedAt = Number("--shared-at", v, 2, 1000000); }},
      {"--history",
       [&](const std::string& v) { o.registry.history = Number("--history", v, 1, 1000000); }},
  };
  bool listen = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i], value;
    bool hasValue = false;
    const std::size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      hasValue = true;
    }
    if (arg == "-h" || arg == "--help") return {false, kUsage, {}};
    if (arg == "--version") return {false, std::string("vrel-server ") + VREL_VERSION + "\n", {}};
    if (arg == "--insecure-listen" && !hasValue) {
      o.insecureListen = true;
      continue;
    }
    const auto found = valued.find(arg);
    if (found == valued.end())
      throw UsageError("unknown argument \"" + arg + "\" (vrel-server --help lists them)");
    if (!hasValue) {
      if (i + 1 >= argc) throw UsageError(arg + " needs a value");
      value = argv[++i];
    }
    found->second(value);
    listen = listen || arg == "--listen";
  }
  if (o.uri.empty()) {
    const char* env = std::getenv("VREL_REGISTRY_DB");
    o.uri = env != nullptr && *env != '\0' ? env : "sqlite:vrel-registry.db";
  }
  if (o.signingKey.empty()) throw UsageError("--signing-key PATH is needed to sign licence files");
  if (!listen) throw UsageError("--listen HOST:PORT is needed");
  if (o.tlsCert.empty() != o.tlsKey.empty())
    throw UsageError("--tls-cert and --tls-key go together");
  line.run = true;
  return line;
}

}  // namespace vrel::server
