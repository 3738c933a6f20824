// The C interface over the fingerprint. Every entry point checks its pointers
// first and runs the C++ code inside one guard that turns whatever it throws
// into an error code, so no exception reaches a C caller.
#include "vrel/c/vrel_c.h"

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

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
    std::vector<std::string> keys;
    std::istringstream lines(public_keys);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) keys.push_back(line);
    }
    vrel::LicenceOptions options;
    if (state_path != nullptr) options.statePath = state_path;
    const vrel::LicenceCheck check =
        vrel::VerifyLicence(std::string_view(licence, licence_size), keys,
                            std::string_view(key, key_size), application, options);
    return Deliver(vrel::LicenceJson(check), result, result_size);
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
    default: return "unknown error code";
  }
  // clang-format on
}

}  // extern "C"
