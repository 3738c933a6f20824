// Activation's portable part: the request's body, the server's answer read into a result, the
// optional check of the returned file and its writing. The exchange itself is http.h's.
#include "vrel/activation/activation.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "vrel/activation/http.h"
#include "vrel/fingerprint/components.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/licence/whole_file.h"

namespace vrel {
namespace {

using nlohmann::json;

// Each error's name and sentence, in the enumeration's order.
constexpr struct {
  const char* name;
  const char* text;
} kErrors[] = {
    {"none", "activated"},
    {"bad-url", "the server address is not an http:// or https:// URL"},
    {"no-connection",
     "the server could not be reached (no network, or the connection was refused"
     " or broken)"},
    {"name-not-resolved", "the server's name could not be resolved"},
    {"certificate", "the server's certificate was refused"},
    {"timeout", "the server did not answer in time"},
    {"refused", "the server refused the licence"},
    {"too-many-requests", "the server refuses requests from this address for a while"},
    {"bad-request", "the server could not read the request"},
    {"server-error", "the server failed"},
    {"bad-answer", "the server's answer is not a licence server's"},
    {"not-valid", "the licence file the server returned is not valid"},
    {"write-failed", "the licence file could not be written"},
};
static_assert(std::size(kErrors) == static_cast<std::size_t>(ActivationError::kWriteFailed) + 1,
              "an error without its name");

ActivationError FromHttp(http::Failure failure) {
  switch (failure) {
    case http::Failure::kBadUrl:
      return ActivationError::kBadUrl;
    case http::Failure::kNoConnection:
      return ActivationError::kNoConnection;
    case http::Failure::kNameNotResolved:
      return ActivationError::kNameNotResolved;
    case http::Failure::kCertificate:
      return ActivationError::kCertificate;
    case http::Failure::kTimeout:
      return ActivationError::kTimeout;
    default:
      return ActivationError::kBadAnswer;
  }
}

// The string member `name` of `object`, or "" when it is missing or not a string.
std::string Member(const json& object, const char* name) {
  const auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Posts {"key":...,"token":...} to `route` of the server and reads the answer into a result:
// kNone for a 200 whose object has `done` true (and, when asked, a non-empty licenceFile).
ActivationResult Exchange(std::string_view serverUrl, const char* route, const char* done,
                          std::string_view licenceKey, std::string_view applicationKey,
                          const ActivationOptions& options) {
  if (applicationKey.empty()) throw std::invalid_argument("the application key is empty");
  std::string url(serverUrl);
  while (!url.empty() && url.back() == '/') url.pop_back();
  url += route;
  const std::string token = MakeToken(CollectComponents(), applicationKey);
  const std::string body = json{{"key", licenceKey}, {"token", token}}.dump(
      -1, ' ', false, json::error_handler_t::replace);  // a key that is not UTF-8 stays a string
  const http::Reply reply =
      http::PostJson(url, body, {options.connectTimeoutMs, options.timeoutMs, options.caFile});

  ActivationResult result;
  if (reply.failure != http::Failure::kNone) {
    result.error = FromHttp(reply.failure);
    result.message = reply.detail;
    return result;
  }
  result.status = reply.status;
  const json answer = json::parse(reply.body, nullptr, false);
  if (answer.is_object()) {
    result.answer = reply.body;
    result.message = Member(answer, answer.contains("message") ? "message" : "error");
  }
  const bool object = answer.is_object();
  if (reply.status == 200 && object && answer.contains(done) && answer[done] == true) {
    result.error = ActivationError::kNone;
    result.licenceFile = Member(answer, "licenceFile");
  } else if (reply.status == 403 && object && answer.contains("reason")) {
    result.error = ActivationError::kRefused;
    result.reason = Member(answer, "reason");
  } else if (reply.status == 429) {
    result.error = ActivationError::kTooManyRequests;
    result.retryAfter = reply.retryAfter;
  } else if (reply.status == 400) {
    result.error = ActivationError::kBadRequest;
  } else if (reply.status >= 500 && reply.status < 600) {
    result.error = ActivationError::kServerError;
  } else {
    result.error = ActivationError::kBadAnswer;
  }
  if (!result.ok() && result.message.empty()) {
    result.message = "HTTP status " + std::to_string(reply.status);
  }
  return result;
}

}  // namespace

const char* ActivationErrorName(ActivationError error) {
  return kErrors[static_cast<std::size_t>(error)].name;
}

const char* ActivationErrorText(ActivationError error) {
  return kErrors[static_cast<std::size_t>(error)].text;
}

ActivationResult Activate(std::string_view serverUrl, std::string_view licenceKey,
                          std::string_view applicationKey, const std::string& licencePath,
                          const ActivationOptions& options) {
  if (licencePath.empty()) throw std::invalid_argument("the licence file's path is empty");
  ActivationResult result =
      Exchange(serverUrl, "/v1/activate", "activated", licenceKey, applicationKey, options);
  if (!result.ok()) return result;
  if (result.licenceFile.empty()) {
    result.error = ActivationError::kBadAnswer;
    result.message = "the answer holds no licence file";
    return result;
  }
  if (!options.trustedPublicKeys.empty()) {
    const LicenceCheck check =
        VerifyLicence(result.licenceFile, options.trustedPublicKeys, applicationKey,
                      options.application, options.licenceOptions);
    if (check.verdict != LicenceVerdict::kValid) {
      result.error = ActivationError::kNotValid;
      result.reason = LicenceVerdictName(check.verdict);
      result.message = LicenceVerdictText(check.verdict);
      result.licenceFile.clear();
      return result;
    }
  }
  if (!WriteFileWhole(licencePath, result.licenceFile)) {
    result.error = ActivationError::kWriteFailed;
    result.message = "cannot write " + licencePath;
  }
  return result;
}

ActivationResult Deactivate(std::string_view serverUrl, std::string_view licenceKey,
                            std::string_view applicationKey, const ActivationOptions& options) {
  return Exchange(serverUrl, "/v1/deactivate", "deactivated", licenceKey, applicationKey, options);
}

}  // namespace vrel
