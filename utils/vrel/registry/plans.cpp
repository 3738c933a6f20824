#include "vrel/registry/plans.h"

#include <algorithm>
#include <iterator>

namespace vrel::registry {
namespace {

std::vector<DigestKey> Without(const std::vector<DigestKey>& from,
                               const std::vector<DigestKey>& out) {
  std::vector<DigestKey> rest;
  std::set_difference(from.begin(), from.end(), out.begin(), out.end(), std::back_inserter(rest));
  return rest;
}

std::string TokenText(const std::string& stored) {
  return FormatToken(DecodeStoredToken(stored.data(), stored.size()));
}

}  // namespace

NewMachine PlanCreate(const Fingerprint& fingerprint, std::int64_t now) {
  return {EncodeStoredToken(fingerprint), StrongKeys(fingerprint), now};
}

RenewPlan PlanRenew(const MachineRow& current, const Fingerprint& next, std::int64_t now,
                    std::size_t historyLimit) {
  RenewPlan plan;
  plan.id = current.id;
  plan.now = now;
  plan.token = EncodeStoredToken(next);
  plan.changed = plan.token != current.token;
  if (!plan.changed) return plan;  // only the sequence and the last-seen time move
  const std::vector<DigestKey> before =
      StrongKeys(DecodeStoredToken(current.token.data(), current.token.size()));
  const std::vector<DigestKey> after = StrongKeys(next);
  plan.gone = Without(before, after);
  plan.come = Without(after, before);
  plan.keep = historyLimit > 1;
  plan.kept = {current.id, current.sequence, current.token, current.since, current.lastSeen};
  plan.historyRows = historyLimit > 0 ? historyLimit - 1 : 0;
  return plan;
}

RemovePlan PlanRemove(const StoredMachine& machine, std::int64_t now) {
  return {machine.id, StrongKeys(machine.latest), now};
}

ImportBatch PlanImport(const std::vector<MachineRecord>& records) {
  ImportBatch batch;
  for (const MachineRecord& record : records) {
    std::vector<Fingerprint> tokens;
    for (const HistoryEntry& entry : record.history) {
      ParsedToken parsed = ParseToken(entry.token);
      if (!parsed.ok) throw MachineError(record.id, parsed.error);
      tokens.push_back(std::move(parsed.fingerprint));
    }
    if (tokens.empty()) throw MachineError(record.id, "no token");
    batch.machines.push_back({record.id, record.sequence, record.firstSeen,
                              record.history.front().firstSeen, record.lastSeen,
                              EncodeStoredToken(tokens.front())});
    for (const DigestKey& key : StrongKeys(tokens.front())) batch.index.push_back({key, record.id});
    for (std::size_t i = 1; i < tokens.size();
         ++i) {  // versions below the sequence, newest highest
      batch.history.push_back({record.id, record.sequence - static_cast<std::int64_t>(i),
                               EncodeStoredToken(tokens[i]), record.history[i].firstSeen,
                               record.history[i].lastSeen});
    }
    batch.largestId = std::max(batch.largestId, record.id);
    batch.largestSequence = std::max(batch.largestSequence, record.sequence);
  }
  return batch;
}

std::vector<MachineRecord> Records(const Page& page) {
  std::vector<MachineRecord> records;
  auto history = page.history.begin();
  for (const MachineRow& row : page.machines) {
    MachineRecord& record = records.emplace_back();
    record.id = row.id;
    record.sequence = row.sequence;
    record.firstSeen = row.firstSeen;
    record.lastSeen = row.lastSeen;
    record.history.push_back({TokenText(row.token), row.since, row.lastSeen});
    for (; history != page.history.end() && history->machine == row.id; ++history)
      record.history.push_back({TokenText(history->token), history->firstSeen, history->lastSeen});
  }
  return records;
}

void Renew(Storage& storage, MachineId id, const Fingerprint& next, std::int64_t now,
           std::size_t historyLimit) {
  const std::optional<MachineRow> row = storage.Row(id);
  if (!row) throw MachineError(id, "gone");
  storage.Apply(PlanRenew(*row, next, now, historyLimit));
}

std::optional<MachineRecord> Show(Storage& storage, MachineId id) {
  if (id <= 0) return std::nullopt;
  const std::vector<MachineRecord> records = Records(storage.Machines(id - 1, 1));
  if (records.empty() || records.front().id != id) return std::nullopt;
  return records.front();
}

}  // namespace vrel::registry
