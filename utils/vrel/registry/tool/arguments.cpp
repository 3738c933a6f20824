#include "vrel/registry/tool/arguments.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "vrel/registry/tool/output.h"
#include "vrel/version.h"

namespace vrel::registry {
namespace {

long long Number(const std::string& text, long long least, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < least || text[0] == '+' ||
      text[0] == ' ') {
    throw UsageError(what + " must be an integer of at least " + std::to_string(least) +
                     ", not \"" + text + "\"");
  }
  return value;
}

std::string Usage() {
  return "usage: vrel-registry [--db URI] [--shared-at K] [--history N] [--signing-key PATH] "
         "COMMAND [OPTIONS] [OPERANDS]";
}

// Whether `name` ("--seats") is among `flags` ("--seats,--name").
bool Takes(const char* flags, const std::string& name) {
  const std::string list = std::string(",") + flags + ",";
  return list.find("," + name + ",") != std::string::npos;
}

std::string Help() {
  std::string help =
      Usage() +
      "\nIdentifies machines among a fleet's by their fingerprint tokens, stored in SQLite or "
      "PostgreSQL; results are JSON Lines.\n\nCommands:\n";
  for (std::size_t i = 0; i < kCommandCount; ++i) {
    std::string head = std::string("  ") + kCommands[i].name;
    if (*kCommands[i].operandText != '\0') head += std::string(" ") + kCommands[i].operandText;
    help += head + "\n      " + kCommands[i].help + "\n";
  }
  return help +
         "\nOptions:\n"
         "  --db URI          sqlite:PATH or a plain path (SQLite), postgresql://... or\n"
         "                    postgres://... (PostgreSQL); default $VREL_REGISTRY_DB, else\n"
         "                    sqlite:vrel-registry.db\n"
         "  --shared-at K     a digest held by K machines is shared (default 3, at least 2)\n"
         "  --history N       tokens kept per machine (default 16, at least 1)\n"
         "  --signing-key PATH  the licence signing key (keygen's) that activate signs with\n"
         "  --help, -h        print this help (after a command: that command's)\n"
         "  --version         print the version\n"
         "Tokens come from the operands or, without any, one a line from standard input.\n"
         "keygen and pubkey open no registry; the key file must be private to its owner.\n"
         "A licence key may come from $VREL_LICENCE_KEY instead of --licence; times are\n"
         "RFC 3339 in UTC (2027-01-31T00:00:00Z); a licence's check-in period (--ttl) is 30\n"
         "days unless given.\n"
         "Exit codes: 0 done; 1 an activation or deactivation refused; 2 a bad command line, a\n"
         "bad input line, an unknown machine or licence, or a key file that cannot be used\n"
         "(readable by others, missing, not a key, or there when writing); 3 the registry or\n"
         "the output failed.\n";
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  ToolOptions& options = line.options;
  const char* env = std::getenv("VREL_REGISTRY_DB");
  options.uri = env != nullptr && *env != '\0' ? env : "sqlite:vrel-registry.db";
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (IsHelp(arg) || arg == "--version") {
      line.text = IsHelp(arg) ? Help() : "vrel-registry " VREL_VERSION "\n";
      return line;
    }
    if (arg.rfind("--", 0) != 0 || arg == "--") {
      if (arg == "--") ++i;
      break;
    }
    std::string value;
    const std::size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
    } else if (arg == "--db" || arg == "--shared-at" || arg == "--history" ||
               arg == "--signing-key") {
      if (i + 1 == argc) throw UsageError(arg + " needs a value");
      value = argv[++i];
    }
    if (arg == "--db") {
      if (value.empty()) throw UsageError("--db needs a URI");
      options.uri = value;
    } else if (arg == "--shared-at") {
      options.registry.sharedAt = static_cast<std::size_t>(Number(value, 2, "--shared-at"));
    } else if (arg == "--history") {
      options.registry.history = static_cast<std::size_t>(Number(value, 1, "--history"));
    } else if (arg == "--signing-key") {
      if (value.empty()) throw UsageError("--signing-key needs a path");
      options.signingKey = value;
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  if (i == argc) throw UsageError("no command given; " + Usage());
  std::string name = argv[i++];
  if (name == "licence") {
    if (i == argc) throw UsageError("licence needs a command: create, show, list or revoke");
    name += std::string(" ") + argv[i++];
  }
  for (std::size_t c = 0; c < kCommandCount; ++c) {
    if (name == kCommands[c].name) line.command = &kCommands[c];
  }
  if (line.command == nullptr) throw UsageError("unknown command " + name);
  const Command& command = *line.command;
  // The command's own options, up to its operands.
  for (; i < argc && *command.flags != '\0'; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.rfind("--", 0) != 0 || IsHelp(arg)) break;
    std::string value;
    const std::size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
    } else if (Takes(command.flags, arg)) {
      if (i + 1 == argc) throw UsageError(arg + " needs a value");
      value = argv[++i];
    }
    if (!Takes(command.flags, arg)) throw UsageError(name + " has no option " + arg);
    options.flags[arg].push_back(value);
  }
  options.operands.assign(argv + i, argv + argc);
  if (options.operands.size() == 1 && IsHelp(options.operands[0])) {
    line.command = nullptr;
    line.text = std::string("usage: vrel-registry [OPTIONS] ") + command.name + " " +
                command.operandText + "\n" + command.help +
                "\nRun \"vrel-registry --help\" for the options.\n";
    return line;
  }
  if (command.operands == Operands::kId) {
    const char* what = name.rfind("licence", 0) == 0 ? "licence id" : "machine id";
    if (options.operands.size() != 1) throw UsageError(name + " takes one " + what);
    options.id = Number(options.operands[0], 1, std::string("a ") + what);
  }
  if (command.operands == Operands::kPath) {
    if (options.operands.size() != 1 || options.operands[0].empty())
      throw UsageError(name + " takes one path");
    options.path = options.operands[0];
  }
  if (command.operands == Operands::kNone && !options.operands.empty())
    throw UsageError(name + " takes no operand");
  return line;
}

}  // namespace vrel::registry
