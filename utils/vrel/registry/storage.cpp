// What every backend shares: digest keys and choosing a backend by URI.
#include "vrel/registry/storage.h"

#include "vrel/fingerprint/component_table.h"
#include "vrel/registry/sqlite_storage.h"

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
  return keys;
}

std::unique_ptr<Storage> OpenStorage(const std::string& uri, bool create) {
  constexpr std::string_view kSqlite = "sqlite:";
  if (uri.compare(0, kSqlite.size(), kSqlite) == 0)
    return OpenSqliteStorage(uri.substr(kSqlite.size()), create);
  if (uri.rfind("postgres://", 0) == 0 || uri.rfind("postgresql://", 0) == 0) {
    throw StorageError("this build has no PostgreSQL backend");
  }
  return OpenSqliteStorage(uri, create);
}

}  // namespace vrel::registry
