// The C interface over the fingerprint. Every entry point checks its pointers
// first and runs the C++ code inside one guard that turns whatever it throws
// into an error code, so no exception reaches a C caller.
#include "vrel/c/vrel_c.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "vrel/activation/activation.h"
#include "vrel/c/c_guard.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/json/fingerprint_json.h"
#include "vrel/json/licence_json.h"

static_assert(VREL_MAX_TOKEN_LENGTH == vrel::kMaxTokenLength, "the header's token bound is stale");

namespace {

using vrel::c::Deliver;
using vrel::c::Guarded;

int Refusal(bool unsupportedVersion) {
  return unsupportedVersion ? VREL_E_UNSUPPORTED_VERSION : VREL_E_MALFORMED_TOKEN;
}

std::vector<std::string> Lines(const char* text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// The options a caller gave, each member read only when the caller's struct has it.
vrel::ActivationOptions ReadOptions(const vrel_activation_options* given) {
  vrel::ActivationOptions options;
  if (given == nullptr) return options;
  vrel_activation_options o{};
  std::memcpy(&o, given, std::min(given->size, sizeof o));
  if (o.connect_timeout_ms > 0) options.connectTimeoutMs = o.connect_timeout_ms;
  if (o.timeout_ms > 0) options.timeoutMs = o.timeout_ms;
  if (o.ca_file != nullptr) options.caFile = o.ca_file;
  if (o.public_keys != nullptr) options.trustedPublicKeys = Lines(o.public_keys);
  if (o.application != nullptr) options.application = o.application;
  if (o.state_path != nullptr) options.licenceOptions.statePath = o.state_path;
  return options;
}

// The result as the header describes it, written when it fits; returns the code.
int DeliverActivation(const vrel::ActivationResult& result, char* out, size_t out_size) {
  static_assert(VREL_E_WRITE_FAILED == -6 - static_cast<int>(vrel::ActivationError::kWriteFailed),
                "the codes follow ActivationError's order");
  const int code = result.ok() ? 0 : -6 - static_cast<int>(result.error);
  const auto text = [](const std::string& s) {
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  std::string json = "{\"schema\":1,\"error\":" + text(vrel::ActivationErrorName(result.error)) +
                     ",\"text\":" + text(vrel::ActivationErrorText(result.error)) +
                     ",\"status\":" + std::to_string(result.status) +
                     ",\"reason\":" + text(result.reason) + ",\"message\":" + text(result.message) +
                     ",\"retryAfter\":" + std::to_string(result.retryAfter) +
                     ",\"answer\":" + (result.answer.empty() ? "null" : result.answer) + "}";
  if (json.size() > VREL_MAX_ACTIVATION_RESULT) return VREL_E_INTERNAL;
  Deliver(json, out, out_size);
  return code;
}

}  // namespace

extern "C" {

const char* VREL_CALL vrel_version(void) { return VREL_VERSION; }

int VREL_CALL vrel_fingerprint(const char* key, size_t key_size, char* token, size_t token_size) {
  if (key == nullptr || (token == nullptr && token_size != 0)) return VREL_E_NULL_ARGUMENT;
  if (key_size == 0) return VREL_E_EMPTY_KEY;
  return Guarded([&] {
    return Deliver(vrel::MakeToken(vrel::CollectComponents(), std::string_view(key, key_size)),
                   token, token_size);
  });
}

int VREL_CALL vrel_compare(const char* stored, const char* current) {
  if (stored == nullptr || current == nullptr) return VREL_E_NULL_ARGUMENT;
  return Guarded([&] {
    const vrel::TokenComparison comparison = vrel::CompareTokens(stored, current);
    if (!comparison.ok) return Refusal(comparison.unsupportedVersion);
    return comparison.result.sameMachine ? 1 : 0;
  });
}

int VREL_CALL vrel_match(const char* key, size_t key_size, const char* stored) {
  if (key == nullptr || stored == nullptr) return VREL_E_NULL_ARGUMENT;
  if (key_size == 0) return VREL_E_EMPTY_KEY;
  return Guarded([&] {
    const vrel::ParsedToken parsed = vrel::ParseToken(stored);
    if (!parsed.ok) return Refusal(parsed.unsupportedVersion);
    const vrel::MatchResult result = vrel::MatchToken(parsed.fingerprint, vrel::CollectComponents(),
                                                      std::string_view(key, key_size));
    return result.sameMachine ? 1 : 0;
  });
}

int VREL_CALL vrel_components_json(char* out, size_t out_size) {
  if (out == nullptr && out_size != 0) return VREL_E_NULL_ARGUMENT;
  return Guarded(
      [&] { return Deliver(vrel::ComponentsJson(vrel::CollectComponents()), out, out_size); });
}

int VREL_CALL vrel_licence_verify(const char* licence, size_t licence_size, const char* public_keys,
                                  const char* key, size_t key_size, const char* application,
                                  const char* state_path, char* result, size_t result_size) {
  if (licence == nullptr || public_keys == nullptr || key == nullptr || application == nullptr ||
      (result == nullptr && result_size != 0)) {
    return VREL_E_NULL_ARGUMENT;
  }
  if (key_size == 0) return VREL_E_EMPTY_KEY;
  return Guarded([&] {
    const std::vector<std::string> keys = Lines(public_keys);
    vrel::LicenceOptions options;
    if (state_path != nullptr) options.statePath = state_path;
    const vrel::LicenceCheck check =
        vrel::VerifyLicence(std::string_view(licence, licence_size), keys,
                            std::string_view(key, key_size), application, options);
    return Deliver(vrel::LicenceJson(check), result, result_size);
  });
}

int VREL_CALL vrel_activate(const char* server_url, const char* licence_key, const char* key,
                            size_t key_size, const char* licence_path,
                            const vrel_activation_options* options, char* result,
                            size_t result_size) {
  if (server_url == nullptr || licence_key == nullptr || key == nullptr ||
      licence_path == nullptr || (result == nullptr && result_size != 0)) {
    return VREL_E_NULL_ARGUMENT;
  }
  if (key_size == 0) return VREL_E_EMPTY_KEY;
  return Guarded([&] {
    return DeliverActivation(
        vrel::Activate(server_url, licence_key, std::string_view(key, key_size), licence_path,
                       ReadOptions(options)),
        result, result_size);
  });
}

int VREL_CALL vrel_deactivate(const char* server_url, const char* licence_key, const char* key,
                              size_t key_size, const vrel_activation_options* options, char* result,
                              size_t result_size) {
  if (server_url == nullptr || licence_key == nullptr || key == nullptr ||
      (result == nullptr && result_size != 0)) {
    return VREL_E_NULL_ARGUMENT;
  }
  if (key_size == 0) return VREL_E_EMPTY_KEY;
  return Guarded([&] {
    return DeliverActivation(
        vrel::Deactivate(server_url, licence_key, std::string_view(key, key_size),
                         ReadOptions(options)),
        result, result_size);
  });
}

const char* VREL_CALL vrel_error_text(int code) {
  // A code and its text on one line (kept by hand):
  // clang-format off
  switch (code) {
    case VREL_E_NULL_ARGUMENT: return "a required pointer argument is NULL";
    case VREL_E_EMPTY_KEY: return "the key is empty";
    case VREL_E_MALFORMED_TOKEN: return "the token is malformed";
    case VREL_E_UNSUPPORTED_VERSION: return "the token's version is not supported by this release";
    case VREL_E_OUT_OF_MEMORY: return "out of memory";
    case VREL_E_INTERNAL: return "internal error";
    case VREL_E_BAD_URL: return "the server address is not an http:// or https:// URL";
    case VREL_E_NO_CONNECTION: return "the server could not be reached";
    case VREL_E_NAME_NOT_RESOLVED: return "the server's name could not be resolved";
    case VREL_E_CERTIFICATE: return "the server's certificate was refused";
    case VREL_E_TIMEOUT: return "the server did not answer in time";
    case VREL_E_REFUSED: return "the server refused the licence";
    case VREL_E_TOO_MANY_REQUESTS: return "the server refuses requests from this address for a while";
    case VREL_E_BAD_REQUEST: return "the server could not read the request";
    case VREL_E_SERVER_ERROR: return "the server failed";
    case VREL_E_BAD_ANSWER: return "the server's answer is not a licence server's";
    case VREL_E_NOT_VALID: return "the licence file the server returned is not valid";
    case VREL_E_WRITE_FAILED: return "the licence file could not be written";
    default: return "unknown error code";
  }
  // clang-format on
}

}  // extern "C"
