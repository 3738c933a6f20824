// The tool's verdicts on a fleet, one JSON line per token in enroll order, compared with the
// reference rule's. Prints the agreement, and how many later tokens found a machine and how many
// named the machine that sent them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fleet_generator.h"

namespace vrel::fleet {

// The registry's sharing threshold the fleet's runs use (its default).
constexpr std::size_t kSharedAt = 3;

// True when every line of `lines` agrees; `machines` tokens are first sights.
bool CheckVerdicts(const Fleet& fleet, std::size_t machines, const std::vector<std::string>& lines);

}  // namespace vrel::fleet
