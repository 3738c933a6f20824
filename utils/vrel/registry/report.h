// The registry's JSON Lines objects (schema 1), shared by vrel-registry and
// the C interface. Each function returns one object without a newline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vrel/registry/registry.h"

namespace vrel::registry {

// The longest VerdictJson without a line: every list at its cap, every id at
// its widest. The C interface publishes it.
constexpr std::size_t kMaxVerdictJsonLength = 2048;

// A verdict; `line` 0 leaves the "line" member out. `enroll` names the machine
// even when it is new.
std::string VerdictJson(const Verdict& verdict, bool enroll, long line);
std::string LineErrorJson(long line, const std::string& message);
std::string StatsJson(std::int64_t machines, const std::vector<SharedDigest>& shared);
std::string MachineJson(const MachineRecord& record);
std::string RemovedJson(const MachineRecord& record);

// One machine as `export` writes it and `import` reads it: MachineJson with
// the machine's sequence number (which keeps the ties' order).
std::string ExportJson(const MachineRecord& record);
// The record of an ExportJson line; false, with `problem` set, for anything else.
bool ParseExportJson(const std::string& line, MachineRecord& record, std::string& problem);

// "2024-05-01T12:00:00Z", and back (false for any other text).
std::string Rfc3339(std::int64_t unixSeconds);
bool ParseRfc3339(const std::string& text, std::int64_t& unixSeconds);

// A JSON string; bytes that are not UTF-8 become U+FFFD rather than failing the object.
std::string JsonQuoted(const std::string& text);

}  // namespace vrel::registry
