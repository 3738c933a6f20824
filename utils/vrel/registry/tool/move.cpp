#include "vrel/registry/tool/move.h"

#include <algorithm>

#include "vrel/registry/licences/licence_report.h"
#include "vrel/registry/plans.h"
#include "vrel/registry/report.h"
#include "vrel/registry/tool/line_reader.h"
#include "vrel/registry/tool/output.h"

namespace vrel::registry {
namespace {

// A machine's line holds its whole history: room for thousands of tokens.
constexpr std::size_t kMaxMachineLine = std::size_t{4} << 20;

// The licences after the machines, which their seats name: the default
// application, each licence with its seats, then the audit trail.
void ExportLicences(LicenceStorage& licences) {
  const std::string application = licences.DefaultApplication();
  if (!application.empty()) Print(DefaultsExportJson(application));
  for (LicenceId after = 0;;) {
    const std::vector<LicenceRow> page = licences.Licences(after, kExportPage);
    if (page.empty()) break;
    for (const LicenceRow& licence : page) {
      std::vector<std::string> lines{LicenceExportJson(licence)};
      for (const SeatRow& seat : licences.Seats(licence.id)) lines.push_back(SeatExportJson(seat));
      Print(lines);
    }
    after = page.back().id;
  }
  for (std::int64_t done = 0;;) {
    const std::vector<AuditRow> page = licences.AuditTrail(done, kExportPage);
    if (page.empty()) break;
    std::vector<std::string> lines;
    for (const AuditRow& row : page) lines.push_back(AuditExportJson(row));
    Print(lines);
    done += static_cast<std::int64_t>(page.size());
  }
}

// A seat or audit row that names a licence or machine the import lacks.
std::string Dangling(const LicenceImport& batch, std::vector<MachineId>& machines) {
  std::sort(machines.begin(), machines.end());
  std::vector<LicenceId> licences;
  for (const LicenceRow& row : batch.licences) licences.push_back(row.id);
  std::sort(licences.begin(), licences.end());
  const auto known = [](const std::vector<std::int64_t>& ids, std::int64_t id) {
    return std::binary_search(ids.begin(), ids.end(), id);
  };
  for (const SeatRow& seat : batch.seats) {
    if (!known(licences, seat.licence) || !known(machines, seat.machine)) {
      return "a seat names licence " + std::to_string(seat.licence) + " and machine " +
             std::to_string(seat.machine) + ", not both among the lines";
    }
  }
  for (const AuditRow& row : batch.audit) {
    if (!known(licences, row.licence))
      return "an audit row names licence " + std::to_string(row.licence) + ", not among the lines";
  }
  return {};
}

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
  ExportLicences(storage.licences());
  transaction.Commit();
}

bool Import(Storage& storage) {
  Transaction transaction(storage, Access::kWhole);
  if (const std::int64_t machines = storage.MachineCount()) {
    throw StorageError("import needs an empty registry; this one holds " +
                       std::to_string(machines) + " machines");
  }
  if (!storage.licences().Licences(0, 1).empty())
    throw StorageError("import needs an empty registry; this one holds licences");
  LineReader reader(kMaxMachineLine);
  std::vector<MachineRecord> batch;
  LicenceImport licences;
  std::vector<MachineId> ids;
  long line = 0, imported = 0;
  bool allGood = true;
  std::string text;
  for (bool overlong = false; reader.Next(text, overlong);) {
    ++line;
    if (!overlong && IsBlank(text)) continue;
    MachineRecord record;
    std::string problem;
    const ExportLine kind =
        overlong ? ExportLine::kBad : ReadLicenceExportJson(text, licences, problem);
    if (kind == ExportLine::kLicencePart) continue;
    if (kind == ExportLine::kBad || !ParseExportJson(text, record, problem)) {
      allGood = false;
      Print(LineErrorJson(line, overlong ? "the line is too long for a machine" : problem));
      continue;
    }
    if (!allGood) continue;  // nothing will be stored: only the other bad lines are looked for
    ids.push_back(record.id);
    batch.push_back(std::move(record));
    if (batch.size() == kImportBatch) {
      storage.Apply(PlanImport(batch));
      imported += static_cast<long>(batch.size());
      batch.clear();
    }
  }
  const std::string dangling = allGood ? Dangling(licences, ids) : std::string();
  if (!dangling.empty()) {
    allGood = false;
    Print(LineErrorJson(line, dangling));
  }
  if (allGood) {
    if (!batch.empty()) storage.Apply(PlanImport(batch));
    imported += static_cast<long>(batch.size());
    storage.licences().Import(licences);
    transaction.Commit();
  }
  Print("{\"schema\":2,\"imported\":" + std::to_string(allGood ? imported : 0) +
        ",\"licences\":" + std::to_string(allGood ? licences.licences.size() : 0) +
        ",\"seats\":" + std::to_string(allGood ? licences.seats.size() : 0) + "}");
  return allGood;
}

}  // namespace vrel::registry
