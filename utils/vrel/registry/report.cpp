// nlohmann-json's ordered objects keep the members in the documented order.
#include "vrel/registry/report.h"

#include <ctime>
#include <nlohmann/json.hpp>

namespace vrel::registry {
namespace {

using Json = nlohmann::ordered_json;

Json Names(const std::vector<ComponentId>& ids) {
  Json names = Json::array();
  for (ComponentId id : ids) names.push_back(ComponentName(id));
  return names;
}

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (std::size_t i = text.size(); i-- > 0; value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

Json History(const HistoryEntry& entry) {
  return Json{{"token", entry.token},
              {"firstSeen", Rfc3339(entry.firstSeen)},
              {"lastSeen", Rfc3339(entry.lastSeen)}};
}

}  // namespace

std::string Rfc3339(std::int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string VerdictJson(const Verdict& verdict, bool enroll, long line) {
  Json out{{"schema", 1}};
  if (line > 0) out["line"] = line;
  out["verdict"] = verdict.same ? "same" : "new";
  out["machine"] = verdict.same || enroll ? Json(verdict.machine) : Json(nullptr);
  out["matches"] = verdict.matches;
  out["matched"] = Names(verdict.matched);
  out["changed"] = Names(verdict.changed);
  Json candidates = Json::array();
  for (const Candidate& c : verdict.candidates)
    candidates.push_back({{"machine", c.machine}, {"matches", c.matches}});
  out["candidates"] = std::move(candidates);
  out["cloneOf"] = verdict.cloneOf;
  out["shared"] = Names(verdict.shared);
  return out.dump();
}

std::string LineErrorJson(long line, const std::string& message) {
  return Json{{"schema", 1}, {"line", line}, {"error", message}}.dump();
}

std::string StatsJson(std::int64_t machines, const std::vector<SharedDigest>& shared) {
  Json list = Json::array();
  for (const SharedDigest& s : shared) {
    list.push_back({{"component", ComponentName(s.key.component)},
                    {"digest", Hex(s.key.digest)},
                    {"machines", s.machines}});
  }
  return Json{{"schema", 1}, {"machines", machines}, {"shared", std::move(list)}}.dump();
}

std::string MachineJson(const MachineRecord& record) {
  Json history = Json::array();
  for (const HistoryEntry& entry : record.history) history.push_back(History(entry));
  return Json{{"schema", 1},
              {"machine", record.id},
              {"token", record.history.front().token},
              {"firstSeen", Rfc3339(record.firstSeen)},
              {"lastSeen", Rfc3339(record.lastSeen)},
              {"history", std::move(history)}}
      .dump();
}

std::string ExportJson(const MachineRecord& record) {
  Json out = Json::parse(MachineJson(record));
  out["sequence"] = record.sequence;
  return out.dump();
}

namespace {

// "2024-05-01T12:00:00Z" back to Unix seconds.
bool ParseRfc3339(const std::string& text, std::int64_t& unixSeconds) {
  std::tm utc{};
  const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  if (end == nullptr || *end != '\0') return false;
  unixSeconds = static_cast<std::int64_t>(timegm(&utc));
  return true;
}

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
    bool good = record.id > 0 && record.sequence > 0 && ReadTimes(in, record.firstSeen, record.lastSeen) &&
                in.at("history").is_array() && !in.at("history").empty();
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

std::string RemovedJson(const MachineRecord& record) {
  return Json{{"schema", 1}, {"removed", record.id}, {"tokens", record.history.size()}}.dump();
}

}  // namespace vrel::registry
