#include "vrel/json/fingerprint_json.h"

#include <nlohmann/json.hpp>

namespace vrel {
namespace {

using Json = nlohmann::ordered_json;

Json Object() { return Json{{"schema", kJsonSchema}}; }

// One line; bytes that are not UTF-8 (a processor's or hypervisor's text can
// hold any) become U+FFFD instead of failing the whole object.
std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string ComponentsJson(const MachineComponents& machine) {
  Json components = Json::object();
  for (int i = 0; i < kComponentCount; ++i) {
    const ComponentValue& value = machine.components[i];
    Json item{{"available", value.available}};
    if (value.available) {
      item["values"] = value.values;
    } else {
      item["reason"] = value.reason;
    }
    components[ComponentName(static_cast<ComponentId>(i))] = std::move(item);
  }
  Json json = Object();
  json["components"] = std::move(components);
  json["hypervisor"] = {{"present", machine.hypervisorPresent},
                        {"vendor", machine.hypervisorVendor}};
  return Dump(json);
}

std::string TokenJson(const std::string& token) {
  Json json = Object();
  json["token"] = token;
  return Dump(json);
}

std::string MatchJson(const MatchResult& result, const MatchRule& rule) {
  Json components = Json::object();
  for (int i = 0; i < kComponentCount; ++i) {
    components[ComponentName(static_cast<ComponentId>(i))] =
        ComponentMatchName(result.components[i]);
  }
  Json json = Object();
  json["sameMachine"] = result.sameMachine;
  json["strongMatches"] = result.strongMatches;
  json["needed"] = rule.minStrongMatches;
  json["everyComponentDiffers"] = result.everyComponentDiffers;
  json["components"] = std::move(components);
  return Dump(json);
}

}  // namespace vrel
