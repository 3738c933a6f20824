// enroll, identify and activate over many tokens: the operands, or standard input one
// token a line in groups. A group ends when no further line is waiting (so a
// client sending one line at a time gets each answer at once) or at
// kGroupSize tokens; its lines are checked and parsed before any transaction
// starts, so no lock is held while waiting for input or parsing, and a retry
// parses nothing again. A writing group is committed in transactions of the
// storage's write group; results are printed only once committed.
#pragma once

#include <functional>

#include "vrel/registry/tool/commands.h"

namespace vrel::registry {

constexpr std::size_t kGroupSize = 4096;

// One token's result line, and whether the token was refused (activate's).
struct TokenResult {
  std::string json;
  bool refused = false;
};
// What runs for each token, inside the transaction (so perhaps more than once).
using TokenWork = std::function<TokenResult(const Fingerprint& token, long line, std::int64_t now)>;

struct TokenRun {
  bool allTokens = true;  // every line was a token
  bool anyRefused = false;
};

TokenRun RunTokens(const ToolOptions& options, Registry& registry, bool write,
                   const TokenWork& each);
// enroll (`enroll`) or identify: whether every line was a token.
bool RunTokens(const ToolOptions& options, Registry& registry, bool enroll);

}  // namespace vrel::registry
