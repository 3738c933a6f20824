// What every backend shares: choosing a backend by URI scheme, the schema
// check, and running transactions.
#include "vrel/registry/storage.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <random>
#include <thread>

namespace vrel::registry {
namespace {

std::map<std::string, BackendOpener>& Backends() {
  static std::map<std::string, BackendOpener> backends;
  return backends;
}

// The scheme of `uri` ("postgresql" of "postgresql://..."), or empty when it
// names none: a plain path.
std::string Scheme(const std::string& uri) {
  const std::size_t colon = uri.find(':');
  if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(uri[0])))
    return {};
  for (std::size_t i = 1; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(uri[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return uri.substr(0, colon);
}

}  // namespace

bool RegisterBackend(const char* scheme, BackendOpener opener) {
  return Backends().emplace(scheme, opener).second;
}

std::unique_ptr<Storage> OpenStorage(const std::string& uri, OpenMode mode) {
  const std::string scheme = Scheme(uri);
  const auto found = Backends().find(scheme.empty() ? "sqlite" : scheme);
  if (found == Backends().end()) {
    throw UriError("unknown registry URI scheme \"" + scheme +
                   ":\" (use sqlite:PATH, postgresql://..., postgres://... or a plain path)");
  }
  return found->second(scheme.empty() ? "sqlite:" + uri : uri, mode);
}

void CheckSchemaVersion(long long found, const std::string& what) {
  if (found > kSchemaVersion) {
    throw StorageError(what + " has registry schema " + std::to_string(found) +
                       ", newer than this release's " + std::to_string(kSchemaVersion) +
                       "; use a newer vrel-registry");
  }
}

Gathered GatherInSteps(Storage& storage, const std::vector<DigestKey>& keys, std::size_t limit,
                       std::size_t sharedAt) {
  Gathered found;
  found.holders = storage.Holders(keys, limit);
  std::vector<MachineId> ids;
  for (const auto& holders : found.holders) {
    if (holders.size() < sharedAt) ids.insert(ids.end(), holders.begin(), holders.end());
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  found.machines = storage.Load(ids);
  return found;
}

void RunTransaction(Storage& storage, Access access, const std::function<void()>& work) {
  std::minstd_rand jitter(std::random_device{}());
  for (int attempt = 1;; ++attempt) {
    try {
      Transaction transaction(storage, access);
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
