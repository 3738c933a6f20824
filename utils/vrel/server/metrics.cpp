#include "vrel/server/metrics.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "vrel/registry/report.h"

namespace vrel::server {
namespace {

// Upper bounds of the latency histogram's buckets, in seconds.
constexpr double kBounds[] = {0.0005, 0.001, 0.002, 0.005, 0.01, 0.02, 0.05,
                              0.1,    0.25,  0.5,   1,     2.5,  5,    10};
constexpr std::size_t kBucketCount = sizeof(kBounds) / sizeof(kBounds[0]);

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void Counters(std::string& out, const char* name, const char* label,
              const std::map<std::string, std::uint64_t>& values) {
  for (const auto& [key, value] : values)
    out += std::string(name) + '{' + label + "=\"" + key + "\"} " + std::to_string(value) + '\n';
}

}  // namespace

Metrics::Metrics() = default;

void Metrics::Request(const std::string& route, unsigned status, double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++requests_[{route, status}];
  Histogram& histogram = latency_[route];
  if (histogram.buckets.empty()) histogram.buckets.assign(kBucketCount, 0);
  std::size_t bucket = 0;
  while (bucket < kBucketCount && seconds > kBounds[bucket]) ++bucket;
  if (bucket < kBucketCount) ++histogram.buckets[bucket];
  ++histogram.count;
  histogram.sum += seconds;
}

void Metrics::Activation(const std::string& outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++activations_[outcome];
}

void Metrics::Refusal(const std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++refusals_[reason];
}

void Metrics::Deactivation(const std::string& outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++deactivations_[outcome];
}

void Metrics::DatabaseError() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++databaseErrors_;
}

void Metrics::WriteBatch(std::size_t requests) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++batches_;
  batched_ += requests;
}

void Metrics::ConnectionOpened() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++connections_;
}

void Metrics::ConnectionClosed() {
  std::lock_guard<std::mutex> lock(mutex_);
  --connections_;
}

void Metrics::ConnectionRefused() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++refusedConnections_;
}

std::string Metrics::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string out;
  Family(out, "vrel_server_requests_total", "counter", "Requests answered, by route and status.");
  for (const auto& [key, value] : requests_)
    out += "vrel_server_requests_total{route=\"" + key.first + "\",status=\"" +
           std::to_string(key.second) + "\"} " + std::to_string(value) + '\n';
  Family(out, "vrel_server_request_duration_seconds", "histogram",
         "Time from a request's last byte to its answer, by route.");
  for (const auto& [route, histogram] : latency_) {
    const std::string prefix = "vrel_server_request_duration_seconds";
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < kBucketCount; ++i) {
      cumulative += histogram.buckets[i];
      out += prefix + "_bucket{route=\"" + route + "\",le=\"" + Number(kBounds[i]) + "\"} " +
             std::to_string(cumulative) + '\n';
    }
    out += prefix + "_bucket{route=\"" + route + "\",le=\"+Inf\"} " +
           std::to_string(histogram.count) + '\n';
    out += prefix + "_sum{route=\"" + route + "\"} " + Number(histogram.sum) + '\n';
    out += prefix + "_count{route=\"" + route + "\"} " + std::to_string(histogram.count) + '\n';
  }
  Family(out, "vrel_server_activations_total", "counter",
         "Machines activated: a new seat, or a check-in of a seat held.");
  Counters(out, "vrel_server_activations_total", "result", activations_);
  Family(out, "vrel_server_refusals_total", "counter",
         "Activations refused, by reason (too-many-refusals: refused before the registry).");
  Counters(out, "vrel_server_refusals_total", "reason", refusals_);
  Family(out, "vrel_server_deactivations_total", "counter",
         "Deactivations, by result or refusal reason.");
  Counters(out, "vrel_server_deactivations_total", "result", deactivations_);
  Family(out, "vrel_server_database_errors_total", "counter",
         "Transactions that failed with a database error (answered 503).");
  out += "vrel_server_database_errors_total " + std::to_string(databaseErrors_) + '\n';
  Family(out, "vrel_server_write_batches_total", "counter",
         "Writing transactions committed (each holds every write waiting when it began).");
  out += "vrel_server_write_batches_total " + std::to_string(batches_) + '\n';
  Family(out, "vrel_server_write_batch_requests_total", "counter",
         "Requests committed in those transactions.");
  out += "vrel_server_write_batch_requests_total " + std::to_string(batched_) + '\n';
  Family(out, "vrel_server_connections", "gauge", "Connections open.");
  out += "vrel_server_connections " + std::to_string(connections_) + '\n';
  Family(out, "vrel_server_connections_refused_total", "counter",
         "Connections closed at once because the connection cap was reached.");
  out += "vrel_server_connections_refused_total " + std::to_string(refusedConnections_) + '\n';
  return out;
}

void LogLine(const std::string& json) {
  const std::string line = json + '\n';
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a log that cannot be written does not stop the service
    done += static_cast<std::size_t>(n);
  }
}

std::string RequestLogJson(const std::string& client, const std::string& method,
                           const std::string& route, unsigned status, double seconds,
                           const std::string& error) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis % 1000));
  std::string time = registry::Rfc3339(millis / 1000);
  time.insert(time.size() - 1, fraction);
  std::string line = "{\"time\":\"" + time + "\",\"client\":" + registry::JsonQuoted(client) +
                     ",\"method\":" + registry::JsonQuoted(method) +
                     ",\"route\":" + registry::JsonQuoted(route) +
                     ",\"status\":" + std::to_string(status) + ",\"ms\":" + Number(seconds * 1000);
  if (!error.empty()) line += ",\"error\":" + registry::JsonQuoted(error);
  return line + '}';
}

}  // namespace vrel::server
