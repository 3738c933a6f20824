// A licence verification as JSON, for vreltest's --json and the C interface:
// {"schema":1,"valid":false,"reason":"expired","text":"the licence has expired","detail":"",
//  "licence":{"format":1,"keyId":"...","application":"...","licenceId":"...","licensee":"...",
//  "features":["export"],"machineId":"42","token":"vfp1-...","issued":"2025-01-01T00:00:00Z",
//  "expires":"...","checkIn":"..."}}
// "licence" is null when the file could not be read as one (too large, not text, malformed,
// a newer format); its fields are to be trusted only when "valid" is true.
#pragma once

#include <string>

#include "vrel/licence/licence.h"

namespace vrel {

std::string LicenceJson(const LicenceCheck& check);

}  // namespace vrel
