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

std::string RemovedJson(const MachineRecord& record) {
  return Json{{"schema", 1}, {"removed", record.id}, {"tokens", record.history.size()}}.dump();
}

}  // namespace vrel::registry
