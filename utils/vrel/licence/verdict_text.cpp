#include <iterator>

#include "vrel/licence/licence.h"

namespace vrel {
namespace {

struct VerdictRow {
  const char* name;
  const char* text;
};
// In the order of LicenceVerdict.
constexpr VerdictRow kVerdicts[] = {
    {"valid", "the licence is valid on this machine"},
    {"too-large", "the licence file is larger than 64 KiB"},
    {"not-text", "the licence file is not ASCII text"},
    {"malformed", "the file is not a licence file"},
    {"unsupported-format", "the licence file's format is newer than this release reads"},
    {"bad-public-key", "a trusted public key text is not a P-256 public key"},
    {"unknown-key", "the licence is signed by a key that is not trusted"},
    {"bad-signature", "the licence's signature does not verify: it was changed or forged"},
    {"wrong-application", "the licence is for another application"},
    {"other-machine", "the licence is for another machine"},
    {"not-yet-issued", "the licence is issued in the future: the clock is behind"},
    {"clock-turned-back", "the clock is behind the time of an earlier verification"},
    {"state-tampered", "the licence state file was changed"},
    {"state-unwritable", "the licence state file cannot be read or written"},
    {"expired", "the licence has expired"},
    {"check-in-due", "the licence's check-in deadline has passed"},
};
static_assert(std::size(kVerdicts) == static_cast<std::size_t>(LicenceVerdict::kCheckInDue) + 1,
              "one row per verdict");

const VerdictRow& Row(LicenceVerdict verdict) {
  const auto index = static_cast<std::size_t>(verdict);
  return kVerdicts[index < std::size(kVerdicts) ? index : 3];
}

}  // namespace

const char* LicenceVerdictName(LicenceVerdict verdict) { return Row(verdict).name; }
const char* LicenceVerdictText(LicenceVerdict verdict) { return Row(verdict).text; }

}  // namespace vrel
