// Matching: whether two fingerprints are one machine, component by component.
// A server includes this (and token.h) to compare the tokens it holds with
// the ones clients send; nothing here reads a machine or needs the key.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "vrel/fingerprint/token.h"

namespace vrel {

enum class ComponentMatch { Match, Differ, Unavailable };

// "match", "differ", "unavailable".
const char* ComponentMatchName(ComponentMatch match);

// When a stored fingerprint counts as the same machine. The strong components
// (the table's `strong` rows: volume, os-install, board and nics) count; cpu
// is reported but never counts. Same machine when at least `minStrongMatches`
// strong components match and no vetoing component differs. The default: two
// strong matches, and a board that differs means another machine. A
// reinstall changes os-install and volume but not the hardware, so os-install
// does not veto by default.
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
