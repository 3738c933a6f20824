#include "vrel/server/refusal_limit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vrel/registry/licences/licence_key.h"

namespace vrel::server {

std::uint64_t RefusalLimit::KeyId(const std::string& key) {
  const std::optional<std::string> normalised = registry::NormaliseLicenceKey(key);
  if (!normalised) return 0;
  const std::string hash = registry::LicenceKeyHash(*normalised);
  std::uint64_t id = 0;
  std::memcpy(&id, hash.data(), sizeof id);
  return id == 0 ? 1 : id;
}

void RefusalLimit::Refill(Entry& entry, Clock::time_point now) const {
  const double elapsed = std::chrono::duration<double>(now - entry.updated).count();
  if (elapsed > 0) {
    entry.budget = std::min(settings_.burst, entry.budget + elapsed / settings_.refillSeconds);
    entry.updated = now;
  }
}

RefusalLimit::Entry& RefusalLimit::Find(const std::string& address, Clock::time_point now) {
  auto found = entries_.find(address);
  if (found != entries_.end()) {
    Refill(found->second, now);
    return found->second;
  }
  if (entries_.size() >= settings_.addresses) {
    // Forget the addresses that carry nothing: a full budget and no key.
    for (auto it = entries_.begin(); it != entries_.end();) {
      Refill(it->second, now);
      it = it->second.keys.empty() && it->second.budget >= settings_.burst ? entries_.erase(it)
                                                                           : std::next(it);
    }
    if (entries_.size() >= settings_.addresses) entries_.erase(entries_.begin());
  }
  Entry& entry = entries_[address];
  entry.budget = settings_.burst;
  entry.updated = now;
  return entry;
}

std::int64_t RefusalLimit::RetryAfter(const std::string& address, std::uint64_t key,
                                      Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = entries_.find(address);
  if (found == entries_.end()) return 0;
  Entry& entry = found->second;
  Refill(entry, now);
  if (entry.budget >= 1 || (key != 0 && entry.keys.count(key) != 0)) return 0;
  return static_cast<std::int64_t>(std::ceil((1 - entry.budget) * settings_.refillSeconds));
}

void RefusalLimit::Refused(const std::string& address, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = Find(address, now);
  entry.budget = std::max(0.0, entry.budget - 1);
}

void RefusalLimit::Succeeded(const std::string& address, std::uint64_t key) {
  if (key == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = Find(address, Clock::now());
  if (entry.keys.size() >= settings_.keysPerAddress) entry.keys.erase(entry.keys.begin());
  entry.keys.insert(key);
}

}  // namespace vrel::server
