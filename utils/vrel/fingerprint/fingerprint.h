// The keyed machine fingerprint: each identity component hashed with
// HMAC-SHA-256 under an application's key, written as a printable token, and
// compared with the current machine component by component.
//
// Token (version 1), one field per component in ComponentId order, joined by
// "-" after the version tag:
//     vfp1-<cpu>-<volume>-<os-install>-<board>-<nics>
// A field is "x" when the component was unavailable, else a digest of 16
// lower-case hex digits (the first 8 bytes of the component's HMAC); nics
// holds one digest per permanent MAC, joined by "+", sorted, at most 64. Only
// printable ASCII that shells leave alone.
//
// Every function here is pure: no platform call, no global state.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "vrel/fingerprint/components.h"

namespace vrel {

constexpr std::size_t kTokenDigestBytes = 8;
// A token holds at most this many NIC digests; more are refused as malformed.
constexpr std::size_t kMaxTokenNics = 64;
// The longest version-1 token: every field a digest, nics holding kMaxTokenNics.
constexpr std::size_t kMaxTokenLength = 4 + (kComponentCount - 1) * (1 + 2 * kTokenDigestBytes) +
                                        kMaxTokenNics * (1 + 2 * kTokenDigestBytes);

using ComponentDigest = std::array<unsigned char, kTokenDigestBytes>;

// One component of a fingerprint: unavailable, or its digests (exactly one,
// or one per MAC for nics, sorted and unique).
struct ComponentDigests {
  bool available = false;
  std::vector<ComponentDigest> digests;
};

struct Fingerprint {
  std::array<ComponentDigests, kComponentCount> components;
  const ComponentDigests& operator[](ComponentId id) const {
    return components[static_cast<int>(id)];
  }
};

// The digests of `machine` under `key`. Each value is hashed as
// HMAC-SHA-256(key, name NUL value), so equal values in two components give
// unrelated digests; nics keeps the kMaxTokenNics lowest digests, so that every
// token made parses. Throws std::invalid_argument when `key` is empty.
Fingerprint ComputeFingerprint(const MachineComponents& machine, std::string_view key);

// The version-1 token of `fingerprint` (format above).
std::string FormatToken(const Fingerprint& fingerprint);

// FormatToken(ComputeFingerprint(machine, key)).
std::string MakeToken(const MachineComponents& machine, std::string_view key);

// The outcome of ParseToken: `ok` and the fingerprint, or a one-line message
// saying what is wrong. Never throws for any input (bar std::bad_alloc).
struct ParsedToken {
  bool ok = false;
  Fingerprint fingerprint;
  std::string error;
  bool unsupportedVersion = false;  // a "vfp<N>-" token of a version this release cannot read
};

// Reads a token; ASCII white space around it is ignored.
ParsedToken ParseToken(std::string_view text);

enum class ComponentMatch { Match, Differ, Unavailable };

// "match", "differ", "unavailable".
const char* ComponentMatchName(ComponentMatch match);

// When a stored fingerprint counts as the same machine. The strong components
// are volume, os-install, board and nics; cpu is reported but never counts.
// Same machine when at least `minStrongMatches` strong components match and
// no vetoing component differs. The default: two strong matches, and a board
// that differs means another machine. A reinstall changes os-install and
// volume but not the hardware, so os-install does not veto by default.
struct MatchRule {
  int minStrongMatches = 2;
  bool boardVetoes = true;       // a differing board means another machine
  bool osInstallVetoes = false;  // a differing os-install means another machine
};

struct MatchResult {
  std::array<ComponentMatch, kComponentCount> components{};
  int strongMatches = 0;
  bool sameMachine = false;
  // Every component both sides have differs, cpu included: what a token made
  // under another key looks like (or a machine with nothing in common).
  bool everyComponentDiffers = false;
  ComponentMatch operator[](ComponentId id) const { return components[static_cast<int>(id)]; }
};

// Component by component: unavailable when either side is, else match when
// the digests are equal, else differ. nics: match when the two sets share a
// digest; unavailable only when neither side has one, since an unavailable
// nics is a machine without a physical adapter, an empty set; else differ.
// nics never vetoes, so this reports what changed without moving the verdict.
MatchResult MatchFingerprints(const Fingerprint& stored, const Fingerprint& current,
                              const MatchRule& rule = MatchRule());

// MatchFingerprints(stored, ComputeFingerprint(machine, key), rule).
MatchResult MatchToken(const Fingerprint& stored, const MachineComponents& machine,
                       std::string_view key, const MatchRule& rule = MatchRule());

// Two tokens compared, as a server holding the stored token and the one a
// client sent does: no key and no machine needed, since tokens made under one
// key hold equal digests for equal values. `ok` and the result, or a one-line
// message that says which token is wrong. Never throws (bar std::bad_alloc).
struct TokenComparison {
  bool ok = false;
  MatchResult result;
  std::string error;
  bool unsupportedVersion = false;  // as ParsedToken's, for the token named in `error`
};
TokenComparison CompareTokens(std::string_view stored, std::string_view current,
                              const MatchRule& rule = MatchRule());

}  // namespace vrel
