#include "vrel/vreltest/tool.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "vrel/fingerprint/fingerprint.h"
#include "vrel/vreltest/report.h"

namespace vrel {
namespace {

constexpr int kExitBadInput = 2;

// Writes `text` to standard output and flushes it. When any of it was lost
// (disk full, descriptor closed) says so on standard error and returns 1:
// a caller storing the output must never take a lost one for success.
int Emit(const std::string& text, int code) {
  errno = 0;
  std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
  std::cout.flush();
  if (std::cout) return code;
  // The last call that failed (the write or the flush) set errno.
  const int error = errno;
  std::cerr << "vreltest: cannot write the report: "
            << (error != 0 ? std::strerror(error) : "write error") << '\n';
  return 1;
}

int BadInput(const std::string& message) {
  std::cerr << "vreltest: " << message << "\nRun \"vreltest --help\" for the usage.\n";
  return kExitBadInput;
}

std::string ComponentsText(const MachineComponents& machine) {
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
  return text + '\n';
}

std::string MatchText(const MatchResult& result, const MatchRule& rule) {
  std::string text;
  for (int i = 0; i < kComponentCount; ++i) {
    text += ComponentName(static_cast<ComponentId>(i));
    text += ": ";
    text += ComponentMatchName(result.components[i]);
    if (i == static_cast<int>(ComponentId::Cpu)) text += " (not counted)";
    text += '\n';
  }
  text += result.sameMachine ? "result: same machine" : "result: different machine";
  text += " (" + std::to_string(result.strongMatches) + " of 4 strong components match, " +
          std::to_string(rule.minStrongMatches) + " needed)\n";
  return text;
}

}  // namespace

int RunTool(int argc, const char* const argv[]) {
  if (argc <= 1) {
    std::ostringstream report;
    report.exceptions(std::ios::badbit);  // out of memory: throw, never print half a report
    PrintReport(report);
    return Emit(report.str(), 0);
  }

  CLI::App app("Prints this machine's identifiers (no arguments), or its keyed fingerprint.",
               "vreltest");
  app.set_version_flag("--version", "vreltest " VREL_VERSION);
  app.require_subcommand(0, 1);
  std::string key;
  std::string token;
  MatchRule rule;
  CLI::App* fingerprint =
      app.add_subcommand("fingerprint", "Print this machine's fingerprint token under KEY.");
  fingerprint->add_option("--key", key, "The application's secret key (not empty).")->required();
  CLI::App* match = app.add_subcommand(
      "match", "Compare TOKEN with this machine. Exit 0: same machine; 1: different; 2: bad input.");
  match->add_option("--key", key, "The key TOKEN was made with.")->required();
  match->add_option("--min-matches", rule.minStrongMatches,
                    "Strong components that must match (default 2).")
      ->check(CLI::Range(0, 4));
  match->add_option("token", token, "A token printed by \"vreltest fingerprint\".")->required();
  CLI::App* components = app.add_subcommand(
      "components", "Print the raw component values (personal data: for the machine's owner).");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& request) {  // --help, --version
    std::ostringstream out, err;
    out.exceptions(std::ios::badbit);
    const int code = app.exit(request, out, err);
    return Emit(out.str(), code);
  } catch (const CLI::ParseError& error) {
    return BadInput(error.what());
  }

  if (*components) return Emit(ComponentsText(CollectComponents()), 0);
  if (key.empty()) return BadInput("the key is empty");
  if (*fingerprint) return Emit(MakeToken(CollectComponents(), key) + '\n', 0);
  const ParsedToken stored = ParseToken(token);
  if (!stored.ok) return BadInput("bad token: " + stored.error);
  const MatchResult result = MatchToken(stored.fingerprint, CollectComponents(), key, rule);
  return Emit(MatchText(result, rule), result.sameMachine ? 0 : 1);
}

}  // namespace vrel
