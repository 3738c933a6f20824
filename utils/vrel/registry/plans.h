// What each write changes, decided once for every backend: the backends only
// carry these plans out. Also the records that show and export print, made
// from a page's rows.
#pragma once

#include <optional>

#include "vrel/registry/storage.h"

namespace vrel::registry {

NewMachine PlanCreate(const Fingerprint& fingerprint, std::int64_t now);
// `next` becomes the machine's latest; history keeps the `historyLimit`
// newest tokens, the latest included (at least 1).
RenewPlan PlanRenew(const MachineRow& current, const Fingerprint& next, std::int64_t now,
                    std::size_t historyLimit);
RemovePlan PlanRemove(const StoredMachine& machine, std::int64_t now);
// Each record's tokens parsed (a bad one is a MachineError), history newest
// first given versions below the record's sequence.
ImportBatch PlanImport(const std::vector<MachineRecord>& records);

// The machines of a page, tokens as text.
std::vector<MachineRecord> Records(const Page& page);

// Renew's read, plan and write; throws MachineError when the machine is gone.
void Renew(Storage& storage, MachineId id, const Fingerprint& next, std::int64_t now,
           std::size_t historyLimit);
// One machine with its history, or nothing.
std::optional<MachineRecord> Show(Storage& storage, MachineId id);

}  // namespace vrel::registry
