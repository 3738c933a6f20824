#include "vrel/fingerprint/fingerprint.h"

#include <algorithm>
#include <stdexcept>

#include "vrel/crypto/hmac.h"
#include "vrel/platform/hex_text.h"

namespace vrel {
namespace {

constexpr std::string_view kTag = "vfp";
constexpr char kSeparator = '-';
constexpr char kNicJoin = '+';
constexpr char kUnavailable = 'x';
constexpr int kTokenVersion = 1;

ComponentDigest DigestOf(std::string_view key, const char* name, const std::string& value) {
  HmacSha256Context ctx;
  HmacSha256Init(ctx, reinterpret_cast<const unsigned char*>(key.data()), key.size());
  // The name and a NUL before the value keep the components apart.
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(name),
                   std::char_traits<char>::length(name) + 1);
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(value.data()), value.size());
  unsigned char mac[kSha256DigestSize];
  HmacSha256Final(ctx, mac);
  ComponentDigest digest;
  std::copy(mac, mac + kTokenDigestBytes, digest.begin());
  return digest;
}

// A digest as the token writes it: 16 lower-case hex digits.
bool ReadDigest(std::string_view text, ComponentDigest& digest) {
  std::vector<std::uint8_t> bytes;
  if (!ParseHex(bytes, text) || bytes.size() != digest.size()) return false;
  if (text.find_first_of("ABCDEF") != std::string_view::npos) return false;
  std::copy(bytes.begin(), bytes.end(), digest.begin());
  return true;
}

// The blanks a token may carry around it: space, tab, CR, LF.
bool IsTokenBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

ParsedToken Refuse(std::string message) {
  ParsedToken result;
  result.error = std::move(message);
  return result;
}

// Reads one field into `out`; returns an empty text or what is wrong.
std::string ReadField(ComponentId id, std::string_view field, ComponentDigests& out) {
  const std::string name = ComponentName(id);
  if (field.size() == 1 && field[0] == kUnavailable) return {};
  if (field.empty()) return "the " + name + " field is empty";
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(field.find(kNicJoin, start), field.size());
    ComponentDigest digest;
    if (!ReadDigest(field.substr(start, end - start), digest)) {
      return "the " + name + " field is not \"x\" or digests of " +
             std::to_string(2 * kTokenDigestBytes) + " lower-case hex digits";
    }
    out.digests.push_back(digest);
    if (end == field.size()) break;
    start = end + 1;
  }
  if (out.digests.size() > 1 && id != ComponentId::Nics) {
    return "the " + name + " field holds several digests; only nics may";
  }
  if (out.digests.size() > kMaxTokenNics) {
    return "the nics field holds more than " + std::to_string(kMaxTokenNics) + " digests";
  }
  std::sort(out.digests.begin(), out.digests.end());
  out.digests.erase(std::unique(out.digests.begin(), out.digests.end()), out.digests.end());
  out.available = true;
  return {};
}

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

Fingerprint ComputeFingerprint(const MachineComponents& machine, std::string_view key) {
  if (key.empty()) throw std::invalid_argument("the fingerprint key is empty");
  Fingerprint result;
  for (int i = 0; i < kComponentCount; ++i) {
    const ComponentValue& value = machine.components[i];
    ComponentDigests& out = result.components[i];
    if (!value.available || value.values.empty()) continue;
    const char* name = ComponentName(static_cast<ComponentId>(i));
    for (const std::string& text : value.values) out.digests.push_back(DigestOf(key, name, text));
    std::sort(out.digests.begin(), out.digests.end());
    out.digests.erase(std::unique(out.digests.begin(), out.digests.end()), out.digests.end());
    if (out.digests.size() > kMaxTokenNics) out.digests.resize(kMaxTokenNics);
    out.available = true;
  }
  return result;
}

std::string FormatToken(const Fingerprint& fingerprint) {
  std::string token(kTag);
  token += std::to_string(kTokenVersion);
  for (const ComponentDigests& component : fingerprint.components) {
    token += kSeparator;
    if (!component.available || component.digests.empty()) {
      token += kUnavailable;
      continue;
    }
    for (std::size_t d = 0; d < component.digests.size(); ++d) {
      if (d != 0) token += kNicJoin;
      AppendHex(token, component.digests[d].data(), component.digests[d].size());
    }
  }
  return token;
}

std::string MakeToken(const MachineComponents& machine, std::string_view key) {
  return FormatToken(ComputeFingerprint(machine, key));
}

ParsedToken ParseToken(std::string_view text) {
  while (!text.empty() && IsTokenBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTokenBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return Refuse("the token is empty");
  if (text.size() > kMaxTokenLength) return Refuse("the token is too long to be a fingerprint");
  if (text.substr(0, kTag.size()) != kTag) {
    return Refuse("not a vrel fingerprint token (it should start with \"vfp\")");
  }
  std::size_t pos = kTag.size();
  std::size_t digits = 0;
  while (pos + digits < text.size() && text[pos + digits] >= '0' && text[pos + digits] <= '9') {
    ++digits;
  }
  if (digits == 0 || pos + digits == text.size() || text[pos + digits] != kSeparator) {
    return Refuse("not a vrel fingerprint token (no version after \"vfp\")");
  }
  const std::string_view version = text.substr(pos, digits);
  if (version != std::to_string(kTokenVersion)) {
    const std::string shown = digits > 12 ? std::string(version.substr(0, 12)) + "..." : std::string(version);
    ParsedToken refused = Refuse("token version " + shown + " is not supported (this is version " +
                                 std::to_string(kTokenVersion) + ")");
    refused.unsupportedVersion = true;
    return refused;
  }
  ParsedToken result;
  pos += digits + 1;
  for (int i = 0; i < kComponentCount; ++i) {
    const bool last = i == kComponentCount - 1;
    const std::size_t found = text.find(kSeparator, pos);
    if (!last && found == std::string_view::npos) {
      return Refuse("the token has only " + std::to_string(i + 1) + " of the " +
                    std::to_string(kComponentCount) + " fields of version 1");
    }
    if (last && found != std::string_view::npos) {
      return Refuse("the token has more than the " + std::to_string(kComponentCount) +
                    " fields of version 1");
    }
    const std::size_t end = last ? text.size() : found;
    std::string problem =
        ReadField(static_cast<ComponentId>(i), text.substr(pos, end - pos), result.fingerprint.components[i]);
    if (!problem.empty()) return Refuse(std::move(problem));
    pos = end + 1;
  }
  result.ok = true;
  return result;
}

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
    if (i != static_cast<int>(ComponentId::Cpu) && result.components[i] == ComponentMatch::Match) {
      ++result.strongMatches;
    }
  }
  const bool vetoed =
      (rule.boardVetoes && result[ComponentId::Board] == ComponentMatch::Differ) ||
      (rule.osInstallVetoes && result[ComponentId::OsInstall] == ComponentMatch::Differ);
  result.sameMachine = !vetoed && result.strongMatches >= rule.minStrongMatches;
  const auto differs = [](ComponentMatch m) { return m != ComponentMatch::Match; };
  result.everyComponentDiffers = result[ComponentId::Cpu] == ComponentMatch::Differ &&
                                 std::all_of(result.components.begin(), result.components.end(), differs);
  return result;
}

MatchResult MatchToken(const Fingerprint& stored, const MachineComponents& machine,
                       std::string_view key, const MatchRule& rule) {
  return MatchFingerprints(stored, ComputeFingerprint(machine, key), rule);
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
