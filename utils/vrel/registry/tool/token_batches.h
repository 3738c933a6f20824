// enroll and identify over many tokens: the operands, or standard input one
// token a line in groups. A group ends when no further line is waiting (so a
// client sending one line at a time gets each answer at once) or at
// kGroupSize tokens; its lines are checked and parsed before any transaction
// starts, so no lock is held while waiting for input or parsing, and a retry
// parses nothing again. A writing group is committed in transactions of the
// storage's write group; results are printed only once committed.
#pragma once

#include "vrel/registry/tool/commands.h"

namespace vrel::registry {

constexpr std::size_t kGroupSize = 4096;

// Returns whether every line was a token.
bool RunTokens(const ToolOptions& options, Registry& registry, bool enroll);

}  // namespace vrel::registry
