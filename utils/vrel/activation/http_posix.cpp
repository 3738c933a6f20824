// The exchange on Linux: libcurl's easy interface, peer and host verified against the system's
// CA store (or the caller's CA file), bounded by a connect and a total timeout. libcurl also
// honours the proxy variables (https_proxy, no_proxy) as every curl program does.
#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <new>

#include "vrel/activation/http.h"
#include "vrel/version.h"

namespace vrel::http {
namespace {

struct EasyFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyPtr = std::unique_ptr<CURL, EasyFree>;
using ListPtr = std::unique_ptr<curl_slist, ListFree>;

// libcurl's results that say more than "the connection failed"; any other is kNoConnection.
constexpr struct {
  CURLcode code;
  Failure failure;
} kFailures[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, Failure::kBadUrl},
    {CURLE_URL_MALFORMAT, Failure::kBadUrl},
    {CURLE_COULDNT_RESOLVE_HOST, Failure::kNameNotResolved},
    {CURLE_COULDNT_RESOLVE_PROXY, Failure::kNameNotResolved},
    {CURLE_OPERATION_TIMEDOUT, Failure::kTimeout},
    {CURLE_PEER_FAILED_VERIFICATION, Failure::kCertificate},
    {CURLE_SSL_CACERT_BADFILE, Failure::kCertificate},
    {CURLE_SSL_ISSUER_ERROR, Failure::kCertificate},
    {CURLE_WRITE_ERROR, Failure::kBadAnswer},  // the body passed kMaxBody
    {CURLE_WEIRD_SERVER_REPLY, Failure::kBadAnswer},
    {CURLE_GOT_NOTHING, Failure::kBadAnswer},
    {CURLE_BAD_CONTENT_ENCODING, Failure::kBadAnswer},
};

struct Sink {
  std::string* body;
  bool outOfMemory = false;
};

// Appends up to kMaxBody bytes; returning less than given stops the transfer (CURLE_WRITE_ERROR).
// No exception may cross libcurl, so running out of memory is noted and thrown afterwards.
size_t Append(char* data, size_t size, size_t count, void* user) {
  Sink& sink = *static_cast<Sink*>(user);
  const size_t bytes = size * count;
  if (sink.body->size() + bytes > kMaxBody) return 0;
  try {
    sink.body->append(data, bytes);
  } catch (const std::bad_alloc&) {
    sink.outOfMemory = true;
    return 0;
  }
  return bytes;
}

template <typename T>
void Set(CURL* curl, CURLoption option, T value) {
  // Every option used here exists since libcurl 7.85 (CURLOPT_PROTOCOLS_STR); a refusal can only
  // be memory.
  if (curl_easy_setopt(curl, option, value) == CURLE_OUT_OF_MEMORY) throw std::bad_alloc();
}

}  // namespace

Reply PostJson(const std::string& url, const std::string& body, const Limits& limits) {
  // Thread-safe since libcurl 7.84 and done once; the static keeps its result.
  static const CURLcode global = curl_global_init(CURL_GLOBAL_DEFAULT);
  Reply reply;
  if (global != CURLE_OK) throw std::bad_alloc();  // its only failure is memory
  const EasyPtr curl(curl_easy_init());
  if (!curl) throw std::bad_alloc();
  ListPtr headers;
  for (const char* line : {"Content-Type: application/json", "Accept: application/json"}) {
    curl_slist* longer = curl_slist_append(headers.get(), line);
    if (longer == nullptr) throw std::bad_alloc();
    headers.release();
    headers.reset(longer);
  }
  char error[CURL_ERROR_SIZE] = "";
  Sink sink{&reply.body};
  CURL* c = curl.get();
  Set(c, CURLOPT_ERRORBUFFER, error);
  Set(c, CURLOPT_URL, url.c_str());
  Set(c, CURLOPT_PROTOCOLS_STR, "http,https");
  Set(c, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM for timeouts: the caller may run threads
  Set(c, CURLOPT_HTTPHEADER, headers.get());
  Set(c, CURLOPT_POSTFIELDS, body.data());
  Set(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  Set(c, CURLOPT_USERAGENT, "vrel/" VREL_VERSION);
  Set(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
  Set(c, CURLOPT_TIMEOUT_MS, limits.timeoutMs);
  Set(c, CURLOPT_SSL_VERIFYPEER, 1L);
  Set(c, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!limits.caFile.empty()) Set(c, CURLOPT_CAINFO, limits.caFile.c_str());
  Set(c, CURLOPT_WRITEFUNCTION, Append);
  Set(c, CURLOPT_WRITEDATA, &sink);

  const CURLcode result = curl_easy_perform(c);
  if (sink.outOfMemory || result == CURLE_OUT_OF_MEMORY) throw std::bad_alloc();
  if (result != CURLE_OK) {
    reply.failure = Failure::kNoConnection;
    for (const auto& known : kFailures) {
      if (known.code == result) reply.failure = known.failure;
    }
    reply.detail = error[0] != '\0' ? error : curl_easy_strerror(result);
    reply.body.clear();
    return reply;
  }
  long status = 0;
  curl_off_t retryAfter = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(c, CURLINFO_RETRY_AFTER, &retryAfter);
  reply.status = static_cast<int>(status);
  reply.retryAfter = std::max<curl_off_t>(retryAfter, 0);  // a date in the past: now
  return reply;
}

}  // namespace vrel::http
