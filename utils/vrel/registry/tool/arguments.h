// vrel-registry's command line:
//   vrel-registry [--db URI] [--shared-at K] [--history N] COMMAND [OPERAND...]
// options as "--name value" or "--name=value", before the command ("--" ends
// them); --help (-h) and --version anywhere before the command, or --help
// (-h) right after it for that command's.
#pragma once

#include "vrel/registry/tool/commands.h"

namespace vrel::registry {

struct CommandLine {
  const Command* command = nullptr;  // null: `text` answers the line (help, version)
  ToolOptions options;
  std::string text;
};

// Throws UsageError for anything else.
CommandLine ParseCommandLine(int argc, char** argv);

}  // namespace vrel::registry
