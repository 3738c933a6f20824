// vrel-registry: stores a fleet's tokens and identifies new ones (the
// commands: commands.cpp; the command line: arguments.h). Exit 0, 2 (usage,
// an unknown id, any bad line, a signing key file that cannot be used) or 3
// (the registry or the output failed; wins over 2).
#include <csignal>
#include <cstdio>

#include "vrel/licence/signer/signing_key.h"
#include "vrel/registry/tool/arguments.h"
#include "vrel/registry/tool/output.h"

namespace {

using namespace vrel::registry;

int Run(int argc, char** argv) {
  const CommandLine line = ParseCommandLine(argc, argv);
  if (line.command == nullptr) {
    if (std::fputs(line.text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
      throw OutputError("cannot write the help");
    return 0;
  }
  if (line.command->runAlone != nullptr) return line.command->runAlone(line.options);
  std::unique_ptr<Storage> storage = OpenStorage(line.options.uri, line.command->mode);
  Registry registry(*storage, line.options.registry);
  return line.command->run(line.options, registry);
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a closed output is an error to report, not a signal
  try {
    return Run(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "vrel-registry: %s\n", e.what());
    return 2;
  } catch (const vrel::KeyFileError& e) {
    std::fprintf(stderr, "vrel-registry: %s\n", e.what());
    return 2;
  } catch (const UriError& e) {
    std::fprintf(stderr, "vrel-registry: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vrel-registry: %s\n", e.what());
    return 3;
  }
}
