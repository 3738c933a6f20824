#include "vrel/server/startup.h"

#include <openssl/evp.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <fstream>

namespace vrel::server {
namespace {

// Descriptors kept for everything but client connections.
constexpr rlim_t kReservedFiles = 64;

}  // namespace

boost::asio::ip::tcp::endpoint ListenEndpoint(const ServerOptions& options) {
  namespace ip = boost::asio::ip;
  boost::asio::io_context io;
  ip::tcp::resolver resolver(io);
  boost::system::error_code ec;
  const auto found =
      resolver.resolve(options.listenHost, std::to_string(options.listenPort),
                       ip::resolver_base::passive | ip::resolver_base::numeric_service, ec);
  if (ec || found.empty())
    throw UsageError("--listen: no address for \"" + options.listenHost + "\"");
  const ip::tcp::endpoint endpoint = found.begin()->endpoint();
  const bool tls = !options.tlsCert.empty();
  if (!tls && !options.insecureListen && !endpoint.address().is_loopback())
    throw UsageError("--listen " + endpoint.address().to_string() +
                     " is not a loopback address: give --tls-cert and --tls-key, or "
                     "--insecure-listen behind a proxy that terminates TLS");
  return endpoint;
}

std::size_t RaiseFileLimit(std::size_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  if (limit.rlim_cur == RLIM_INFINITY) return wanted;
  const rlim_t room = limit.rlim_cur > kReservedFiles ? limit.rlim_cur - kReservedFiles : 1;
  return std::min<std::size_t>(wanted, room);
}

TokenDigest DigestToken(const std::string& token) {
  TokenDigest digest{};
  unsigned int length = 0;
  EVP_Digest(token.data(), token.size(), digest.data(), &length, EVP_sha256(), nullptr);
  return digest;
}

TokenDigest ReadAdminToken(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) throw UsageError("--admin-token-file: cannot read " + path);
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    throw UsageError("--admin-token-file: " + path +
                     " may be read or written by group or others; chmod 600 it");
  std::ifstream in(path);
  std::string token;
  if (!in || !std::getline(in, token)) throw UsageError("--admin-token-file: cannot read " + path);
  while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) token.pop_back();
  if (token.size() < 16)
    throw UsageError("--admin-token-file: the token in " + path +
                     " is shorter than 16 characters; make one with "
                     "openssl rand -base64 32");
  return DigestToken(token);
}

std::unique_ptr<boost::asio::ssl::context> TlsContext(const std::string& cert,
                                                      const std::string& key) {
  namespace ssl = boost::asio::ssl;
  auto context = std::make_unique<ssl::context>(ssl::context::tls_server);
  context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                       ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                       ssl::context::single_dh_use);
  // An idle connection keeps no read or write buffer (1,000 idle connections).
  SSL_CTX_set_mode(context->native_handle(), SSL_MODE_RELEASE_BUFFERS);
  boost::system::error_code ec;
  context->use_certificate_chain_file(cert, ec);
  if (ec) throw UsageError("--tls-cert " + cert + ": " + ec.message());
  context->use_private_key_file(key, ssl::context::pem, ec);
  if (ec) throw UsageError("--tls-key " + key + ": " + ec.message());
  if (SSL_CTX_check_private_key(context->native_handle()) != 1)
    throw UsageError("--tls-key " + key + " is not the key of --tls-cert " + cert);
  return context;
}

}  // namespace vrel::server
