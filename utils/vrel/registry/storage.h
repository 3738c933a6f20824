// The registry's storage seam: the few operations the identification rule
// needs, which each backend (SQLite now; a server database later) answers
// alike. Every backend keeps, per machine, its latest token and a bounded
// history, and an index from (component, digest) to the machines whose latest
// token holds that digest, so that a lookup costs the machines found, never
// the fleet's size. Calls are batched where a network backend would want one
// round trip. The storage sees digests only, never a key or a raw value.
//
// Errors: every operation throws StorageError; a backend rolls back whatever
// the failed transaction wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "vrel/fingerprint/token.h"

namespace vrel::registry {

using MachineId = std::int64_t;

// The schema this release writes and reads; a database of a newer one is refused.
constexpr int kSchemaVersion = 1;

class StorageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A writing transaction lost a race with another writer (a key it needed was
// claimed); the backend rolled it back, and running it again may succeed.
class RetryableError : public StorageError {
 public:
  using StorageError::StorageError;
};

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

// The index keys of a fingerprint's strong components.
std::vector<DigestKey> StrongKeys(const Fingerprint& fingerprint);

struct StoredMachine {
  MachineId id = 0;
  std::int64_t sequence = 0;  // the enroll that last named it (a counter, not the clock)
  Fingerprint latest;
};

struct HistoryEntry {
  std::string token;
  std::int64_t firstSeen = 0;  // Unix seconds
  std::int64_t lastSeen = 0;
};

struct MachineRecord {
  MachineId id = 0;
  std::int64_t sequence = 0;  // as StoredMachine's
  std::int64_t firstSeen = 0;
  std::int64_t lastSeen = 0;
  std::vector<HistoryEntry> history;  // newest first; the first entry is the latest token
};

struct SharedDigest {
  DigestKey key;
  std::int64_t machines = 0;
};

// What Gather finds.
struct Gathered {
  std::vector<std::vector<MachineId>> holders;  // per key, as Holders
  std::vector<StoredMachine> machines;  // the holders of every key with fewer than sharedAt, by id
};

class Storage {
 public:
  virtual ~Storage() = default;

  // A transaction: a writing one holds the registry's write lock from its
  // start, so that what the rule reads stays true until it commits.
  virtual void Begin(bool write) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;

  // For each key, at most `limit` machines whose latest token holds it,
  // lowest ids first (so a count below `limit` is exact).
  virtual std::vector<std::vector<MachineId>> Holders(const std::vector<DigestKey>& keys,
                                                      std::size_t limit) = 0;
  // The machines among `ids` that exist, in the order of `ids`.
  virtual std::vector<StoredMachine> Load(const std::vector<MachineId>& ids) = 0;
  // Holders(keys, limit), then Load of the holders of each key that has fewer
  // than `sharedAt` (the identify's candidates); a server answers both at once.
  virtual Gathered Gather(const std::vector<DigestKey>& keys, std::size_t limit,
                          std::size_t sharedAt);

  // A new machine holding `fingerprint`: a new id, never reused, and the next sequence number.
  virtual MachineId Create(const Fingerprint& fingerprint, std::int64_t now) = 0;
  // `fingerprint` becomes the machine's latest (the next sequence number); an
  // unchanged fingerprint only moves its last-seen time. History keeps the
  // `historyLimit` newest tokens, the latest included.
  virtual void Renew(MachineId id, const Fingerprint& fingerprint, std::int64_t now,
                     std::size_t historyLimit) = 0;
  // False when there is no such machine.
  virtual bool Remove(MachineId id) = 0;

  // Backends with several writers at once take a lock per digest key for the
  // rest of the writing transaction, so that what a writer
  // read of them stays true until it commits; a key another transaction holds
  // throws RetryableError. A backend with one writer at a time has nothing to
  // claim.
  virtual void ClaimDigests(const std::vector<DigestKey>& keys) { (void)keys; }
  // How many tokens one writing transaction should take at most.
  virtual std::size_t GroupLimit() const { return 4096; }

  virtual std::optional<MachineRecord> Show(MachineId id) = 0;
  // Up to `limit` machine ids above `after`, ascending: export's walk.
  virtual std::vector<MachineId> MachinesAfter(MachineId after, std::size_t limit) = 0;
  // Stores `record` (history newest first, the first entry its latest token)
  // under its own id and sequence number; later ids and sequence numbers
  // follow the largest stored. Throws StorageError when the id is taken.
  virtual void Import(const MachineRecord& record) = 0;
  virtual std::int64_t MachineCount() = 0;
  // Every (component, digest) held by at least `sharedAt` machines, most held first.
  virtual std::vector<SharedDigest> Shared(std::size_t sharedAt) = 0;
};

// Opens a registry by URI: "postgresql://..." or "postgres://..." (libpq's
// URI), "sqlite:PATH" or a plain path. Only `create` makes a missing registry.
// Throws StorageError (missing, unreachable, unreadable, a newer schema).
std::unique_ptr<Storage> OpenStorage(const std::string& uri, bool create);

// A stored token: one byte of availability bits (bit i: component i), then 8
// bytes per digest in component order, nics' digests last; about half the
// token text's size. Decode throws StorageError for damaged bytes.
std::string EncodeStoredToken(const Fingerprint& fingerprint);
Fingerprint DecodeStoredToken(const void* data, std::size_t size);

// "machine ID: what", the error every backend gives about one machine.
StorageError MachineError(MachineId id, const std::string& what);
// An imported record's tokens parsed, newest first; a bad one is a MachineError.
std::vector<Fingerprint> ImportedTokens(const MachineRecord& record);

// Commits on Commit(), rolls back when left otherwise.
class Transaction {
 public:
  Transaction(Storage& storage, bool write) : storage_(storage) { storage_.Begin(write); }
  ~Transaction() {
    if (open_) storage_.Rollback();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    open_ = false;
    storage_.Commit();
  }

 private:
  Storage& storage_;
  bool open_ = true;
};

}  // namespace vrel::registry

namespace vrel::registry {

// Runs `work` in a transaction and commits it; after a lost race, rolls back
// and runs it again, up to kAttempts times with a growing, randomised pause,
// then throws StorageError. `work` must start from scratch on each run.
constexpr int kAttempts = 12;
void RunTransaction(Storage& storage, bool write, const std::function<void()>& work);

}  // namespace vrel::registry
