// The keyed machine fingerprint: each identity component hashed with
// HMAC-SHA-256 under an application's key, written as a printable token
// (token.h), and compared with the current machine component by component
// (match.h). This header is the client's whole view: it reaches the machine
// reader (components.h), the token and the match.
//
// ComputeFingerprint and what builds on it are pure: no platform call, no
// global state.
#pragma once

#include <string>
#include <string_view>

#include "vrel/fingerprint/components.h"
#include "vrel/fingerprint/match.h"
#include "vrel/fingerprint/token.h"

namespace vrel {

// The digests of `machine` under `key`. Each value is hashed as
// HMAC-SHA-256(key, name NUL value), so equal values in two components give
// unrelated digests; nics keeps the kMaxTokenNics lowest digests, so that every
// token made parses. Throws std::invalid_argument when `key` is empty.
Fingerprint ComputeFingerprint(const MachineComponents& machine, std::string_view key);

// FormatToken(ComputeFingerprint(machine, key)): a version-1 token.
std::string MakeToken(const MachineComponents& machine, std::string_view key);

// MatchFingerprints(stored, ComputeFingerprint(machine, key), rule).
MatchResult MatchToken(const Fingerprint& stored, const MachineComponents& machine,
                       std::string_view key, const MatchRule& rule = MatchRule());

}  // namespace vrel
