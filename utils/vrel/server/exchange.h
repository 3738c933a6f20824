// A request as the routes see it, and their answer: plain values, so that the
// routes know nothing of the connection or the HTTP library.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vrel::server {

struct Request {
  std::string method;  // "GET", "POST", ...
  std::string target;  // path and query
  std::string body;
  std::string authorization;  // the Authorization header, or empty
  std::string client;         // the peer's address
};

struct Response {
  unsigned status = 200;
  std::string body;             // a JSON object, but for /metrics
  std::string route = "other";  // the route's pattern, for the log and the metrics
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string error;  // logged beside the request (never a key or token)
};

// Called once per request, from any thread.
using Reply = std::function<void(Response)>;

// {"error":"..."}: json_body.cpp.
std::string ErrorJson(const std::string& message);
inline Response ErrorResponse(unsigned status, const std::string& message) {
  Response response;
  response.status = status;
  response.body = ErrorJson(message);
  return response;
}

}  // namespace vrel::server
