#include "vrel/fingerprint/token.h"

#include <algorithm>
#include <cstdint>

#include "vrel/base/hex_text.h"
#include "vrel/base/white_space.h"

namespace vrel {
namespace {

constexpr std::string_view kTag = "vfp";
constexpr char kSeparator = '-';
constexpr char kNicJoin = '+';
constexpr char kUnavailable = 'x';
constexpr int kTokenVersion = 1;  // what FormatToken writes and ParseToken reads

// Version-1 tokens as they are stored: their fields in order, each field's
// name (it is hashed into every digest) and whether it counts toward a match.
// A change to the table or the layout that would alter one of these stops
// the build instead of silently redefining every stored token.
struct FrozenField {
  ComponentId id;
  const char* name;
  bool strong;
};
constexpr FrozenField kFrozenV1[] = {{ComponentId::Cpu, "cpu", false},
                                     {ComponentId::Volume, "volume", true},
                                     {ComponentId::OsInstall, "os-install", true},
                                     {ComponentId::Board, "board", true},
                                     {ComponentId::Nics, "nics", true}};

constexpr bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

constexpr bool InV1Layout(ComponentId id) {
  for (const ComponentId field : kTokenV1Fields) {
    if (field == id) return true;
  }
  return false;
}

constexpr bool V1LayoutUnchanged() {
  if (kTokenV1FieldCount != std::size(kFrozenV1)) return false;
  for (std::size_t i = 0; i < kTokenV1FieldCount; ++i) {
    const ComponentInfo& row = ComponentInfoOf(kTokenV1Fields[i]);
    if (row.id != kFrozenV1[i].id || !SameText(row.name, kFrozenV1[i].name) ||
        row.strong != kFrozenV1[i].strong) {
      return false;
    }
  }
  // Exactly the rows that first appear in version 1 are its fields.
  for (const ComponentInfo& row : kComponentTable) {
    if ((row.firstTokenVersion == 1) != InV1Layout(row.id)) return false;
  }
  return true;
}
static_assert(V1LayoutUnchanged(),
              "version-1 tokens are frozen: give a new component a new version");
static_assert(kMaxTokenLength == 1160, "the longest version-1 token is fixed");

// A digest as the token writes it: 16 lower-case hex digits.
bool ReadDigest(std::string_view text, ComponentDigest& digest) {
  std::vector<std::uint8_t> bytes;
  if (!ParseHex(bytes, text) || bytes.size() != digest.size()) return false;
  if (text.find_first_of("ABCDEF") != std::string_view::npos) return false;
  std::copy(bytes.begin(), bytes.end(), digest.begin());
  return true;
}

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

}  // namespace

std::string FormatToken(const Fingerprint& fingerprint) {
  std::string token(kTag);
  token += std::to_string(kTokenVersion);
  for (const ComponentId id : kTokenV1Fields) {
    const ComponentDigests& component = fingerprint[id];
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
    const std::string shown =
        digits > 12 ? std::string(version.substr(0, 12)) + "..." : std::string(version);
    ParsedToken refused = Refuse("token version " + shown + " is not supported (this is version " +
                                 std::to_string(kTokenVersion) + ")");
    refused.unsupportedVersion = true;
    return refused;
  }
  ParsedToken result;
  pos += digits + 1;
  for (std::size_t i = 0; i < kTokenV1FieldCount; ++i) {
    const bool last = i == kTokenV1FieldCount - 1;
    const std::size_t found = text.find(kSeparator, pos);
    if (!last && found == std::string_view::npos) {
      return Refuse("the token has only " + std::to_string(i + 1) + " of the " +
                    std::to_string(kTokenV1FieldCount) + " fields of version 1");
    }
    if (last && found != std::string_view::npos) {
      return Refuse("the token has more than the " + std::to_string(kTokenV1FieldCount) +
                    " fields of version 1");
    }
    const std::size_t end = last ? text.size() : found;
    const ComponentId id = kTokenV1Fields[i];
    std::string problem = ReadField(id, text.substr(pos, end - pos),
                                    result.fingerprint.components[static_cast<int>(id)]);
    if (!problem.empty()) return Refuse(std::move(problem));
    pos = end + 1;
  }
  result.ok = true;
  return result;
}

}  // namespace vrel
