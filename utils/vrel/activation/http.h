// One HTTP exchange for activation (internal, not installed): a JSON body posted to a URL, the
// status, body and Retry-After read back. The platform's HTTP stack does the work:
// http_posix.cpp with libcurl, http_win32.cpp with WinHTTP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrel::http {

// Where an exchange stopped before a whole answer came.
enum class Failure {
  kNone,
  kBadUrl,
  kNoConnection,
  kNameNotResolved,
  kCertificate,
  kTimeout,
  kBadAnswer,  // not HTTP, or a body over kMaxBody
};

// The largest body read: a licence file (64 KiB at most) and the fields around it.
constexpr std::size_t kMaxBody = 256 * 1024;

struct Limits {
  long connectTimeoutMs = 10000;
  long timeoutMs = 30000;
  std::string caFile;  // libcurl only
};

struct Reply {
  Failure failure = Failure::kNone;
  int status = 0;
  std::string body;
  std::int64_t retryAfter = 0;  // seconds, from Retry-After (a number or a date); 0 when none
  std::string detail;           // the system's words for a failure
};

// POSTs `body` as application/json to `url` (http or https). Throws only std::bad_alloc.
Reply PostJson(const std::string& url, const std::string& body, const Limits& limits);

}  // namespace vrel::http
