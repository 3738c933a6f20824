// The writers assemble the text field by field and use the JSON library only
// to quote strings, as vrel's own JSON writers do (a document of the library
// can neither run out of memory safely nor be built without type dispatch on
// every member); the export reader parses with it.
#include "vrel/registry/report.h"

#include <ctime>
#include <nlohmann/json.hpp>

namespace vrel::registry {
namespace {

using Json = nlohmann::json;

std::string Quoted(const std::string& text) { return JsonQuoted(text); }

// ["volume","board"]
std::string Names(const std::vector<ComponentId>& ids) {
  std::string text = "[";
  for (ComponentId id : ids)
    text += (text.size() > 1 ? ",\"" : "\"") + std::string(ComponentName(id)) + '"';
  return text + ']';
}

// [1,2,3]
std::string Ids(const std::vector<MachineId>& ids) {
  std::string text = "[";
  for (MachineId id : ids) text += (text.size() > 1 ? "," : "") + std::to_string(id);
  return text + ']';
}

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (std::size_t i = text.size(); i-- > 0; value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

// "firstSeen":"...","lastSeen":"..."
std::string Times(std::int64_t first, std::int64_t last) {
  return "\"firstSeen\":\"" + Rfc3339(first) + "\",\"lastSeen\":\"" + Rfc3339(last) + '"';
}

// The members show and export share, after "schema".
std::string MachineMembers(const MachineRecord& record) {
  std::string history;
  for (const HistoryEntry& entry : record.history) {
    history += (history.empty() ? "{\"token\":" : ",{\"token\":") + Quoted(entry.token) + ',' +
               Times(entry.firstSeen, entry.lastSeen) + '}';
  }
  return ",\"machine\":" + std::to_string(record.id) +
         ",\"token\":" + Quoted(record.history.front().token) + ',' +
         Times(record.firstSeen, record.lastSeen) + ",\"history\":[" + history + ']';
}

}  // namespace

std::string JsonQuoted(const std::string& text) {
  return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Rfc3339(std::int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string VerdictJson(const Verdict& verdict, bool enroll, long line) {
  std::string json = "{\"schema\":1";
  if (line > 0) json += ",\"line\":" + std::to_string(line);
  json += verdict.same ? ",\"verdict\":\"same\"" : ",\"verdict\":\"new\"";
  json += ",\"machine\":";
  json += verdict.same || enroll ? std::to_string(verdict.machine) : "null";
  json += ",\"matches\":" + std::to_string(verdict.matches) +
          ",\"matched\":" + Names(verdict.matched) + ",\"changed\":" + Names(verdict.changed) +
          ",\"candidates\":[";
  for (std::size_t i = 0; i < verdict.candidates.size(); ++i) {
    json += (i == 0 ? "{\"machine\":" : ",{\"machine\":") +
            std::to_string(verdict.candidates[i].machine) +
            ",\"matches\":" + std::to_string(verdict.candidates[i].matches) + '}';
  }
  return json + "],\"cloneOf\":" + Ids(verdict.cloneOf) + ",\"shared\":" + Names(verdict.shared) +
         '}';
}

std::string LineErrorJson(long line, const std::string& message) {
  return "{\"schema\":1,\"line\":" + std::to_string(line) + ",\"error\":" + Quoted(message) + '}';
}

std::string StatsJson(std::int64_t machines, const std::vector<SharedDigest>& shared) {
  std::string list;
  for (const SharedDigest& s : shared) {
    list += (list.empty() ? "{\"component\":\"" : ",{\"component\":\"") +
            std::string(ComponentName(s.key.component)) + "\",\"digest\":\"" + Hex(s.key.digest) +
            "\",\"machines\":" + std::to_string(s.machines) + '}';
  }
  return "{\"schema\":1,\"machines\":" + std::to_string(machines) + ",\"shared\":[" + list + "]}";
}

std::string MachineJson(const MachineRecord& record) {
  return "{\"schema\":1" + MachineMembers(record) + '}';
}

std::string ExportJson(const MachineRecord& record) {
  return "{\"schema\":1" + MachineMembers(record) +
         ",\"sequence\":" + std::to_string(record.sequence) + '}';
}

std::string RemovedJson(const MachineRecord& record) {
  return "{\"schema\":1,\"removed\":" + std::to_string(record.id) +
         ",\"tokens\":" + std::to_string(record.history.size()) + '}';
}

bool ParseRfc3339(const std::string& text, std::int64_t& unixSeconds) {
  std::tm utc{};
  const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  if (end == nullptr || *end != '\0') return false;
  unixSeconds = static_cast<std::int64_t>(timegm(&utc));
  return Rfc3339(unixSeconds) == text;  // timegm would take 2027-02-30 as March 2nd
}

namespace {

bool ReadTimes(const Json& object, std::int64_t& first, std::int64_t& last) {
  return object.at("firstSeen").is_string() && object.at("lastSeen").is_string() &&
         ParseRfc3339(object.at("firstSeen").get<std::string>(), first) &&
         ParseRfc3339(object.at("lastSeen").get<std::string>(), last);
}

}  // namespace

bool ParseExportJson(const std::string& line, MachineRecord& record, std::string& problem) {
  record = MachineRecord{};
  const Json in = Json::parse(line, nullptr, false);
  try {
    if (!in.is_object() || in.value("schema", 0) != 1) {
      problem = "not a machine of an export (schema 1)";
      return false;
    }
    record.id = in.at("machine").get<MachineId>();
    record.sequence = in.at("sequence").get<std::int64_t>();
    bool good = record.id > 0 && record.sequence > 0 &&
                ReadTimes(in, record.firstSeen, record.lastSeen) && in.at("history").is_array() &&
                !in.at("history").empty();
    for (const Json& entry : good ? in.at("history") : Json::array()) {
      HistoryEntry& kept = record.history.emplace_back();
      kept.token = entry.at("token").get<std::string>();
      good = good && ReadTimes(entry, kept.firstSeen, kept.lastSeen);
    }
    if (!good) problem = "a machine needs a positive id and sequence, times and a history";
    return good;
  } catch (const Json::exception&) {
    problem = "a member of the machine is missing or of the wrong type";
    return false;
  }
}

}  // namespace vrel::registry
