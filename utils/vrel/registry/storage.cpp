// What every backend shares: digest keys and choosing a backend by URI.
#include "vrel/registry/storage.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "vrel/fingerprint/component_table.h"
#include "vrel/registry/postgres_storage.h"
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
  const std::size_t end = size;
  for (int i = 0; i < kComponentCount; ++i) {
    if ((bytes[0] >> i & 1) == 0) continue;
    ComponentDigests& component = fingerprint.components[i];
    component.available = true;
    const bool last = i == kComponentCount - 1;
    do {
      if (pos + kTokenDigestBytes > end) throw StorageError("a stored token is damaged");
      ComponentDigest digest;
      std::memcpy(digest.data(), bytes + pos, digest.size());
      component.digests.push_back(digest);
      pos += kTokenDigestBytes;
    } while (last && pos < end);
  }
  if (pos != end) throw StorageError("a stored token is damaged");
  return fingerprint;
}

StorageError MachineError(MachineId id, const std::string& what) {
  return StorageError("machine " + std::to_string(id) + ": " + what);
}

std::vector<Fingerprint> ImportedTokens(const MachineRecord& record) {
  std::vector<Fingerprint> tokens;
  for (const HistoryEntry& entry : record.history) {
    ParsedToken parsed = ParseToken(entry.token);
    if (!parsed.ok) throw MachineError(record.id, parsed.error);
    tokens.push_back(std::move(parsed.fingerprint));
  }
  return tokens;
}

Gathered Storage::Gather(const std::vector<DigestKey>& keys, std::size_t limit,
                         std::size_t sharedAt) {
  Gathered found;
  found.holders = Holders(keys, limit);
  std::vector<MachineId> ids;
  for (const auto& holders : found.holders) {
    if (holders.size() < sharedAt) ids.insert(ids.end(), holders.begin(), holders.end());
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  found.machines = Load(ids);
  return found;
}

std::unique_ptr<Storage> OpenStorage(const std::string& uri, bool create) {
  constexpr std::string_view kSqlite = "sqlite:";
  if (uri.compare(0, kSqlite.size(), kSqlite) == 0)
    return OpenSqliteStorage(uri.substr(kSqlite.size()), create);
  if (uri.rfind("postgres://", 0) == 0 || uri.rfind("postgresql://", 0) == 0) {
    return OpenPostgresStorage(uri, create);
  }
  return OpenSqliteStorage(uri, create);
}

void RunTransaction(Storage& storage, bool write, const std::function<void()>& work) {
  std::minstd_rand jitter(std::random_device{}());
  for (int attempt = 1;; ++attempt) {
    try {
      Transaction transaction(storage, write);
      work();
      transaction.Commit();
      return;
    } catch (const RetryableError& e) {
      if (attempt == kAttempts) {
        throw StorageError(std::string(e.what()) + "; gave up after " + std::to_string(kAttempts) +
                           " attempts");
      }
    }
    // 1 ms, doubling to 256 ms at the most, and a random part of as much again,
    // so that writers that collided do not collide again in step.
    const int base = 1 << std::min(attempt - 1, 8);
    std::this_thread::sleep_for(std::chrono::milliseconds(base + jitter() % (base + 1)));
  }
}

}  // namespace vrel::registry
