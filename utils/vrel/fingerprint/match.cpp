#include "vrel/fingerprint/match.h"

#include <algorithm>

namespace vrel {
namespace {

ComponentMatch Compare(ComponentId id, const ComponentDigests& stored,
                       const ComponentDigests& current) {
  if (!stored.available && !current.available) return ComponentMatch::Unavailable;
  // A machine without a physical adapter has an empty set of NICs, which
  // shares no address with a set that has some.
  if (!stored.available || !current.available) {
    return id == ComponentId::Nics ? ComponentMatch::Differ : ComponentMatch::Unavailable;
  }
  // Both lists are sorted: look for one digest they share.
  auto a = stored.digests.begin();
  auto b = current.digests.begin();
  while (a != stored.digests.end() && b != current.digests.end()) {
    if (*a == *b) return ComponentMatch::Match;
    if (*a < *b) {
      ++a;
    } else {
      ++b;
    }
  }
  return ComponentMatch::Differ;
}

}  // namespace

const char* ComponentMatchName(ComponentMatch match) {
  switch (match) {
    case ComponentMatch::Match:
      return "match";
    case ComponentMatch::Differ:
      return "differ";
    case ComponentMatch::Unavailable:
      break;
  }
  return "unavailable";
}

MatchResult MatchFingerprints(const Fingerprint& stored, const Fingerprint& current,
                              const MatchRule& rule) {
  MatchResult result;
  for (int i = 0; i < kComponentCount; ++i) {
    result.components[i] =
        Compare(static_cast<ComponentId>(i), stored.components[i], current.components[i]);
    if (IsStrongComponent(static_cast<ComponentId>(i)) &&
        result.components[i] == ComponentMatch::Match) {
      ++result.strongMatches;
    }
  }
  const bool vetoed =
      (rule.boardVetoes && result[ComponentId::Board] == ComponentMatch::Differ) ||
      (rule.osInstallVetoes && result[ComponentId::OsInstall] == ComponentMatch::Differ);
  result.sameMachine = !vetoed && result.strongMatches >= rule.minStrongMatches;
  const auto differs = [](ComponentMatch m) { return m != ComponentMatch::Match; };
  result.everyComponentDiffers = result[ComponentId::Cpu] == ComponentMatch::Differ &&
                                 std::all_of(result.components.begin(), result.components.end(),
                                             differs);
  return result;
}

TokenComparison CompareTokens(std::string_view stored, std::string_view current,
                              const MatchRule& rule) {
  TokenComparison comparison;
  const ParsedToken first = ParseToken(stored);
  const ParsedToken second = ParseToken(current);
  if (!first.ok || !second.ok) {
    const ParsedToken& refused = !first.ok ? first : second;
    comparison.error = (!first.ok ? "stored token: " : "current token: ") + refused.error;
    comparison.unsupportedVersion = refused.unsupportedVersion;
    return comparison;
  }
  comparison.result = MatchFingerprints(first.fingerprint, second.fingerprint, rule);
  comparison.ok = true;
  return comparison;
}

}  // namespace vrel
