#include "vrel/vreltest/tool.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "vrel/fingerprint/fingerprint.h"
#include "vrel/json/fingerprint_json.h"
#include "vrel/json/licence_json.h"
#include "vrel/licence/licence.h"
#include "vrel/platform/com_api.h"
#include "vrel/version.h"
#include "vrel/vreltest/key_source.h"
#include "vrel/vreltest/report.h"

namespace vrel {
namespace {

constexpr int kExitBadInput = 2;

// The two streams of one run (standard output and error in the tool).
struct Streams {
  std::ostream& out;
  std::ostream& err;
};

// Writes `text` to out and flushes it. When any of it was lost (disk full,
// descriptor closed) says so on err and returns 1: a caller storing the
// output must never take a lost one for success.
int Emit(const Streams& io, const std::string& text, int code) {
  errno = 0;
  io.out.write(text.data(), static_cast<std::streamsize>(text.size()));
  io.out.flush();
  if (io.out) return code;
  // The last call that failed (the write or the flush) set errno, if the
  // stream writes to the system at all.
  const int error = errno;
  io.err << "vreltest: cannot write the report: "
         << (error != 0 ? std::strerror(error) : "write error") << '\n';
  return 1;
}

// One line saying what is wrong, then where the usage is: the subcommand's own
// help when the trouble is inside one (an empty name: the top level's).
int BadInput(const Streams& io, const std::string& message, const std::string& command = "") {
  io.err << "vreltest: " << message << "\nRun \"vreltest " << command
         << (command.empty() ? "" : " ") << "--help\" for the usage.\n";
  return kExitBadInput;
}

// The report, built whole before any of it is written.
int RunReport(const Streams& io) {
  std::ostringstream report;
  report.exceptions(std::ios::badbit);  // out of memory: throw, never print half a report
  PrintReport(report);
  return Emit(io, report.str(), 0);
}

// What the subcommands' options and arguments are parsed into.
struct Options {
  KeyOptions key;
  bool keyGiven = false;  // compare: a key option, which it does not take
  std::string stored;
  std::string current;
  MatchRule rule;
  bool json = false;
  std::string licenceFile, publicKeyFile, statePath;  // licence
  std::optional<std::string> application;
};

// One subcommand: declares its options on the parser, then runs once the
// command line parsed.
struct Command {
  const char* name;
  const char* help;
  const char* exitCodes;  // the footer of the subcommand's --help
  void (*declare)(CLI::App& command, Options& options);
  int (*run)(const Options& options, const Streams& io);
};

void DeclareJson(CLI::App& command, Options& options) {
  command.add_flag("--json", options.json, "Print one JSON object on one line.");
}

void DeclareKey(CLI::App& command, Options& options) {
  command
      .add_option("--key-file", options.key.keyFile,
                  "Read the application's secret key from PATH (\"-\": standard input).")
      ->option_text("PATH");
  command
      .add_option("--key", options.key.key,
                  "The key itself (seen by every user in the process list; prefer --key-file "
                  "or the environment variable VREL_FINGERPRINT_KEY, read when neither option "
                  "is given).")
      ->option_text("KEY");
}

void DeclareRule(CLI::App& command, Options& options) {
  command
      .add_option("--min-matches", options.rule.minStrongMatches,
                  "Strong components that must match (default 2).")
      ->check(CLI::Range(0, kStrongComponentCount))
      ->option_text("N");
}

void DeclareFingerprint(CLI::App& command, Options& options) {
  DeclareKey(command, options);
  DeclareJson(command, options);
}

int RunFingerprint(const Options& options, const Streams& io) {
  std::string key, problem;
  if (!ResolveKey(options.key, key, problem)) return BadInput(io, problem, "fingerprint");
  const std::string token = MakeToken(CollectComponents(), key);
  return Emit(io, (options.json ? TokenJson(token) : token) + '\n', 0);
}

// The verdict, component by component, as match and compare print it.
int EmitMatch(const Options& options, const Streams& io, const MatchResult& result) {
  const int code = result.sameMachine ? 0 : 1;
  if (options.json) return Emit(io, MatchJson(result, options.rule) + '\n', code);
  std::string text;
  for (int i = 0; i < kComponentCount; ++i) {
    text += ComponentName(static_cast<ComponentId>(i));
    text += ": ";
    text += ComponentMatchName(result.components[i]);
    if (!IsStrongComponent(static_cast<ComponentId>(i))) text += " (not counted)";
    text += '\n';
  }
  text += result.sameMachine ? "result: same machine" : "result: different machine";
  text += " (" + std::to_string(result.strongMatches) + " of " +
          std::to_string(kStrongComponentCount) + " strong components match, " +
          std::to_string(options.rule.minStrongMatches) + " needed)\n";
  if (result.everyComponentDiffers) {
    text +=
        "note: every component differs, cpu included: a token made under another key "
        "looks like this\n";
  }
  return Emit(io, text, code);
}

void DeclareMatch(CLI::App& command, Options& options) {
  DeclareKey(command, options);
  DeclareRule(command, options);
  DeclareJson(command, options);
  command.add_option("token", options.stored, "A token printed by \"vreltest fingerprint\".")
      ->required();
}

int RunMatch(const Options& options, const Streams& io) {
  std::string key, problem;
  if (!ResolveKey(options.key, key, problem)) return BadInput(io, problem, "match");
  const ParsedToken stored = ParseToken(options.stored);
  if (!stored.ok) return BadInput(io, "bad token: " + stored.error, "match");
  return EmitMatch(options, io,
                   MatchToken(stored.fingerprint, CollectComponents(), key, options.rule));
}

void DeclareCompare(CLI::App& command, Options& options) {
  // Accepted only to answer that compare needs no key (rather than "arguments
  // not expected"); left out of the help.
  const auto noKey = [&options](const std::string&) { options.keyGiven = true; };
  command.add_option_function<std::string>("--key", noKey)->group("");
  command.add_option_function<std::string>("--key-file", noKey)->group("");
  DeclareRule(command, options);
  DeclareJson(command, options);
  command.add_option("stored", options.stored, "The token stored at activation.")->required();
  command.add_option("current", options.current, "A token made now, under the same key.")
      ->required();
}

int RunCompare(const Options& options, const Streams& io) {
  if (options.keyGiven) {
    return BadInput(io,
                    "compare takes no key: it compares two tokens, both made under the "
                    "application's key (use match to check a token against this machine)",
                    "compare");
  }
  const TokenComparison comparison = CompareTokens(options.stored, options.current, options.rule);
  if (!comparison.ok) return BadInput(io, "bad " + comparison.error, "compare");
  return EmitMatch(options, io, comparison.result);
}

int RunComponents(const Options& options, const Streams& io) {
  const MachineComponents machine = CollectComponents();
  if (options.json) return Emit(io, ComponentsJson(machine) + '\n', 0);
  std::string text;
  for (int i = 0; i < kComponentCount; ++i) {
    const ComponentValue& value = machine.components[i];
    text += ComponentName(static_cast<ComponentId>(i));
    text += ':';
    if (!value.available) {
      text += " unavailable";
      if (!value.reason.empty()) text += " (" + value.reason + ")";
    } else {
      for (const std::string& item : value.values) text += ' ' + item;
    }
    text += '\n';
  }
  text += "hypervisor:";
  text += machine.hypervisorPresent ? " present" : " absent";
  if (!machine.hypervisorVendor.empty()) text += " (" + machine.hypervisorVendor + ")";
  // Where it runs: never part of the token.
  const RunEnvironment& where = machine.environment;
#ifdef _WIN32
  const std::string fullRights = "administrator";
#else
  const std::string fullRights = "root";
#endif
  text += "\ncontainer: " + where.container + "\nrights: ";
  text += where.elevated < 0 ? "unknown" : where.elevated > 0 ? fullRights : "not " + fullRights;
  text += "\nprocess: " + std::to_string(where.processBits) + "-bit";
  if (where.wow64) text += " under WoW64";
  return Emit(io, text + '\n', 0);
}

void DeclareLicence(CLI::App& command, Options& options) {
  command.add_option("file", options.licenceFile, "The licence file.")->required();
  command
      .add_option("--public-key-file", options.publicKeyFile,
                  "The trusted public key texts, one a line (vrel-registry pubkey prints one).")
      ->option_text("PATH")
      ->required();
  DeclareKey(command, options);
  command
      .add_option("--state", options.statePath,
                  "The state file that keeps the latest time seen (made when missing).")
      ->option_text("PATH");
  command
      .add_option("--application", options.application,
                  "The application the licence must be for (default: the licence's own).")
      ->option_text("NAME");
  DeclareJson(command, options);
}

// At most `limit` bytes of the file into `text`; false when it cannot be read.
bool ReadFilePrefix(const std::string& path, std::size_t limit, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(limit, '\0');
  in.read(&text[0], static_cast<std::streamsize>(limit));
  if (in.bad()) return false;
  text.resize(static_cast<std::size_t>(in.gcount()));
  return true;
}

int RunLicence(const Options& options, const Streams& io) {
  std::string key, problem, file, keyText;
  if (!ResolveKey(options.key, key, problem)) return BadInput(io, problem, "licence");
  // One byte over the bound, so that a larger file reads as too large.
  if (!ReadFilePrefix(options.licenceFile, kMaxLicenceFileSize + 1, file)) {
    return BadInput(io, "cannot read the licence file " + options.licenceFile, "licence");
  }
  std::vector<std::string> keys;
  if (!ReadFilePrefix(options.publicKeyFile, 64 * 1024, keyText)) {
    return BadInput(io, "cannot read the public key file " + options.publicKeyFile, "licence");
  }
  std::istringstream lines(keyText);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (!line.empty()) keys.push_back(line);
  }
  LicenceOptions licenceOptions;
  licenceOptions.statePath = options.statePath;
  licenceOptions.rule = options.rule;
  std::string application;
  if (options.application) {
    application = *options.application;
  } else {
    application = ReadLicenceFile(file).fields.application;
  }
  const LicenceCheck check = VerifyLicence(file, keys, key, application, licenceOptions);
  const LicenceVerdict v = check.verdict;
  const bool unreadable = v == LicenceVerdict::kTooLarge || v == LicenceVerdict::kNotText ||
                          v == LicenceVerdict::kMalformed ||
                          v == LicenceVerdict::kUnsupportedFormat ||
                          v == LicenceVerdict::kBadPublicKey;
  const int code = v == LicenceVerdict::kValid ? 0 : unreadable ? kExitBadInput : 1;
  if (options.json) return Emit(io, LicenceJson(check) + '\n', code);
  const LicenceFields& f = check.fields;
  std::string text;
  if (v == LicenceVerdict::kValid) {
    text = "valid: licence " + f.licenceId + " for " + f.licensee;
  } else {
    text = std::string("not valid: ") + LicenceVerdictName(v) + ": " + LicenceVerdictText(v);
  }
  if (!check.detail.empty()) text += " (" + check.detail + ")";
  return Emit(io, text + '\n', code);
}

constexpr char kPrintExits[] =
    "Exit codes: 0 printed; 1 the output could not be written whole (one line on standard "
    "error says why); 2 bad input: an unknown option, no key or an empty one, a key file that "
    "cannot be read.";
#define VREL_VERDICT_EXITS                                                                     \
  "Exit codes: 0 the same machine; 1 a different machine, or the output could not be written " \
  "whole; 2 bad input: a malformed token or one of another version, an unknown option"
constexpr char kMatchExits[] = VREL_VERDICT_EXITS ", no key or an empty one.";
constexpr char kCompareExits[] = VREL_VERDICT_EXITS ", a key option.";
#undef VREL_VERDICT_EXITS

// The subcommands, in the order --help lists them.
const Command kCommands[] = {
    {"fingerprint", "Print this machine's fingerprint token under the key.", kPrintExits,
     DeclareFingerprint, RunFingerprint},
    {"match", "Compare TOKEN with this machine's components under the key.", kMatchExits,
     DeclareMatch, RunMatch},
    {"compare",
     "Compare two tokens made under one key, without a key and without reading this machine.",
     kCompareExits, DeclareCompare, RunCompare},
    {"components", "Print the raw component values (personal data: for the machine's owner).",
     "Exit codes: 0 printed; 1 the output could not be written whole; 2 an unknown option.",
     DeclareJson, RunComponents},
    {"licence",
     "Check a licence file for this machine: its signature by a trusted key, this machine, the "
     "clock.",
     "Exit codes: 0 valid on this machine; 1 not valid (the reason on one line), or the output "
     "could not be written whole; 2 bad input: a file or key that cannot be read as one, no "
     "key, an unknown option.",
     DeclareLicence, RunLicence},
};

int RunCommandLine(int argc, const char* const argv[], const Streams& io) {
  if (argc <= 1) return RunReport(io);

  CLI::App app("Prints this machine's identifiers (no arguments), or its keyed fingerprint.",
               "vreltest");
  app.set_version_flag("--version", "vreltest " VREL_VERSION);
  app.require_subcommand(0, 1);
  app.footer(
      "The key of fingerprint and match: --key-file PATH, --key KEY, or else the environment "
      "variable VREL_FINGERPRINT_KEY.\nExit codes: 0 done (match, compare: the same machine); 1 a "
      "different machine, or output that could not be written whole; 2 bad input.\nRun "
      "\"vreltest COMMAND --help\" for a command's options.");
  Options options;
  const CLI::App* parsers[std::size(kCommands)];
  for (std::size_t i = 0; i < std::size(kCommands); ++i) {
    CLI::App* parser = app.add_subcommand(kCommands[i].name, kCommands[i].help);
    kCommands[i].declare(*parser, options);
    parser->footer(kCommands[i].exitCodes);
    parsers[i] = parser;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& request) {  // --help, --version
    std::ostringstream out, err;
    out.exceptions(std::ios::badbit);
    const int code = app.exit(request, out, err);
    // compare's hidden key options leave an empty group behind: one blank line is enough.
    std::string text = out.str();
    for (std::size_t at; (at = text.find("\n\n\n")) != std::string::npos;) text.erase(at, 1);
    return Emit(io, text, code);
  } catch (const CLI::ParseError& error) {
    // The subcommand the parser had entered, whose help answers the question.
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
      if (*parsers[i]) return BadInput(io, error.what(), kCommands[i].name);
    }
    return BadInput(io, error.what());
  }

  for (std::size_t i = 0; i < std::size(kCommands); ++i) {
    if (*parsers[i]) return kCommands[i].run(options, io);
  }
  // Arguments that name no command ("--" alone).
  return BadInput(io, "no subcommand given");
}

}  // namespace

int RunVreltest(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  try {
    return RunCommandLine(argc, argv, Streams{out, err});
  } catch (const std::exception& error) {
    // Out of memory inside the library: say so rather than die silently.
    err << "vreltest: " << error.what() << '\n';
    return 1;
  } catch (const _com_error& error) {
    // A BSTR that could not be allocated. Formatted here so that err keeps
    // its own number base.
    char code[9];
    std::snprintf(code, sizeof code, "%lx",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(error.Error())));
    err << "vreltest: COM error 0x" << code << '\n';
    return 1;
  }
}

}  // namespace vrel
