// The registry's records as the storage seam passes them: rows as stored
// (tokens in EncodeStoredToken's form, times in Unix seconds), the plans that
// say what a write changes, and the machine records that show, export and
// import use (tokens as text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vrel/registry/stored_token.h"

namespace vrel::registry {

struct StoredMachine {
  MachineId id = 0;
  std::int64_t sequence = 0;  // the enroll that last named it (a counter, not the clock)
  Fingerprint latest;
};

// What Gather finds.
struct Gathered {
  std::vector<std::vector<MachineId>> holders;  // per key, as Holders
  std::vector<StoredMachine> machines;  // the holders of every key with fewer than sharedAt, by id
};

// A machine as stored: its latest token, since when it is the latest.
struct MachineRow {
  MachineId id = 0;
  std::int64_t sequence = 0;
  std::int64_t firstSeen = 0;
  std::int64_t since = 0;
  std::int64_t lastSeen = 0;
  std::string token;
};

// An earlier token of a machine; versions grow with each change.
struct HistoryRow {
  MachineId machine = 0;
  std::int64_t version = 0;
  std::string token;
  std::int64_t firstSeen = 0;
  std::int64_t lastSeen = 0;
};

struct IndexRow {
  DigestKey key;
  MachineId machine = 0;
};

struct SharedDigest {
  DigestKey key;
  std::int64_t machines = 0;
};

// A new machine: its token and index keys, first seen `now`.
struct NewMachine {
  std::string token;
  std::vector<DigestKey> keys;
  std::int64_t now = 0;
};

// A renew: the machine takes the next sequence number and is seen `now`;
// when its token changed, the index keys that leave and arrive, the old
// latest moved into history (when any is kept) and the history trimmed to
// its newest `historyRows`.
struct RenewPlan {
  MachineId id = 0;
  std::int64_t now = 0;
  std::string token;
  bool changed = false;
  std::vector<DigestKey> gone, come;
  bool keep = false;
  HistoryRow kept;
  std::size_t historyRows = 0;
};

// A removal: the machine, its history and its index rows (by their keys: the
// index is ordered by key, not by machine).
struct RemovePlan {
  MachineId id = 0;
  std::vector<DigestKey> keys;
  std::int64_t now = 0;  // the time of the seats' release
};

// Machines to import whole; the counters move past the largest id and sequence.
struct ImportBatch {
  std::vector<MachineRow> machines;
  std::vector<IndexRow> index;
  std::vector<HistoryRow> history;
  MachineId largestId = 0;
  std::int64_t largestSequence = 0;
};

// A page of machines by id, with their history rows (by machine, newest first).
struct Page {
  std::vector<MachineRow> machines;
  std::vector<HistoryRow> history;
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

}  // namespace vrel::registry
