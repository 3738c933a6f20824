#include "vrel/server/json_body.h"

#include <nlohmann/json.hpp>

#include "vrel/registry/report.h"

namespace vrel::server {
namespace {

using nlohmann::json;

bool Object(const std::string& body, json& value, std::string& error) {
  value = json::parse(body, nullptr, false);
  if (value.is_discarded() || !value.is_object()) {
    error = "the body is not a JSON object";
    return false;
  }
  return true;
}

bool String(const json& object, const char* name, std::string& out, std::string& error) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) {
    error = std::string("\"") + name + "\" must be a string";
    return false;
  }
  out = found->get<std::string>();
  return true;
}

bool Token(const json& object, Fingerprint& token, std::string& error) {
  std::string text;
  if (!String(object, "token", text, error)) return false;
  ParsedToken parsed = ParseToken(text);
  if (!parsed.ok) {
    error = "the token: " + parsed.error;
    return false;
  }
  token = std::move(parsed.fingerprint);
  return true;
}

// A whole number of at least 1 (seats and seconds).
bool Count(const json& value, const std::string& name, std::int64_t& out, std::string& error) {
  if (!value.is_number_integer() || value.get<std::int64_t>() < 1) {
    error = "\"" + name + "\" must be a whole number of at least 1";
    return false;
  }
  out = value.get<std::int64_t>();
  return true;
}

}  // namespace

std::string ErrorJson(const std::string& message) {
  return "{\"error\":" + registry::JsonQuoted(message) + '}';
}

bool ReadKeyAndToken(const std::string& body, std::string& key, Fingerprint& token,
                     std::string& error) {
  json object;
  return Object(body, object, error) && String(object, "key", key, error) &&
         Token(object, token, error);
}

bool ReadToken(const std::string& body, Fingerprint& token, std::string& error) {
  json object;
  return Object(body, object, error) && Token(object, token, error);
}

bool ReadLicenceTerms(const std::string& body, registry::LicenceTerms& terms, std::string& error) {
  json object;
  if (!Object(body, object, error)) return false;
  if (!object.contains("seats")) {
    error = "\"seats\" is needed";
    return false;
  }
  for (const auto& [name, value] : object.items()) {
    bool ok = true;
    if (name == "seats") {
      ok = Count(value, name, terms.seats, error);
    } else if (name == "ttl") {
      ok = Count(value, name, terms.ttl, error);
    } else if (name == "lease") {
      ok = Count(value, name, terms.lease, error);
    } else if (name == "expires") {
      ok = value.is_string() && registry::ParseRfc3339(value.get<std::string>(), terms.expires) &&
           terms.expires > 0;
      if (!ok) error = "\"expires\" takes a time as \"2027-01-31T00:00:00Z\"";
    } else if (name == "name" || name == "application") {
      ok = String(object, name.c_str(), name == "name" ? terms.name : terms.application, error);
    } else if (name == "features") {
      ok = value.is_array();
      for (const json& feature : value) {
        ok = ok && feature.is_string();
        if (ok) terms.features.push_back(feature.get<std::string>());
      }
      if (!ok) error = "\"features\" must be an array of strings";
    } else {
      error = "unknown member \"" + name + "\"";
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace vrel::server
