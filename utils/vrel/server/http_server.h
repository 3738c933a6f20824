// The listener and its connections: accepts on one address (SO_REUSEADDR, so
// that a restart takes its port back at once), starts a session for each
// connection (plain or TLS) up to a cap, and on Stop closes the listener and
// idle connections while busy ones finish their request.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "vrel/server/api.h"
#include "vrel/server/metrics.h"

namespace vrel::server {

struct ConnectionSettings {
  std::size_t bodyLimit = 16 * 1024;   // larger bodies: 413
  std::size_t headerLimit = 8 * 1024;  // larger request line and headers: 431
  std::chrono::seconds idleTimeout{60};
  std::chrono::seconds requestTimeout{10};  // a whole request, from its first byte; an answer
  std::chrono::seconds lingerTimeout{2};    // reading what a client still sends after a close
  std::size_t lingerBytes = 1 << 20;
};

// What the server needs of a connection to stop it.
class Connection {
 public:
  virtual ~Connection() = default;
  // Closes the connection if it waits for a request; otherwise it closes
  // after its answer. Any thread.
  virtual void Stop() = 0;
};

class Server {
 public:
  // Binds and listens at once (throws boost::system::system_error when it cannot).
  Server(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint,
         boost::asio::ssl::context* tls, Api& api, Metrics& metrics, ConnectionSettings settings,
         std::size_t maxConnections);

  boost::asio::ip::tcp::endpoint LocalEndpoint() const { return acceptor_.local_endpoint(); }
  void Start();
  // Stops accepting and stops every connection. Any thread.
  void Stop();

  // For the connections.
  bool stopping() const { return stopping_; }
  Api& api() { return api_; }
  Metrics& metrics() { return metrics_; }
  const ConnectionSettings& settings() const { return settings_; }
  std::uint64_t Add(std::weak_ptr<Connection> connection);
  void Remove(std::uint64_t id);

 private:
  void Accept();
  void Accepted(const boost::system::error_code& ec, boost::asio::ip::tcp::socket socket);

  boost::asio::io_context& io_;
  boost::asio::strand<boost::asio::io_context::executor_type> strand_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer pause_;  // after the process ran out of descriptors
  boost::asio::ssl::context* tls_;
  Api& api_;
  Metrics& metrics_;
  ConnectionSettings settings_;
  std::size_t maxConnections_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::unordered_map<std::uint64_t, std::weak_ptr<Connection>> connections_;
  std::uint64_t next_ = 0;
};

// Starts serving `socket` (TLS when `tls` is given); session.cpp.
void StartSession(Server& server, boost::asio::ip::tcp::socket socket,
                  boost::asio::ssl::context* tls);

}  // namespace vrel::server
