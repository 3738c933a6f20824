#include "vrel/registry/tool/move.h"

#include "vrel/registry/plans.h"
#include "vrel/registry/report.h"
#include "vrel/registry/tool/line_reader.h"
#include "vrel/registry/tool/output.h"

namespace vrel::registry {
namespace {

// A machine's line holds its whole history: room for thousands of tokens.
constexpr std::size_t kMaxMachineLine = std::size_t{4} << 20;

}  // namespace

void Export(Storage& storage) {
  Transaction transaction(storage, Access::kRead);
  for (MachineId after = 0;;) {
    const std::vector<MachineRecord> records = Records(storage.Machines(after, kExportPage));
    if (records.empty()) break;
    std::vector<std::string> lines;
    for (const MachineRecord& record : records) lines.push_back(ExportJson(record));
    Print(lines);
    after = records.back().id;
  }
  transaction.Commit();
}

bool Import(Storage& storage) {
  Transaction transaction(storage, Access::kWhole);
  if (const std::int64_t machines = storage.MachineCount()) {
    throw StorageError("import needs an empty registry; this one holds " +
                       std::to_string(machines) + " machines");
  }
  LineReader reader(kMaxMachineLine);
  std::vector<MachineRecord> batch;
  long line = 0, imported = 0;
  bool allGood = true;
  std::string text;
  for (bool overlong = false; reader.Next(text, overlong);) {
    ++line;
    if (!overlong && IsBlank(text)) continue;
    MachineRecord record;
    std::string problem;
    if (overlong || !ParseExportJson(text, record, problem)) {
      allGood = false;
      Print(LineErrorJson(line, overlong ? "the line is too long for a machine" : problem));
      continue;
    }
    if (!allGood) continue;  // nothing will be stored: only the other bad lines are looked for
    batch.push_back(std::move(record));
    if (batch.size() == kImportBatch) {
      storage.Apply(PlanImport(batch));
      imported += static_cast<long>(batch.size());
      batch.clear();
    }
  }
  if (allGood) {
    if (!batch.empty()) storage.Apply(PlanImport(batch));
    imported += static_cast<long>(batch.size());
    transaction.Commit();
  }
  Print("{\"schema\":1,\"imported\":" + std::to_string(allGood ? imported : 0) + "}");
  return allGood;
}

}  // namespace vrel::registry
