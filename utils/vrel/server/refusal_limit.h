// A limit on refused licence keys per client address, so that keys cannot be
// guessed at speed. Each address has a budget of refusals that refills at a
// steady rate; while it is spent, a key the address has not used successfully
// before is answered 429 without reaching the registry, and keys it has used
// successfully go on working, so that the valid traffic of a proxy or a NAT
// is not stopped by one of its clients guessing.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace vrel::server {

struct RefusalLimitSettings {
  double burst = 30;              // refusals an address may have at once
  double refillSeconds = 10;      // one more refusal allowed every this many seconds
  std::size_t addresses = 65536;  // addresses remembered at most
  std::size_t keysPerAddress = 4096;
};

class RefusalLimit {
 public:
  using Clock = std::chrono::steady_clock;
  explicit RefusalLimit(RefusalLimitSettings settings = {}) : settings_(settings) {}

  // A key's identity for the limit: a digest of its normalised form, or 0
  // for text that is not of a key's form (never a successful key).
  static std::uint64_t KeyId(const std::string& key);

  // Seconds `address` must wait before trying `key` (0: go on).
  std::int64_t RetryAfter(const std::string& address, std::uint64_t key, Clock::time_point now);
  // The registry refused `address`'s key as unknown.
  void Refused(const std::string& address, Clock::time_point now);
  // The registry accepted `key` from `address`.
  void Succeeded(const std::string& address, std::uint64_t key);

 private:
  struct Entry {
    double budget = 0;
    Clock::time_point updated;
    std::unordered_set<std::uint64_t> keys;
  };
  Entry& Find(const std::string& address, Clock::time_point now);
  void Refill(Entry& entry, Clock::time_point now) const;

  RefusalLimitSettings settings_;
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace vrel::server
