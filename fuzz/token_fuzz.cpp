// The token parser and the matcher on any text: parsing never crashes; a token
// it accepts prints back to a token that parses to the same fingerprint; a
// fingerprint matches itself wherever it is available, under any rule. The
// input split at its first newline is also a pair of tokens to compare.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vrel/fingerprint/fingerprint.h"

[[noreturn]] static void Fail(const char* what) {
  std::fprintf(stderr, "token_fuzz: %s\n", what);
  std::abort();
}

// Two texts compared: accepted exactly when both parse, then as their fingerprints match.
static void ComparePair(const std::string& text) {
  const std::size_t cut = std::min(text.find('\n'), text.size());
  const std::string stored = text.substr(0, cut), current = text.substr(std::min(cut + 1, text.size()));
  const vrel::TokenComparison compared = vrel::CompareTokens(stored, current);
  const vrel::ParsedToken a = vrel::ParseToken(stored), b = vrel::ParseToken(current);
  if (compared.ok != (a.ok && b.ok) || compared.ok != compared.error.empty()) Fail("compare verdict");
  if (!compared.ok) return;
  const vrel::MatchResult direct = vrel::MatchFingerprints(a.fingerprint, b.fingerprint);
  if (direct.components != compared.result.components || direct.sameMachine != compared.result.sameMachine) {
    Fail("compare differs from matching the parsed tokens");
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ComparePair(text);
  const vrel::ParsedToken parsed = vrel::ParseToken(text);
  if (!parsed.ok) {
    if (parsed.error.empty()) Fail("refused without a message");
    return 0;
  }
  const std::string token = vrel::FormatToken(parsed.fingerprint);
  const vrel::ParsedToken again = vrel::ParseToken(token);
  if (!again.ok || vrel::FormatToken(again.fingerprint) != token) Fail("round trip");

  vrel::MatchRule rule;
  rule.minStrongMatches = static_cast<int>(size % 6) - 1;
  rule.boardVetoes = (size & 8) != 0;
  const vrel::MatchResult self = vrel::MatchFingerprints(parsed.fingerprint, again.fingerprint, rule);
  int available = 0;
  for (int i = 0; i < vrel::kComponentCount; ++i) {
    const bool has = parsed.fingerprint.components[i].available;
    if (self.components[i] != (has ? vrel::ComponentMatch::Match : vrel::ComponentMatch::Unavailable)) {
      Fail("a fingerprint does not match itself");
    }
    available += has && i != static_cast<int>(vrel::ComponentId::Cpu);
  }
  if (self.strongMatches != available || self.sameMachine != (available >= rule.minStrongMatches)) {
    Fail("self match count");
  }
  // Against an unrelated machine nothing available matches.
  vrel::MachineComponents other;
  for (auto& component : other.components) component = {true, "", {"fuzz"}};
  const vrel::MatchResult foreign = vrel::MatchToken(parsed.fingerprint, other, text.empty() ? "k" : text, rule);
  if (foreign.strongMatches > available) Fail("foreign match count");
  return 0;
}
