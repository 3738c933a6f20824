// The licences' JSON objects (schema 2), one a line, without a newline: what
// vrel-registry's licence commands print, and the licence lines of an export.
#pragma once

#include <string>
#include <vector>

#include "vrel/registry/licences/licensing.h"

namespace vrel::registry {

// A licence as list prints it; `key` adds the key (create's, shown once);
// `seats` adds "machines" (show's).
std::string LicenceJson(const LicenceRow& licence, Seats used, const std::string& key = "",
                        const std::vector<SeatRow>* seats = nullptr, std::int64_t now = 0);
// The longest ActivationJson without a line: the widest licence file a
// licence's terms allow (create's limits), every character escaped that can be.
constexpr std::size_t kMaxActivationJsonLength = 16384;

// `line` 0 leaves the "line" member out.
std::string ActivationJson(const Activation& activation, long line);
std::string DeactivationJson(const Deactivation& deactivation);

// An export's licence lines: the registry's default application, a licence
// (its key's hash, never a key), a seat, an audit row.
std::string DefaultsExportJson(const std::string& application);
std::string LicenceExportJson(const LicenceRow& licence);
std::string SeatExportJson(const SeatRow& seat);
std::string AuditExportJson(const AuditRow& row);

enum class ExportLine { kMachine, kLicencePart, kBad };
// Which kind of export line `line` is; a licence part goes into `batch`.
// kBad sets `problem`.
ExportLine ReadLicenceExportJson(const std::string& line, LicenceImport& batch,
                                 std::string& problem);

}  // namespace vrel::registry
