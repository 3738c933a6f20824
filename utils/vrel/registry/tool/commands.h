// vrel-registry's commands, one table: each names its operands, how it opens
// the registry and what runs it.
#pragma once

#include <string>
#include <vector>

#include "vrel/registry/registry.h"

namespace vrel::registry {

struct ToolOptions {
  std::string uri;
  RegistryOptions registry;
  std::vector<std::string> operands;
  MachineId machine = 0;  // show's and remove's operand
  std::string path;       // keygen's and pubkey's operand
};

enum class Operands { kTokens, kMachineId, kNone, kPath };

struct Command {
  const char* name;
  const char* operandText;  // in the usage: "[TOKEN...]", "ID" or ""
  const char* help;
  Operands operands;
  OpenMode mode;
  // The exit code: 0 done, 2 a bad line or an unknown machine.
  int (*run)(const ToolOptions& options, Registry& registry);
  // Set instead of `run` by a command that opens no registry (`mode` unused).
  int (*runAlone)(const ToolOptions& options);
};

extern const Command kCommands[];
extern const std::size_t kCommandCount;

}  // namespace vrel::registry
