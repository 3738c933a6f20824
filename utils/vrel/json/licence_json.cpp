// Assembled field by field like the other writers (fingerprint_json.cpp),
// with the JSON library only quoting strings.
#include "vrel/json/licence_json.h"

#include <nlohmann/json.hpp>

#include "vrel/json/fingerprint_json.h"
#include "vrel/licence/utc_time.h"

namespace vrel {
namespace {

// `text` as a JSON string; bytes that are not UTF-8 become U+FFFD.
std::string Quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The "licence" member's object, in the file's order.
std::string FieldsObject(const LicenceFields& f) {
  std::string features;
  for (const std::string& name : f.features)
    features += (features.empty() ? "" : ",") + Quoted(name);
  return "{\"format\":" + std::to_string(f.format) + ",\"keyId\":" + Quoted(f.keyId) +
         ",\"application\":" + Quoted(f.application) + ",\"licenceId\":" + Quoted(f.licenceId) +
         ",\"licensee\":" + Quoted(f.licensee) + ",\"features\":[" + features +
         "],\"machineId\":" + Quoted(f.machineId) + ",\"token\":" + Quoted(f.token) +
         ",\"issued\":\"" + FormatUtcTime(f.issued) + "\",\"expires\":\"" +
         FormatUtcTime(f.expires) + "\",\"checkIn\":\"" + FormatUtcTime(f.checkIn) + "\"}";
}

}  // namespace

std::string LicenceJson(const LicenceCheck& check) {
  const LicenceVerdict v = check.verdict;
  const bool read = v != LicenceVerdict::kTooLarge && v != LicenceVerdict::kNotText &&
                    v != LicenceVerdict::kMalformed && v != LicenceVerdict::kUnsupportedFormat;
  const std::string json = "{\"schema\":" + std::to_string(kJsonSchema) +
                           ",\"valid\":" + (v == LicenceVerdict::kValid ? "true" : "false") +
                           ",\"reason\":\"" + LicenceVerdictName(v) +
                           "\",\"text\":" + Quoted(LicenceVerdictText(v)) +
                           ",\"detail\":" + Quoted(check.detail) + ",\"licence\":";
  if (!read) return json + "null}";
  return json + FieldsObject(check.fields) + '}';
}

}  // namespace vrel
