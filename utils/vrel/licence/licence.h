// Machine-bound licences, the client's side: a licence file (licence_file.h)
// signed by the vendor's P-256 key, checked against the public key texts an
// application trusts (public_key.h), this machine and the clock. The
// signature is checked by the platform's cryptography (libcrypto on Linux,
// CNG on Windows). Link vrel::vrel_licence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vrel/fingerprint/match.h"
#include "vrel/licence/licence_file.h"

namespace vrel {

// The verdict: valid, or the first reason found, in this order.
enum class LicenceVerdict {
  kValid,
  kTooLarge,           // the file is larger than kMaxLicenceFileSize
  kNotText,            // a NUL, a control character or a byte over 127
  kMalformed,          // not a licence file (armour, lines, values, signature line, token)
  kUnsupportedFormat,  // a format version this release does not read
  kBadPublicKey,       // a trusted public key text cannot be read, or its point is not on P-256
  kUnknownKey,         // the file's key id is none of the trusted keys'
  kBadSignature,       // the signature does not verify: the file was changed or forged
  kWrongApplication,   // the licence is another application's
  kOtherMachine,       // the licence's token is not this machine's
  kNotYetIssued,       // the clock is behind the issue time by more than the allowance
  kClockTurnedBack,    // the clock is behind the latest time a verification recorded
  kStateTampered,      // the state file is not one this application's key wrote
  kStateUnwritable,    // the state file cannot be read or written
  kExpired,            // the expiry time has passed
  kCheckInDue,         // the check-in deadline has passed
};

// A stable lower-case name ("valid", "other-machine", ...) and a fixed English sentence.
const char* LicenceVerdictName(LicenceVerdict verdict);
const char* LicenceVerdictText(LicenceVerdict verdict);

struct LicenceOptions {
  // Seconds since 1970-01-01T00:00:00Z; the system clock when absent.
  std::optional<std::int64_t> now;
  // A file that keeps the latest time a verification saw, under an HMAC of
  // the application key; created when missing, rewritten by each
  // verification that reaches it. Empty: no such check.
  std::string statePath;
  // How far the clock may be behind the issue time, or behind the state
  // file's time, before the licence is refused.
  std::int64_t clockAllowance = 300;
  MatchRule rule;  // the same machine, as MatchToken decides it
};

struct LicenceCheck {
  LicenceVerdict verdict = LicenceVerdict::kMalformed;
  std::string detail;    // one line saying more where there is more to say, else empty
  LicenceFields fields;  // as read; trust them only when the verdict is kValid
};

// Checks `fileText` as a licence of `application` for this machine: format
// known, key among `trustedPublicKeys`, signature valid, application equal,
// token matching this machine's components under `applicationKey`, clock
// within the issue time, the state file's time, the expiry and the check-in
// deadline. Reads the machine through the platform seam. Throws
// std::invalid_argument for an empty key; otherwise only std::bad_alloc.
LicenceCheck VerifyLicence(std::string_view fileText,
                           const std::vector<std::string>& trustedPublicKeys,
                           std::string_view applicationKey, std::string_view application,
                           const LicenceOptions& options = LicenceOptions());

}  // namespace vrel
