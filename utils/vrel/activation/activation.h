// Activation, the application's side of the licence server: this machine's token under the
// application key goes to POST {server}/v1/activate with the customer's licence key, and the
// licence file the server signs comes back and is written where the caller says. Activating again
// is the check-in (a fresh file for the same seat); Deactivate gives the seat back. HTTP and TLS
// are the platform's: libcurl on Linux (the system's CA store, or a bundle of the caller's),
// WinHTTP on Windows (the system's proxy settings and certificate store). Link
// vrel::vrel_activation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vrel/licence/licence.h"

namespace vrel {

// What went wrong, each a case the application tells its user apart.
enum class ActivationError {
  kNone,
  kBadUrl,           // the server address is not an http:// or https:// URL
  kNoConnection,     // no network, the connection refused or broken
  kNameNotResolved,  // the server's host name does not resolve
  kCertificate,      // the server's certificate was refused (or the CA file cannot be read)
  kTimeout,          // the connection or the whole exchange took longer than allowed
  kRefused,          // 403: the server refused the licence; `reason` says why
  kTooManyRequests,  // 429: too many refused keys from this address; `retryAfter` says when
  kBadRequest,       // 400: the server could not read the request
  kServerError,      // 5xx: the server or its database failed
  kBadAnswer,        // any other status, a body that is not the expected JSON, too large
  kNotValid,         // the returned licence file failed the check asked for; `reason` says why
  kWriteFailed,      // the licence file could not be written (the old one is kept)
};

// A stable lower-case name ("no-connection", "refused", ...) and a fixed English sentence.
const char* ActivationErrorName(ActivationError error);
const char* ActivationErrorText(ActivationError error);

struct ActivationOptions {
  // Bounds in milliseconds: reaching the server (name, connection, TLS handshake), and the
  // whole exchange.
  long connectTimeoutMs = 10000;
  long timeoutMs = 30000;
  // Linux: a PEM file of the certificates to trust instead of the system's store (a private
  // CA). Windows trusts its own certificate store only, and ignores this.
  std::string caFile;
  // Not empty: the returned file is checked with VerifyLicence (these keys, `application`,
  // `licenceOptions`) before it is written, and a file that fails is neither written nor
  // returned (kNotValid).
  std::vector<std::string> trustedPublicKeys;
  std::string application;
  LicenceOptions licenceOptions;
};

struct ActivationResult {
  ActivationError error = ActivationError::kBadAnswer;
  int status = 0;               // the HTTP status; 0 when no answer came
  std::string reason;           // kRefused: the server's reason; kNotValid: the verdict's name
  std::string message;          // the server's message or error, or the system's words
  std::int64_t retryAfter = 0;  // kTooManyRequests: seconds to wait (0: the server gave none)
  std::string answer;           // the server's JSON object as it came, when it was one
  std::string licenceFile;      // Activate, success: the file's text as written
  bool ok() const { return error == ActivationError::kNone; }
};

// Activates (or checks in) this machine for `licenceKey` at `serverUrl` (its base, such as
// "https://licences.example.com" or "https://example.com/licensing"), the token made under
// `applicationKey`. On success the licence file replaces the one at `licencePath` (written
// beside it and renamed over it, so a failure leaves the old file whole). Throws
// std::invalid_argument for an empty application key or path; otherwise only std::bad_alloc.
ActivationResult Activate(std::string_view serverUrl, std::string_view licenceKey,
                          std::string_view applicationKey, const std::string& licencePath,
                          const ActivationOptions& options = ActivationOptions());

// Gives this machine's seat of `licenceKey` back. Leaves any licence file alone: it stays valid
// until its check-in deadline, which the application enforces by deleting it itself.
ActivationResult Deactivate(std::string_view serverUrl, std::string_view licenceKey,
                            std::string_view applicationKey,
                            const ActivationOptions& options = ActivationOptions());

}  // namespace vrel
