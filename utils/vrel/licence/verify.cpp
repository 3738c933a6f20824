// VerifyLicence: the checks in the order of LicenceVerdict, each its own reason.
#include <chrono>
#include <stdexcept>

#include "vrel/fingerprint/fingerprint.h"
#include "vrel/licence/licence.h"
#include "vrel/licence/licence_state.h"
#include "vrel/licence/public_key.h"

namespace vrel {
namespace {

using V = LicenceVerdict;

// The verdict on a file the reader refused (never kOk here).
LicenceVerdict FromRead(LicenceReadStatus status) {
  switch (status) {
    case LicenceReadStatus::kTooLarge:
      return V::kTooLarge;
    case LicenceReadStatus::kNotText:
      return V::kNotText;
    case LicenceReadStatus::kUnsupportedFormat:
      return V::kUnsupportedFormat;
    default:  // LicenceReadStatus::kMalformed
      return V::kMalformed;
  }
}

std::int64_t SystemNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The clock against the state file: kValid when it is not turned back, then recorded.
LicenceVerdict CheckState(const LicenceOptions& options, std::string_view key, std::int64_t now) {
  std::int64_t latest = now;
  const StateRead read = ReadLicenceState(options.statePath, key, latest);
  if (read == StateRead::kTampered) return V::kStateTampered;
  if (read == StateRead::kUnreadable) return V::kStateUnwritable;
  if (now < latest - options.clockAllowance) return V::kClockTurnedBack;
  if (now > latest) latest = now;
  return WriteLicenceState(options.statePath, key, latest) ? V::kValid : V::kStateUnwritable;
}

LicenceCheck Checked(LicenceCheck check, LicenceVerdict verdict, std::string detail = "") {
  check.verdict = verdict;
  check.detail = std::move(detail);
  return check;
}

}  // namespace

LicenceCheck VerifyLicence(std::string_view fileText,
                           const std::vector<std::string>& trustedPublicKeys,
                           std::string_view applicationKey, std::string_view application,
                           const LicenceOptions& options) {
  if (applicationKey.empty()) throw std::invalid_argument("the application key is empty");
  LicenceCheck check;
  LicenceFileContents file = ReadLicenceFile(fileText);
  check.fields = std::move(file.fields);
  if (file.status != LicenceReadStatus::kOk)
    return Checked(check, FromRead(file.status), file.error);

  const ParsedPublicKey* signer = nullptr;
  std::vector<ParsedPublicKey> keys;
  keys.reserve(trustedPublicKeys.size());
  for (const std::string& text : trustedPublicKeys) {
    keys.push_back(ParsePublicKey(text));
    if (!keys.back().ok) return Checked(check, V::kBadPublicKey, keys.back().error);
    if (KeyIdText(keys.back().id) == check.fields.keyId) signer = &keys.back();
  }
  if (signer == nullptr) return Checked(check, V::kUnknownKey, "key id " + check.fields.keyId);
  const std::string message = LicenceSignedMessage(file.payload);
  if (!VerifyP256Sha256(signer->point, reinterpret_cast<const std::uint8_t*>(message.data()),
                        message.size(), file.signature.data(), file.signature.size())) {
    return Checked(check, V::kBadSignature);
  }

  if (check.fields.application != application) {
    return Checked(check, V::kWrongApplication,
                   "the licence is for \"" + check.fields.application + "\"");
  }
  const ParsedToken token = ParseToken(check.fields.token);
  if (!token.ok) return Checked(check, V::kMalformed, "token: " + token.error);
  if (!MatchToken(token.fingerprint, CollectComponents(), applicationKey, options.rule)
           .sameMachine) {
    return Checked(check, V::kOtherMachine);
  }

  const std::int64_t now = options.now ? *options.now : SystemNow();
  if (now < check.fields.issued - options.clockAllowance) return Checked(check, V::kNotYetIssued);
  if (!options.statePath.empty()) {
    const LicenceVerdict state = CheckState(options, applicationKey, now);
    if (state != V::kValid) return Checked(check, state, options.statePath);
  }
  if (now >= check.fields.expires) return Checked(check, V::kExpired);
  if (now >= check.fields.checkIn) return Checked(check, V::kCheckInDue);
  return Checked(check, V::kValid);
}

}  // namespace vrel
