// The registry's storage seam: the few reads the identification rule needs and
// the writes its plans (plans.h) make, which every backend answers alike.
// Every backend keeps, per machine, its latest token and a bounded history,
// and an index from (component, digest) to the machines whose latest token
// holds that digest, so that a lookup costs the machines found, never the
// fleet's size. Reads are batched where a network backend would want one
// round trip. The storage sees digests only, never a key or a raw value.
//
// What to change is decided above the seam, once for every backend: a backend
// only carries a plan out in its own dialect, and never claims, retries or
// groups on its own.
//
// Errors: every operation throws StorageError; a backend rolls back whatever
// the failed transaction wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vrel/registry/errors.h"
#include "vrel/registry/licences/licence_storage.h"
#include "vrel/registry/rows.h"

namespace vrel::registry {

// The schema this release writes and reads; a database of a newer one is
// refused. Schema 1 (machines alone) is read as it is and upgraded to 2
// (licences) by the first writing transaction, within it.
constexpr int kSchemaVersion = 2;

// What a backend can do, fixed when it opens.
struct Capabilities {
  // Tokens one writing transaction should take at most (a claim holds a lock
  // per key until commit, and a server's lock table is shared by all).
  std::size_t writeGroup = 4096;
  // Several writers at once: a writer claims (Claim) what it reads before
  // reading it. Otherwise a writing transaction holds the whole registry.
  bool concurrentWriters = false;
};

enum class Access {
  kRead,   // one consistent snapshot, changing nothing
  kWrite,  // the rule's writes, under the claims the rule makes
  kWhole,  // every other writer shut out until commit (import)
};

class Storage {
 public:
  explicit Storage(Capabilities capabilities) : capabilities_(capabilities) {}
  virtual ~Storage() = default;
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;

  const Capabilities& capabilities() const { return capabilities_; }
  // Licences and seats, in this storage's transactions.
  virtual LicenceStorage& licences() = 0;

  virtual void Begin(Access access) = 0;
  // Commits; on failure throws with the transaction still to be rolled back.
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;

  // Where writers run concurrently: takes a lock on each digest key and
  // machine for the rest of the writing transaction, so that what the writer
  // reads of them stays true until it commits; one that another transaction
  // holds throws RetryableError (no waiting, so no deadlock).
  virtual void Claim(const std::vector<DigestKey>& keys,
                     const std::vector<MachineId>& machines) = 0;

  // For each key, at most `limit` machines whose latest token holds it,
  // lowest ids first (so a count below `limit` is exact).
  virtual std::vector<std::vector<MachineId>> Holders(const std::vector<DigestKey>& keys,
                                                      std::size_t limit) = 0;
  // The machines among `ids` that exist, in the order of `ids`.
  virtual std::vector<StoredMachine> Load(const std::vector<MachineId>& ids) = 0;
  // Holders(keys, limit), then Load of the holders of each key that has fewer
  // than `sharedAt` (the identify's candidates, by id).
  virtual Gathered Gather(const std::vector<DigestKey>& keys, std::size_t limit,
                          std::size_t sharedAt) = 0;
  // A machine's row, for a renew's plan.
  virtual std::optional<MachineRow> Row(MachineId id) = 0;

  // A new machine: a new id, never reused, and the next sequence number.
  virtual MachineId Create(const NewMachine& machine) = 0;
  virtual void Apply(const RenewPlan& plan) = 0;
  // Also frees the machine's seats, each with an audit row.
  virtual void Apply(const RemovePlan& plan) = 0;
  // Rows of machines not yet stored; the id and sequence counters move past them.
  virtual void Apply(const ImportBatch& batch) = 0;

  // Up to `limit` machines with ids above `after`, ascending, with their
  // history rows (by machine, newest first): show's and export's page.
  virtual Page Machines(MachineId after, std::size_t limit) = 0;
  virtual std::int64_t MachineCount() = 0;
  // Every (component, digest) held by at least `sharedAt` machines, most held first.
  virtual std::vector<SharedDigest> Shared(std::size_t sharedAt) = 0;

 private:
  Capabilities capabilities_;
};

enum class OpenMode {
  kRead,    // the registry must exist; nothing is written, not even to a file's header
  kWrite,   // the registry must exist
  kCreate,  // made when missing (or an empty file)
};

// Opens a registry by URI: "sqlite:PATH" or a plain path naming no scheme
// (SQLite), "postgresql://..." or "postgres://..." (libpq). Throws UriError
// for any other scheme, StorageError when the registry is missing,
// unreachable, unreadable, of a newer schema, or not a registry at all (which
// is then left as it was).
std::unique_ptr<Storage> OpenStorage(const std::string& uri, OpenMode mode);
inline std::unique_ptr<Storage> OpenStorage(const std::string& uri, bool create) {
  return OpenStorage(uri, create ? OpenMode::kCreate : OpenMode::kWrite);
}

// Gather in two steps, Holders then Load: for a backend whose reads cost no
// round trip.
Gathered GatherInSteps(Storage& storage, const std::vector<DigestKey>& keys, std::size_t limit,
                       std::size_t sharedAt);

// How a backend opens `uri` (whole, scheme included). A backend registers
// itself once per scheme it serves, before main runs.
using BackendOpener = std::unique_ptr<Storage> (*)(const std::string& uri, OpenMode mode);
bool RegisterBackend(const char* scheme, BackendOpener opener);

// The refusal of a registry whose schema is newer than this release's.
void CheckSchemaVersion(long long found, const std::string& what);

// Commits on Commit(), rolls back when left otherwise, a failed commit included.
class Transaction {
 public:
  Transaction(Storage& storage, Access access) : storage_(storage) { storage_.Begin(access); }
  Transaction(Storage& storage, bool write)
      : Transaction(storage, write ? Access::kWrite : Access::kRead) {}
  ~Transaction() {
    if (open_) storage_.Rollback();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    storage_.Commit();
    open_ = false;
  }

 private:
  Storage& storage_;
  bool open_ = true;
};

// Runs `work` in a transaction and commits it; after a lost race, rolls back
// and runs it again, up to kAttempts times with a growing, randomised pause,
// then throws StorageError. `work` must start from scratch on each run.
constexpr int kAttempts = 12;
void RunTransaction(Storage& storage, Access access, const std::function<void()>& work);
inline void RunTransaction(Storage& storage, bool write, const std::function<void()>& work) {
  RunTransaction(storage, write ? Access::kWrite : Access::kRead, work);
}

}  // namespace vrel::registry
