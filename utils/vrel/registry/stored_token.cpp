#include "vrel/registry/stored_token.h"

#include <algorithm>
#include <cstring>

#include "vrel/registry/errors.h"

namespace vrel::registry {

std::uint64_t DigestValue(const ComponentDigest& digest) {
  std::uint64_t value = 0;
  for (unsigned char byte : digest) value = value << 8 | byte;
  return value;
}

ComponentDigest DigestBytes(std::uint64_t value) {
  ComponentDigest digest{};
  for (std::size_t i = digest.size(); i-- > 0; value >>= 8)
    digest[i] = static_cast<unsigned char>(value);
  return digest;
}

std::vector<DigestKey> StrongKeys(const Fingerprint& fingerprint) {
  std::vector<DigestKey> keys;
  for (int i = 0; i < kComponentCount; ++i) {
    const auto id = static_cast<ComponentId>(i);
    if (!IsStrongComponent(id)) continue;
    for (const ComponentDigest& digest : fingerprint[id].digests)
      keys.push_back({id, DigestValue(digest)});
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

std::string EncodeStoredToken(const Fingerprint& fingerprint) {
  std::string blob(1, '\0');
  for (int i = 0; i < kComponentCount; ++i) {
    const ComponentDigests& component = fingerprint.components[i];
    if (!component.available || component.digests.empty()) continue;
    blob[0] = static_cast<char>(blob[0] | 1 << i);
    for (const ComponentDigest& digest : component.digests)
      blob.append(digest.begin(), digest.end());
  }
  return blob;
}

Fingerprint DecodeStoredToken(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (size < 1) throw StorageError("a stored token is damaged");
  Fingerprint fingerprint;
  std::size_t pos = 1;
  for (int i = 0; i < kComponentCount; ++i) {
    if ((bytes[0] >> i & 1) == 0) continue;
    ComponentDigests& component = fingerprint.components[i];
    component.available = true;
    const bool last = i == kComponentCount - 1;
    do {
      if (pos + kTokenDigestBytes > size) throw StorageError("a stored token is damaged");
      ComponentDigest digest;
      std::memcpy(digest.data(), bytes + pos, digest.size());
      component.digests.push_back(digest);
      pos += kTokenDigestBytes;
    } while (last && pos < size);
  }
  if (pos != size) throw StorageError("a stored token is damaged");
  return fingerprint;
}

}  // namespace vrel::registry
