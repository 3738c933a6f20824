// The writers assemble the text field by field and use the JSON library only
// to quote strings. Its documents would be simpler to fill but cannot run out
// of memory safely: destroying a non-empty array or object allocates (a
// failure there, inside a destructor, ends the process), and the braced-list
// constructor leaks the object it began when an allocation fails. A string
// value allocates nothing when destroyed.
#include "vrel/json/fingerprint_json.h"

#include <nlohmann/json.hpp>

namespace vrel {
namespace {

// `text` as a JSON string. Bytes that are not UTF-8 (a processor's or
// hypervisor's text can hold any) become U+FFFD instead of failing the whole
// object.
std::string Quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const char* Bool(bool value) { return value ? "true" : "false"; }

// The opening of every object: {"schema":1
std::string Object() { return "{\"schema\":" + std::to_string(kJsonSchema); }

}  // namespace

std::string ComponentsJson(const MachineComponents& machine) {
  std::string json = Object() + ",\"components\":{";
  for (int i = 0; i < kComponentCount; ++i) {
    const ComponentValue& value = machine.components[i];
    if (i > 0) json += ',';
    json += Quoted(ComponentName(static_cast<ComponentId>(i))) + ":{\"available\":";
    json += Bool(value.available);
    if (value.available) {
      json += ",\"values\":[";
      for (std::size_t j = 0; j < value.values.size(); ++j) {
        json += (j > 0 ? "," : "") + Quoted(value.values[j]);
      }
      json += ']';
    } else {
      json += ",\"reason\":" + Quoted(value.reason);
    }
    json += '}';
  }
  json += "},\"hypervisor\":{\"present\":";
  json += Bool(machine.hypervisorPresent);
  json += ",\"vendor\":" + Quoted(machine.hypervisorVendor) + "}";
  const RunEnvironment& where = machine.environment;
  json += ",\"environment\":{\"container\":" + Quoted(where.container) + ",\"elevated\":";
  json += where.elevated < 0 ? "null" : Bool(where.elevated > 0);
  json += ",\"processBits\":" + std::to_string(where.processBits);
  return json + ",\"wow64\":" + Bool(where.wow64) + "}}";
}

std::string TokenJson(const std::string& token) {
  return Object() + ",\"token\":" + Quoted(token) + '}';
}

std::string MatchJson(const MatchResult& result, const MatchRule& rule) {
  std::string json = Object() + ",\"sameMachine\":" + Bool(result.sameMachine);
  json += ",\"strongMatches\":" + std::to_string(result.strongMatches);
  json += ",\"needed\":" + std::to_string(rule.minStrongMatches);
  json += ",\"everyComponentDiffers\":" + std::string(Bool(result.everyComponentDiffers));
  json += ",\"components\":{";
  for (int i = 0; i < kComponentCount; ++i) {
    if (i > 0) json += ',';
    json += Quoted(ComponentName(static_cast<ComponentId>(i))) + ':' +
            Quoted(ComponentMatchName(result.components[i]));
  }
  return json + "}}";
}

}  // namespace vrel
