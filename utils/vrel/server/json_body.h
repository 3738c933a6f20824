// Request bodies: the JSON objects the routes take, read into the registry's
// own types. Each returns false with `error` set (answered 400) for text that
// is not a JSON object, a member missing or of the wrong type, or a token that
// does not parse.
#pragma once

#include <string>

#include "vrel/fingerprint/token.h"
#include "vrel/registry/licences/licensing.h"

namespace vrel::server {

// {"key":KEY,"token":TOKEN}; other members are ignored, for later clients.
bool ReadKeyAndToken(const std::string& body, std::string& key, Fingerprint& token,
                     std::string& error);
// {"token":TOKEN}
bool ReadToken(const std::string& body, Fingerprint& token, std::string& error);
// {"seats":N,"ttl":S,"lease":S,"expires":"RFC 3339","name":TEXT,"features":[TEXT...],
// "application":TEXT}: seats needed, any other member refused (a misspelt term
// must not make a licence of other terms).
bool ReadLicenceTerms(const std::string& body, registry::LicenceTerms& terms, std::string& error);

// {"error":MESSAGE}
std::string ErrorJson(const std::string& message);

}  // namespace vrel::server
