#include "vrel/server/http_server.h"

#include <boost/asio/post.hpp>
#include <vector>

namespace vrel::server {

namespace net = boost::asio;
using tcp = net::ip::tcp;

Server::Server(net::io_context& io, const tcp::endpoint& endpoint, net::ssl::context* tls, Api& api,
               Metrics& metrics, ConnectionSettings settings, std::size_t maxConnections)
    : io_(io),
      strand_(net::make_strand(io)),
      acceptor_(strand_),
      pause_(strand_),
      tls_(tls),
      api_(api),
      metrics_(metrics),
      settings_(settings),
      maxConnections_(maxConnections) {
  acceptor_.open(endpoint.protocol());
  acceptor_.set_option(net::socket_base::reuse_address(true));
  acceptor_.bind(endpoint);
  acceptor_.listen(net::socket_base::max_listen_connections);
}

void Server::Start() {
  net::post(strand_, [this] { Accept(); });
}

void Server::Accept() {
  acceptor_.async_accept(net::make_strand(io_),
                         [this](const boost::system::error_code& ec, tcp::socket socket) {
                           Accepted(ec, std::move(socket));
                         });
}

void Server::Accepted(const boost::system::error_code& ec, tcp::socket socket) {
  if (stopping_ || !acceptor_.is_open()) return;
  if (ec) {
    // Out of descriptors, say: wait a little rather than spin on the error.
    pause_.expires_after(std::chrono::milliseconds(50));
    pause_.async_wait([this](const boost::system::error_code& waited) {
      if (!waited && !stopping_) Accept();
    });
    return;
  }
  bool full = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    full = connections_.size() >= maxConnections_;
  }
  if (full) {
    metrics_.ConnectionRefused();
    boost::system::error_code ignored;
    socket.close(ignored);
  } else {
    StartSession(*this, std::move(socket), tls_);
  }
  Accept();
}

void Server::Stop() {
  stopping_ = true;
  net::post(strand_, [this] {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    pause_.cancel();
  });
  std::vector<std::shared_ptr<Connection>> open;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, weak] : connections_)
      if (auto connection = weak.lock()) open.push_back(std::move(connection));
  }
  for (auto& connection : open) connection->Stop();
}

std::uint64_t Server::Add(std::weak_ptr<Connection> connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  connections_.emplace(++next_, std::move(connection));
  return next_;
}

void Server::Remove(std::uint64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  connections_.erase(id);
}

}  // namespace vrel::server
