#include "vrel/json/licence_json.h"

#include <nlohmann/json.hpp>

#include "vrel/json/fingerprint_json.h"
#include "vrel/licence/utc_time.h"

namespace vrel {

std::string LicenceJson(const LicenceCheck& check) {
  const LicenceFields& f = check.fields;
  const LicenceVerdict v = check.verdict;
  const bool read = v != LicenceVerdict::kTooLarge && v != LicenceVerdict::kNotText &&
                    v != LicenceVerdict::kMalformed && v != LicenceVerdict::kUnsupportedFormat;
  nlohmann::json licence = nullptr;
  if (read) {
    licence = {{"format", f.format},
               {"keyId", f.keyId},
               {"application", f.application},
               {"licenceId", f.licenceId},
               {"licensee", f.licensee},
               {"features", f.features},
               {"machineId", f.machineId},
               {"token", f.token},
               {"issued", FormatUtcTime(f.issued)},
               {"expires", FormatUtcTime(f.expires)},
               {"checkIn", FormatUtcTime(f.checkIn)}};
  }
  const nlohmann::json object = {
      {"schema", kJsonSchema},           {"valid", v == LicenceVerdict::kValid},
      {"reason", LicenceVerdictName(v)}, {"text", LicenceVerdictText(v)},
      {"detail", check.detail},          {"licence", licence}};
  return object.dump();
}

}  // namespace vrel
