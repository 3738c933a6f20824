// The fingerprint token: a machine's component digests as printable text, and
// back. Made by MakeToken (fingerprint.h) on the client; read here by anyone,
// a server included, without the code that reads a machine.
//
// Token (version 1), one field per component of kTokenV1Fields, joined by "-"
// after the version tag:
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

#include "vrel/fingerprint/component_table.h"

namespace vrel {

// The fields of a version-1 token, in order. Frozen: every stored token
// depends on it, so a new component goes into a new version's layout.
inline constexpr ComponentId kTokenV1Fields[] = {ComponentId::Cpu, ComponentId::Volume,
                                                 ComponentId::OsInstall, ComponentId::Board,
                                                 ComponentId::Nics};
constexpr std::size_t kTokenV1FieldCount = std::size(kTokenV1Fields);

constexpr std::size_t kTokenDigestBytes = 8;
// A token holds at most this many NIC digests; more are refused as malformed.
constexpr std::size_t kMaxTokenNics = 64;
// The longest version-1 token: every field a digest, nics holding kMaxTokenNics.
constexpr std::size_t kMaxTokenLength = 4 + (kTokenV1FieldCount - 1) * (1 + 2 * kTokenDigestBytes) +
                                        kMaxTokenNics * (1 + 2 * kTokenDigestBytes);

using ComponentDigest = std::array<unsigned char, kTokenDigestBytes>;

// One component of a fingerprint: unavailable, or its digests (exactly one,
// or one per MAC for nics, sorted and unique).
struct ComponentDigests {
  bool available = false;
  std::vector<ComponentDigest> digests;
};

// Every component of the table; those a token's version does not hold are
// unavailable.
struct Fingerprint {
  std::array<ComponentDigests, kComponentCount> components;
  const ComponentDigests& operator[](ComponentId id) const {
    return components[static_cast<int>(id)];
  }
};

// The version-1 token of `fingerprint` (format above).
std::string FormatToken(const Fingerprint& fingerprint);

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

}  // namespace vrel
