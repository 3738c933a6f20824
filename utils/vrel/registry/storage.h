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
  std::int64_t firstSeen = 0;
  std::int64_t lastSeen = 0;
  std::vector<HistoryEntry> history;  // newest first; the first entry is the latest token
};

struct SharedDigest {
  DigestKey key;
  std::int64_t machines = 0;
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

  // A new machine holding `fingerprint`: a new id, never reused, and the next sequence number.
  virtual MachineId Create(const Fingerprint& fingerprint, std::int64_t now) = 0;
  // `fingerprint` becomes the machine's latest (the next sequence number); an
  // unchanged fingerprint only moves its last-seen time. History keeps the
  // `historyLimit` newest tokens, the latest included.
  virtual void Renew(MachineId id, const Fingerprint& fingerprint, std::int64_t now,
                     std::size_t historyLimit) = 0;
  // False when there is no such machine.
  virtual bool Remove(MachineId id) = 0;

  virtual std::optional<MachineRecord> Show(MachineId id) = 0;
  virtual std::int64_t MachineCount() = 0;
  // Every (component, digest) held by at least `sharedAt` machines, most held first.
  virtual std::vector<SharedDigest> Shared(std::size_t sharedAt) = 0;
};

// Opens a registry by URI: "sqlite:PATH" or a plain path. Only `create`
// makes a missing database. Throws StorageError (missing, unreadable, a newer
// schema, another backend's URI this build lacks).
std::unique_ptr<Storage> OpenStorage(const std::string& uri, bool create);

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
