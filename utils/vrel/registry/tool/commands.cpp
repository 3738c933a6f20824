#include "vrel/registry/tool/commands.h"

#include <cstdio>
#include <ctime>

#include "vrel/licence/signer/signing_key.h"
#include "vrel/registry/report.h"
#include "vrel/registry/tool/licence_commands.h"
#include "vrel/registry/tool/move.h"
#include "vrel/registry/tool/output.h"
#include "vrel/registry/tool/token_batches.h"

namespace vrel::registry {
namespace {

int Enroll(const ToolOptions& options, Registry& registry) {
  return RunTokens(options, registry, true) ? 0 : 2;
}

int Identify(const ToolOptions& options, Registry& registry) {
  return RunTokens(options, registry, false) ? 0 : 2;
}

int Unknown(MachineId id) {
  std::fprintf(stderr, "vrel-registry: no machine %lld\n", static_cast<long long>(id));
  return 2;
}

int ShowMachine(const ToolOptions& options, Registry& registry) {
  std::optional<MachineRecord> record;
  RunTransaction(registry.storage(), Access::kRead,
                 [&] { record = Show(registry.storage(), options.id); });
  if (!record) return Unknown(options.id);
  Print(MachineJson(*record));
  return 0;
}

int RemoveMachine(const ToolOptions& options, Registry& registry) {
  std::optional<MachineRecord> removed;
  RunTransaction(registry.storage(), Access::kWrite,
                 [&] { removed = registry.Remove(options.id, std::time(nullptr)); });
  if (!removed) return Unknown(options.id);
  Print(RemovedJson(*removed));
  return 0;
}

int Stats(const ToolOptions& options, Registry& registry) {
  std::string result;
  RunTransaction(registry.storage(), Access::kRead, [&] {
    Storage& storage = registry.storage();
    result = StatsJson(storage.MachineCount(), storage.Shared(options.registry.sharedAt));
  });
  Print(result);
  return 0;
}

int ExportAll(const ToolOptions&, Registry& registry) {
  Export(registry.storage());
  return 0;
}

int ImportAll(const ToolOptions&, Registry& registry) { return Import(registry.storage()) ? 0 : 2; }

// The licence signer's key: its public key text alone on the last line, for an
// application to embed.
int KeyGen(const ToolOptions& options) {
  const SigningKey key = SigningKey::Generate();
  key.Save(options.path);
  Print({"wrote a new P-256 private key to " + options.path + " (mode 0600); its public key text:",
         key.PublicKeyText()});
  return 0;
}

int PublicKey(const ToolOptions& options) {
  Print(SigningKey::Load(options.path).PublicKeyText());
  return 0;
}

}  // namespace

const Command kCommands[] = {
    {"enroll", "[TOKEN...]",
     "Identify each token and store it: the same machine's latest token, or a new machine.",
     Operands::kTokens, OpenMode::kCreate, "", Enroll, nullptr},
    {"identify", "[TOKEN...]", "Identify each token, changing nothing.", Operands::kTokens,
     OpenMode::kRead, "", Identify, nullptr},
    {"show", "ID", "Print a machine with its history.", Operands::kId, OpenMode::kRead, "",
     ShowMachine, nullptr},
    {"remove", "ID", "Forget a machine, its history and its digests, and free its seats.",
     Operands::kId, OpenMode::kWrite, "", RemoveMachine, nullptr},
    {"stats", "", "Print the machine count and the shared digests.", Operands::kNone,
     OpenMode::kRead, "", Stats, nullptr},
    {"export", "", "Print every machine, licence, seat and audit row, one a line.", Operands::kNone,
     OpenMode::kRead, "", ExportAll, nullptr},
    {"import", "", "Store an export's lines into an empty registry, all or nothing.",
     Operands::kNone, OpenMode::kCreate, "", ImportAll, nullptr},
    {"licence create",
     "--seats N [--expires TIME] [--ttl SECONDS] [--lease SECONDS] [--name TEXT] "
     "[--feature NAME]... [--application NAME]",
     "Make a licence and print its key, shown this once.", Operands::kNone, OpenMode::kCreate,
     "--seats,--expires,--ttl,--lease,--name,--feature,--application", LicenceCreate, nullptr},
    {"licence show", "ID", "Print a licence with the machines holding its seats.", Operands::kId,
     OpenMode::kRead, "", LicenceShow, nullptr},
    {"licence list", "", "Print every licence, one a line.", Operands::kNone, OpenMode::kRead, "",
     LicenceList, nullptr},
    {"licence revoke", "ID", "Refuse the licence's further activations.", Operands::kId,
     OpenMode::kWrite, "", LicenceRevoke, nullptr},
    {"activate", "(--licence KEY | --licence-file PATH) [TOKEN...]",
     "Give each token's machine a seat of the licence and print its signed licence file "
     "(needs --signing-key).",
     Operands::kTokens, OpenMode::kWrite, "--licence,--licence-file", ActivateTokens, nullptr},
    {"deactivate", "(--licence KEY | --licence-file PATH) (--machine ID | TOKEN)",
     "Free the seat the machine holds.", Operands::kTokens, OpenMode::kWrite,
     "--licence,--licence-file,--machine", DeactivateMachine, nullptr},
    {"keygen", "PATH",
     "Write a new licence signing key to PATH (never replacing a file) and print its public key "
     "text.",
     Operands::kPath, OpenMode::kRead, "", nullptr, KeyGen},
    {"pubkey", "PATH", "Print the public key text of the signing key in PATH.", Operands::kPath,
     OpenMode::kRead, "", nullptr, PublicKey},
};
const std::size_t kCommandCount = std::size(kCommands);

}  // namespace vrel::registry
