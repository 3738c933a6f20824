// What vrel-server settles before it serves: the address it listens on, the
// open-file limit, the administration token and the TLS context.
#pragma once

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "vrel/server/options.h"

namespace vrel::server {

// The endpoint to bind. Throws UsageError for a host that names no address,
// and, without TLS or --insecure-listen, for one that is not loopback: plain
// HTTP carries licence keys and the administration token in the clear.
boost::asio::ip::tcp::endpoint ListenEndpoint(const ServerOptions& options);

// Raises the soft open-file limit to the hard one and returns the connections
// it leaves room for (at most `wanted`), keeping some descriptors for the
// database, the listener and the logs.
std::size_t RaiseFileLimit(std::size_t wanted);

// The administration token's SHA-256: compared by digest, so that a
// comparison costs the same whatever the token's length.
using TokenDigest = std::array<unsigned char, 32>;
TokenDigest DigestToken(const std::string& token);

// The first line of `path`, as its digest. Throws UsageError for a file that
// is missing, empty, or readable or writable by group or others.
TokenDigest ReadAdminToken(const std::string& path);

// A TLS server context (TLS 1.2 and later) with the certificate chain and key;
// throws UsageError when they cannot be loaded or do not belong together.
std::unique_ptr<boost::asio::ssl::context> TlsContext(const std::string& cert,
                                                      const std::string& key);

}  // namespace vrel::server
