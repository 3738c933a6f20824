#include "vrel/registry/tool/licence_commands.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "vrel/registry/licences/licence_report.h"
#include "vrel/registry/report.h"
#include "vrel/registry/tool/output.h"
#include "vrel/registry/tool/token_batches.h"

namespace vrel::registry {
namespace {

constexpr std::size_t kListPage = 1000;

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

const std::string* Flag(const ToolOptions& options, const char* name) {
  const auto found = options.flags.find(name);
  return found == options.flags.end() ? nullptr : &found->second.back();
}

std::int64_t Seconds(const ToolOptions& options, const char* name, std::int64_t fallback) {
  const std::string* text = Flag(options, name);
  if (text == nullptr) return fallback;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text->c_str(), &end, 10);
  if (text->empty() || *end != '\0' || errno != 0 || value < 1 ||
      !std::isdigit(static_cast<unsigned char>((*text)[0])))
    throw UsageError(std::string(name) + " must be a whole number of at least 1, not \"" + *text +
                     "\"");
  return value;
}

// The licence key: --licence, the first line of --licence-file, or
// $VREL_LICENCE_KEY, so that it need not show in a process list.
std::string LicenceKey(const ToolOptions& options) {
  if (const std::string* key = Flag(options, "--licence")) return *key;
  if (const std::string* path = Flag(options, "--licence-file")) {
    std::ifstream in(*path);
    std::string key;
    if (!in || !std::getline(in, key)) throw UsageError("cannot read a licence key from " + *path);
    if (!key.empty() && key.back() == '\r') key.pop_back();
    return key;
  }
  const char* env = std::getenv("VREL_LICENCE_KEY");
  if (env != nullptr && *env != '\0') return env;
  throw UsageError("no licence key: give --licence KEY, --licence-file PATH or VREL_LICENCE_KEY");
}

int NoLicence(std::int64_t id) {
  std::fprintf(stderr, "vrel-registry: no licence %lld\n", static_cast<long long>(id));
  return 2;
}

}  // namespace

int LicenceCreate(const ToolOptions& options, Registry& registry) {
  LicenceTerms terms;
  if (Flag(options, "--seats") == nullptr) throw UsageError("licence create needs --seats N");
  terms.seats = Seconds(options, "--seats", 0);
  terms.ttl = Seconds(options, "--ttl", kDefaultTtl);
  terms.lease = Seconds(options, "--lease", 0);
  if (const std::string* expires = Flag(options, "--expires")) {
    if (!ParseRfc3339(*expires, terms.expires) || terms.expires <= 0)
      throw UsageError("--expires takes a time as 2027-01-31T00:00:00Z, not \"" + *expires + "\"");
  }
  if (const std::string* name = Flag(options, "--name")) terms.name = *name;
  if (const std::string* application = Flag(options, "--application"))
    terms.application = *application;
  const auto features = options.flags.find("--feature");
  if (features != options.flags.end()) terms.features = features->second;
  std::string result;
  RunTransaction(registry.storage(), Access::kWrite, [&] {
    try {
      const NewLicence created = CreateLicence(registry.storage().licences(), terms, Now());
      result = LicenceJson(created.row, {0, created.row.seats}, created.key);
    } catch (const std::invalid_argument& e) {
      throw UsageError(e.what());
    }
  });
  Print(result);
  return 0;
}

int LicenceShow(const ToolOptions& options, Registry& registry) {
  std::string result;
  RunTransaction(registry.storage(), Access::kRead, [&] {
    LicenceStorage& licences = registry.storage().licences();
    const std::optional<LicenceRow> licence = licences.Licence(options.id);
    if (!licence) return;
    const std::vector<SeatRow> seats = licences.Seats(licence->id);
    const std::int64_t now = Now();
    result = LicenceJson(*licence, CountSeats(*licence, seats, now), "", &seats, now);
  });
  if (result.empty()) return NoLicence(options.id);
  Print(result);
  return 0;
}

int LicenceList(const ToolOptions&, Registry& registry) {
  Transaction transaction(registry.storage(), Access::kRead);
  LicenceStorage& licences = registry.storage().licences();
  const std::int64_t now = Now();
  for (LicenceId after = 0;;) {
    const std::vector<LicenceRow> page = licences.Licences(after, kListPage);
    if (page.empty()) break;
    std::vector<std::string> lines;
    for (const LicenceRow& licence : page)
      lines.push_back(LicenceJson(licence, CountSeats(licence, licences.Seats(licence.id), now)));
    Print(lines);
    after = page.back().id;
  }
  transaction.Commit();
  return 0;
}

int LicenceRevoke(const ToolOptions& options, Registry& registry) {
  std::string result;
  RunTransaction(registry.storage(), Access::kWrite, [&] {
    LicenceStorage& licences = registry.storage().licences();
    const std::int64_t now = Now();
    const std::optional<LicenceRow> licence = Revoke(licences, options.id, now);
    result = licence ? LicenceJson(*licence, CountSeats(*licence, licences.Seats(options.id), now))
                     : std::string();
  });
  if (result.empty()) return NoLicence(options.id);
  Print(result);
  return 0;
}

int ActivateTokens(const ToolOptions& options, Registry& registry) {
  if (options.signingKey.empty()) throw UsageError("activate needs --signing-key PATH before it");
  const std::string key = LicenceKey(options);
  const SigningKey signer = SigningKey::Load(options.signingKey);
  const TokenRun run = RunTokens(
      options, registry, true, [&](const Fingerprint& token, long line, std::int64_t now) {
        const Activation activation = Activate(registry, signer, key, token, now);
        return TokenResult{ActivationJson(activation, line), !activation.activated};
      });
  return !run.allTokens ? 2 : run.anyRefused ? 1 : 0;
}

int DeactivateMachine(const ToolOptions& options, Registry& registry) {
  const std::string key = LicenceKey(options);
  MachineId machine = 0;
  std::optional<Fingerprint> token;
  if (Flag(options, "--machine") != nullptr) {
    if (!options.operands.empty())
      throw UsageError("deactivate takes --machine ID or a TOKEN, not both");
    machine = Seconds(options, "--machine", 0);
  } else {
    if (options.operands.size() != 1)
      throw UsageError("deactivate takes --machine ID or one TOKEN");
    ParsedToken parsed = ParseToken(options.operands[0]);
    if (!parsed.ok) throw UsageError("the token: " + parsed.error);
    token = std::move(parsed.fingerprint);
  }
  Deactivation result;
  RunTransaction(registry.storage(), Access::kWrite, [&] {
    result = Deactivate(registry, key, machine, token ? &*token : nullptr, Now());
  });
  Print(DeactivationJson(result));
  return result.deactivated ? 0 : 1;
}

}  // namespace vrel::registry
