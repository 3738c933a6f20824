#include "vrel/registry/tool/commands.h"

#include <cstdio>

#include "vrel/registry/report.h"
#include "vrel/registry/tool/move.h"
#include "vrel/registry/tool/output.h"
#include "vrel/registry/tool/token_batches.h"

namespace vrel::registry {
namespace {

int Enroll(const ToolOptions& options, Registry& registry) {
  return RunTokens(options, registry, true) ? 0 : 2;
}

int Identify(const ToolOptions& options, Registry& registry) {
  return RunTokens(options, registry, false) ? 0 : 2;
}

int Unknown(MachineId id) {
  std::fprintf(stderr, "vrel-registry: no machine %lld\n", static_cast<long long>(id));
  return 2;
}

int ShowMachine(const ToolOptions& options, Registry& registry) {
  std::optional<MachineRecord> record;
  RunTransaction(registry.storage(), Access::kRead,
                 [&] { record = Show(registry.storage(), options.machine); });
  if (!record) return Unknown(options.machine);
  Print(MachineJson(*record));
  return 0;
}

int RemoveMachine(const ToolOptions& options, Registry& registry) {
  std::optional<MachineRecord> removed;
  RunTransaction(registry.storage(), Access::kWrite,
                 [&] { removed = registry.Remove(options.machine); });
  if (!removed) return Unknown(options.machine);
  Print(RemovedJson(*removed));
  return 0;
}

int Stats(const ToolOptions& options, Registry& registry) {
  std::string result;
  RunTransaction(registry.storage(), Access::kRead, [&] {
    Storage& storage = registry.storage();
    result = StatsJson(storage.MachineCount(), storage.Shared(options.registry.sharedAt));
  });
  Print(result);
  return 0;
}

int ExportAll(const ToolOptions&, Registry& registry) {
  Export(registry.storage());
  return 0;
}

int ImportAll(const ToolOptions&, Registry& registry) { return Import(registry.storage()) ? 0 : 2; }

}  // namespace

const Command kCommands[] = {
    {"enroll", "[TOKEN...]",
     "Identify each token and store it: the same machine's latest token, or a new machine.",
     Operands::kTokens, OpenMode::kCreate, Enroll},
    {"identify", "[TOKEN...]", "Identify each token, changing nothing.", Operands::kTokens,
     OpenMode::kRead, Identify},
    {"show", "ID", "Print a machine with its history.", Operands::kMachineId, OpenMode::kRead,
     ShowMachine},
    {"remove", "ID", "Forget a machine, its history and its digests.", Operands::kMachineId,
     OpenMode::kWrite, RemoveMachine},
    {"stats", "", "Print the machine count and the shared digests.", Operands::kNone,
     OpenMode::kRead, Stats},
    {"export", "", "Print every machine with its history, one a line.", Operands::kNone,
     OpenMode::kRead, ExportAll},
    {"import", "", "Store an export's lines into an empty registry, all or nothing.",
     Operands::kNone, OpenMode::kCreate, ImportAll},
};
const std::size_t kCommandCount = std::size(kCommands);

}  // namespace vrel::registry
