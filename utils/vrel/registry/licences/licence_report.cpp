#include "vrel/registry/licences/licence_report.h"

#include <nlohmann/json.hpp>

#include "vrel/registry/report.h"

namespace vrel::registry {
namespace {

using Json = nlohmann::json;

std::string Time(std::int64_t seconds) { return '"' + Rfc3339(seconds) + '"'; }
// A time, or null for 0 (never, not yet).
std::string TimeOrNull(std::int64_t seconds) { return seconds != 0 ? Time(seconds) : "null"; }
std::string Number(std::int64_t value) { return std::to_string(value); }
std::string NumberOrNull(std::int64_t value) { return value != 0 ? Number(value) : "null"; }

std::string Features(const std::vector<std::string>& features) {
  std::string text = "[";
  for (const std::string& feature : features)
    text += (text.size() > 1 ? "," : "") + JsonQuoted(feature);
  return text + ']';
}

std::string SeatsJson(Seats seats) {
  return "{\"used\":" + Number(seats.used) + ",\"total\":" + Number(seats.total) + '}';
}

// The members every licence object shares, after its id.
std::string Terms(const LicenceRow& licence) {
  return ",\"name\":" + JsonQuoted(licence.name) +
         ",\"application\":" + JsonQuoted(licence.application) +
         ",\"features\":" + Features(licence.features);
}

std::string Periods(const LicenceRow& licence) {
  return ",\"expires\":" + TimeOrNull(licence.expires) + ",\"ttl\":" + Number(licence.ttl) +
         ",\"lease\":" + NumberOrNull(licence.lease) + ",\"created\":" + Time(licence.created) +
         ",\"revoked\":" + TimeOrNull(licence.revoked);
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kDigits[c >> 4];
    text += kDigits[c & 15];
  }
  return text;
}

bool Unhex(const std::string& text, std::string& bytes) {
  if (text.size() != 64) return false;
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int value = 0;
    for (char c : text.substr(i, 2)) {
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    bytes += static_cast<char>(value);
  }
  return true;
}

// A time member, null read as 0 where `nullable`.
std::int64_t ReadTime(const Json& object, const char* name, bool nullable = false) {
  const Json& value = object.at(name);
  std::int64_t seconds = 0;
  if (nullable && value.is_null()) return 0;
  if (!value.is_string() || !ParseRfc3339(value.get<std::string>(), seconds))
    throw std::invalid_argument(std::string("\"") + name + "\" is not a time");
  return seconds;
}

std::int64_t ReadPositive(const Json& object, const char* name, bool nullable = false) {
  const Json& value = object.at(name);
  if (nullable && value.is_null()) return 0;
  const std::int64_t number = value.get<std::int64_t>();
  if (number < 1) throw std::invalid_argument(std::string("\"") + name + "\" is not positive");
  return number;
}

}  // namespace

std::string LicenceJson(const LicenceRow& licence, Seats used, const std::string& key,
                        const std::vector<SeatRow>* seats, std::int64_t now) {
  std::string json = "{\"schema\":2,\"licence\":" + Number(licence.id);
  if (!key.empty()) json += ",\"key\":" + JsonQuoted(key);
  json += Terms(licence) + ",\"seats\":" + SeatsJson(used) + Periods(licence);
  if (seats != nullptr) {
    json += ",\"machines\":[";
    for (std::size_t i = 0; i < seats->size(); ++i) {
      const SeatRow& seat = (*seats)[i];
      json +=
          std::string(i == 0 ? "" : ",") + "{\"machine\":" + Number(seat.machine) +
          ",\"activated\":" + Time(seat.activated) + ",\"checkedIn\":" + Time(seat.checkedIn) +
          ",\"leaseEnds\":" + (licence.lease != 0 ? Time(seat.checkedIn + licence.lease) : "null") +
          ",\"held\":" + (SeatHeld(licence, seat, now) ? "true" : "false") + '}';
    }
    json += ']';
  }
  return json + '}';
}

std::string ActivationJson(const Activation& activation, long line) {
  std::string json = "{\"schema\":2";
  if (line > 0) json += ",\"line\":" + std::to_string(line);
  json += ",\"activated\":" + std::string(activation.activated ? "true" : "false");
  if (!activation.activated) {
    return json + ",\"reason\":\"" + activation.reason +
           "\",\"message\":" + JsonQuoted(activation.message) + '}';
  }
  return json + ",\"licence\":" + Number(activation.licence) +
         ",\"machine\":" + Number(activation.machine) +
         ",\"newSeat\":" + (activation.newSeat ? "true" : "false") +
         ",\"seats\":" + SeatsJson(activation.seats) +
         ",\"issued\":" + Time(activation.fields.issued) +
         ",\"expires\":" + Time(activation.fields.expires) +
         ",\"checkIn\":" + Time(activation.fields.checkIn) +
         ",\"licenceFile\":" + JsonQuoted(activation.file) + '}';
}

std::string DeactivationJson(const Deactivation& deactivation) {
  std::string json =
      "{\"schema\":2,\"deactivated\":" + std::string(deactivation.deactivated ? "true" : "false");
  if (!deactivation.deactivated) {
    return json + ",\"reason\":\"" + deactivation.reason +
           "\",\"message\":" + JsonQuoted(deactivation.message) + '}';
  }
  return json + ",\"licence\":" + Number(deactivation.licence) +
         ",\"machine\":" + Number(deactivation.machine) +
         ",\"seats\":" + SeatsJson(deactivation.seats) + '}';
}

std::string DefaultsExportJson(const std::string& application) {
  return "{\"schema\":2,\"defaults\":{\"application\":" + JsonQuoted(application) + "}}";
}

std::string LicenceExportJson(const LicenceRow& licence) {
  return "{\"schema\":2,\"licence\":{\"id\":" + Number(licence.id) + ",\"keyHash\":\"" +
         Hex(licence.keyHash) + '"' + Terms(licence) + ",\"seats\":" + Number(licence.seats) +
         Periods(licence) + "}}";
}

std::string SeatExportJson(const SeatRow& seat) {
  return "{\"schema\":2,\"seat\":{\"licence\":" + Number(seat.licence) +
         ",\"machine\":" + Number(seat.machine) + ",\"activated\":" + Time(seat.activated) +
         ",\"checkedIn\":" + Time(seat.checkedIn) + "}}";
}

std::string AuditExportJson(const AuditRow& row) {
  return "{\"schema\":2,\"audit\":{\"time\":" + Time(row.time) +
         ",\"event\":" + JsonQuoted(row.event) + ",\"licence\":" + Number(row.licence) +
         ",\"machine\":" + Number(row.machine) + "}}";
}

ExportLine ReadLicenceExportJson(const std::string& line, LicenceImport& batch,
                                 std::string& problem) {
  if (line.rfind("{\"schema\":1,", 0) == 0) return ExportLine::kMachine;
  const Json in = Json::parse(line, nullptr, false);
  if (!in.is_object() || !in.contains("schema")) {
    problem = "not a line of an export";
    return ExportLine::kBad;
  }
  try {
    if (in.at("schema") == 1) return ExportLine::kMachine;
    if (in.at("schema") != 2 || in.size() != 2)
      throw std::invalid_argument("not a line of an export");
    if (in.contains("defaults")) {
      batch.application = in.at("defaults").at("application").get<std::string>();
    } else if (in.contains("licence")) {
      const Json& l = in.at("licence");
      LicenceRow row;
      row.id = ReadPositive(l, "id");
      if (!Unhex(l.at("keyHash").get<std::string>(), row.keyHash))
        throw std::invalid_argument("\"keyHash\" is not 64 hex digits");
      row.application = l.at("application").get<std::string>();
      row.name = l.at("name").get<std::string>();
      row.features = l.at("features").get<std::vector<std::string>>();
      row.seats = ReadPositive(l, "seats");
      row.expires = ReadTime(l, "expires", true);
      row.ttl = ReadPositive(l, "ttl");
      row.lease = ReadPositive(l, "lease", true);
      row.created = ReadTime(l, "created");
      row.revoked = ReadTime(l, "revoked", true);
      batch.licences.push_back(std::move(row));
    } else if (in.contains("seat")) {
      const Json& s = in.at("seat");
      batch.seats.push_back({ReadPositive(s, "licence"), ReadPositive(s, "machine"),
                             ReadTime(s, "activated"), ReadTime(s, "checkedIn")});
    } else if (in.contains("audit")) {
      const Json& a = in.at("audit");
      batch.audit.push_back({ReadTime(a, "time"), a.at("event").get<std::string>(),
                             ReadPositive(a, "licence"), a.at("machine").get<std::int64_t>()});
    } else {
      throw std::invalid_argument("not a line of an export");
    }
    return ExportLine::kLicencePart;
  } catch (const Json::exception&) {
    problem = "a member is missing or of the wrong type";
  } catch (const std::invalid_argument& e) {
    problem = e.what();
  }
  return ExportLine::kBad;
}

}  // namespace vrel::registry
