// vrel-registry's commands, one table: each names its operands, how it opens
// the registry and what runs it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "vrel/registry/registry.h"

namespace vrel::registry {

struct ToolOptions {
  std::string uri;
  RegistryOptions registry;
  std::string signingKey;  // --signing-key: activate's
  std::vector<std::string> operands;
  std::int64_t id = 0;  // the machine or licence of show, remove, licence show and revoke
  std::string path;     // keygen's and pubkey's operand
  // The command's own options by name ("--seats"), each value given, in order.
  std::map<std::string, std::vector<std::string>> flags;
};

enum class Operands { kTokens, kId, kNone, kPath };

struct Command {
  const char* name;         // one word, or two: "licence create"
  const char* operandText;  // in the usage: "[TOKEN...]", "ID", "--seats N ..." or ""
  const char* help;
  Operands operands;
  OpenMode mode;
  // The options this command takes after its name, each with a value ("--seats,--name"); or "".
  const char* flags;
  // The exit code: 0 done, 2 a bad line or an unknown machine.
  int (*run)(const ToolOptions& options, Registry& registry);
  // Set instead of `run` by a command that opens no registry (`mode` unused).
  int (*runAlone)(const ToolOptions& options);
};

extern const Command kCommands[];
extern const std::size_t kCommandCount;

}  // namespace vrel::registry
