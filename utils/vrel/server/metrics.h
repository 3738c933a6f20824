// The server's counters, read by GET /metrics in Prometheus' text format, and
// the request log: one JSON line a request on standard error.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vrel::server {

class Metrics {
 public:
  Metrics();
  // An answered request: its route's pattern, status and time from the
  // request's last byte to its answer.
  void Request(const std::string& route, unsigned status, double seconds);
  // An activation or deactivation's outcome: "new-seat", "check-in" or
  // "deactivated", or the refusal's reason.
  void Activation(const std::string& outcome);
  void Refusal(const std::string& reason);
  void Deactivation(const std::string& outcome);
  void DatabaseError();
  // A writing transaction committed with `requests` requests in it.
  void WriteBatch(std::size_t requests);
  void ConnectionOpened();
  void ConnectionClosed();
  void ConnectionRefused();  // over the connection cap

  std::string Text() const;

 private:
  struct Histogram {
    std::vector<std::uint64_t> buckets;  // cumulative in Text, per bucket here
    std::uint64_t count = 0;
    double sum = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, unsigned>, std::uint64_t> requests_;
  std::map<std::string, Histogram> latency_;
  std::map<std::string, std::uint64_t> activations_, refusals_, deactivations_;
  std::uint64_t databaseErrors_ = 0, batches_ = 0, batched_ = 0, refusedConnections_ = 0;
  std::int64_t connections_ = 0;
};

// One line on standard error, written whole.
void LogLine(const std::string& json);
// A request's log line.
std::string RequestLogJson(const std::string& client, const std::string& method,
                           const std::string& route, unsigned status, double seconds,
                           const std::string& error);

}  // namespace vrel::server
