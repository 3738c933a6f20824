#include "server_harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "vrel/licence/signer/signing_key.h"

namespace vrel::test {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr auto kStartTimeout = std::chrono::seconds(10);

}  // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& args, bool expectListening) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipeFds[1], STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(VREL_SERVER)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(VREL_SERVER, argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  stderr_ = pipeFds[0];
  reader_ = std::thread([this] {
    char chunk[4096];
    for (ssize_t n; (n = read(stderr_, chunk, sizeof chunk)) > 0;) {
      std::lock_guard<std::mutex> lock(mutex_);
      log_.append(chunk, static_cast<std::size_t>(n));
    }
  });
  if (!expectListening) return;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string log = Log();
    const std::size_t at = log.find("\"event\":\"listening\"");
    if (at != std::string::npos) {
      port_ = static_cast<unsigned short>(std::atoi(log.c_str() + log.find("\"port\":", at) + 7));
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "vrel-server did not start:\n" << Log();
}

// Asked to stop as an operator would (so that it exits as it does in service,
// its coverage counts written), and killed when it has not within a few seconds.
ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    pid_t reaped = 0;
    for (int i = 0; i < 500 && (reaped = waitpid(pid_, nullptr, WNOHANG)) == 0; ++i) usleep(10000);
    if (reaped == pid_) {
      pid_ = -1;
    } else {
      Stop(SIGKILL);  // hung
    }
  }
  if (reader_.joinable()) reader_.join();
  if (stderr_ >= 0) close(stderr_);
}

int ServerProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  if (signal != 0) kill(pid_, signal);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  if (reader_.joinable()) reader_.join();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ServerProcess::Log() {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

ServerFiles::ServerFiles() {
  std::string pattern = ::testing::TempDir() + "vrel-server-XXXXXX";
  folder = mkdtemp(pattern.data());
  signingKey = folder + "/signing.pem";
  SigningKey::Generate().Save(signingKey);
  std::mt19937_64 random(std::random_device{}());
  adminToken = "admin-" + std::to_string(random()) + std::to_string(random());
  adminTokenFile = folder + "/admin.token";
  std::ofstream(adminTokenFile) << adminToken << '\n';
  chmod(adminTokenFile.c_str(), 0600);
  cert = folder + "/cert.pem";
  key = folder + "/key.pem";
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 "
      "-nodes -subj /CN=localhost -days 2 -keyout " +
      key + " -out " + cert + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << "openssl could not make a certificate";
}

ServerFiles::~ServerFiles() { std::filesystem::remove_all(folder); }

struct HttpClient::Streams {
  net::io_context io;
  net::ssl::context context{net::ssl::context::tls_client};
  std::unique_ptr<beast::tcp_stream> plain;
  std::unique_ptr<beast::ssl_stream<beast::tcp_stream>> tls;
  beast::flat_buffer buffer;

  template <class Stream>
  HttpReply Exchange(Stream& stream, http::request<http::string_body>& request) {
    http::write(stream, request);
    http::response_parser<http::string_body> parser;
    parser.body_limit(1 << 24);
    http::read(stream, buffer, parser);
    HttpReply reply;
    reply.status = parser.get().result_int();
    reply.body = parser.get().body();
    for (const auto& field : parser.get()) {
      std::string name(field.name_string());
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      reply.headers[name] = std::string(field.value());
    }
    return reply;
  }
};

HttpClient::HttpClient(unsigned short port, bool tls) : streams_(std::make_unique<Streams>()) {
  const tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"), port);
  if (tls) {
    streams_->context.set_verify_mode(net::ssl::verify_none);  // the tests' own certificate
    streams_->tls =
        std::make_unique<beast::ssl_stream<beast::tcp_stream>>(streams_->io, streams_->context);
    beast::get_lowest_layer(*streams_->tls).connect(endpoint);
    streams_->tls->handshake(net::ssl::stream_base::client);
  } else {
    streams_->plain = std::make_unique<beast::tcp_stream>(streams_->io);
    streams_->plain->connect(endpoint);
  }
}

HttpClient::~HttpClient() = default;

HttpReply HttpClient::Call(const std::string& method, const std::string& target,
                           const std::string& body, const std::string& bearer) {
  http::request<http::string_body> request(http::string_to_verb(method), target, 11);
  request.set(http::field::host, "localhost");
  if (!bearer.empty()) request.set(http::field::authorization, "Bearer " + bearer);
  if (!body.empty()) request.set(http::field::content_type, "application/json");
  request.body() = body;
  request.prepare_payload();
  return streams_->tls ? streams_->Exchange(*streams_->tls, request)
                       : streams_->Exchange(*streams_->plain, request);
}

RawConnection::RawConnection(unsigned short port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    ADD_FAILURE() << "cannot connect to port " << port;
}

RawConnection::~RawConnection() {
  if (fd_ >= 0) close(fd_);
}

bool RawConnection::Send(const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void RawConnection::ShutWrite() { shutdown(fd_, SHUT_WR); }

RawConnection::Received RawConnection::ReadUntilClosed(std::chrono::milliseconds timeout) {
  Received received;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) == 0) {
      received.timedOut = true;
      return received;
    }
    char chunk[4096];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
      received.bytes.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    (n == 0 ? received.closed : received.reset) = true;
    return received;
  }
}

}  // namespace vrel::test
