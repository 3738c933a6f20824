// The fingerprint's results as JSON: one object on one line, with a "schema"
// version that grows only when a field changes meaning or goes away. Shared by
// vreltest's --json output and the C interface; the JSON library stays inside
// the .cpp file.
#pragma once

#include <string>

#include "vrel/fingerprint/fingerprint.h"

namespace vrel {

constexpr int kJsonSchema = 1;

// {"schema":1,"components":{"cpu":{"available":true,"values":[...]},
//  "board":{"available":false,"reason":"needs root"},...},
//  "hypervisor":{"present":true,"vendor":"..."},
//  "environment":{"container":"none","elevated":false,"processBits":64,"wow64":false}}
// ("elevated" is null when the system would not tell).
std::string ComponentsJson(const MachineComponents& machine);

// {"schema":1,"token":"vfp1-..."}
std::string TokenJson(const std::string& token);

// {"schema":1,"sameMachine":true,"strongMatches":3,"needed":2,
//  "everyComponentDiffers":false,"components":{"cpu":"match",...}}
std::string MatchJson(const MatchResult& result, const MatchRule& rule);

}  // namespace vrel
