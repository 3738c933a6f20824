// vrel-server as the suites run it: a child process on a free loopback port,
// its log lines collected, and two clients: Beast's HTTP client (plain or
// TLS) and a raw socket for what no HTTP client sends.
#pragma once

#include <sys/types.h>

#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vrel::test {

// A running vrel-server; SIGKILLed when the object goes without Stop.
class ServerProcess {
 public:
  // Starts VREL_SERVER with `args`; when `expectListening`, waits for its
  // "listening" line and fails the test without it.
  explicit ServerProcess(const std::vector<std::string>& args, bool expectListening = true);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  unsigned short port() const { return port_; }
  pid_t pid() const { return pid_; }
  // Sends `signal` and returns the exit code (or 128 + the signal that ended it).
  int Stop(int signal);
  // The exit code of a server that ends on its own.
  int Wait() { return Stop(0); }
  std::string Log();  // every line on standard error so far

 private:
  pid_t pid_ = -1;
  int stderr_ = -1;
  unsigned short port_ = 0;
  std::mutex mutex_;
  std::string log_;
  std::thread reader_;
};

// A signing key, an administration token and a self-signed certificate for
// localhost, in a folder of their own.
struct ServerFiles {
  ServerFiles();
  ~ServerFiles();
  std::string folder, signingKey, adminToken, adminTokenFile, cert, key;
};

struct HttpReply {
  unsigned status = 0;
  std::string body;
  std::map<std::string, std::string> headers;  // names in lower case
};

// One keep-alive connection (TLS when `tls`, trusting any certificate).
class HttpClient {
 public:
  explicit HttpClient(unsigned short port, bool tls = false);
  ~HttpClient();
  HttpReply Call(const std::string& method, const std::string& target, const std::string& body = "",
                 const std::string& bearer = "");

 private:
  struct Streams;
  std::unique_ptr<Streams> streams_;
};

// A loopback TCP connection as a bare socket, closed with the object.
class RawConnection {
 public:
  explicit RawConnection(unsigned short port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  // Whether every byte was sent.
  bool Send(const std::string& bytes);
  void ShutWrite();
  // What arrives until the peer closes (`closed` true: an orderly end, false:
  // a reset) or `timeout` passes (`timedOut`).
  struct Received {
    std::string bytes;
    bool closed = false, reset = false, timedOut = false;
  };
  Received ReadUntilClosed(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

}  // namespace vrel::test
