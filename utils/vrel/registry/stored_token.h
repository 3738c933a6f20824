// What the registry stores of a token: its strong digests as index keys, and
// the token itself in a compact binary form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vrel/fingerprint/token.h"

namespace vrel::registry {

using MachineId = std::int64_t;

// One index key: a component and one of its digests (the 8 bytes, big-endian).
struct DigestKey {
  ComponentId component;
  std::uint64_t digest;
  bool operator==(const DigestKey& o) const {
    return component == o.component && digest == o.digest;
  }
  bool operator<(const DigestKey& o) const {
    return component != o.component ? component < o.component : digest < o.digest;
  }
};

std::uint64_t DigestValue(const ComponentDigest& digest);
ComponentDigest DigestBytes(std::uint64_t value);

// The index keys of a fingerprint's strong components, sorted and unique.
std::vector<DigestKey> StrongKeys(const Fingerprint& fingerprint);

// A stored token: one byte of availability bits (bit i: component i), then 8
// bytes per digest in component order, nics' digests last; about half the
// token text's size. Decode throws StorageError for damaged bytes.
std::string EncodeStoredToken(const Fingerprint& fingerprint);
Fingerprint DecodeStoredToken(const void* data, std::size_t size);

}  // namespace vrel::registry
