#include "vrel/registry/licences/licensing.h"

#include <algorithm>
#include <stdexcept>

#include "vrel/registry/licences/licence_key.h"
#include "vrel/registry/report.h"

namespace vrel::registry {
namespace {

constexpr std::size_t kMaxText = 200;
constexpr std::size_t kMaxFeatures = 64;
constexpr std::size_t kMaxFeature = 64;
constexpr std::int64_t kMaxSeats = 1000000000;

// The licence a key names, unless there is none or it was revoked: both are
// answered alike, so a key cannot be told revoked from never issued.
std::optional<LicenceRow> LiveLicence(Registry& registry, const std::string& key) {
  LicenceStorage& licences = registry.storage().licences();
  const std::optional<std::string> normalised = NormaliseLicenceKey(key);
  if (!normalised) return std::nullopt;
  std::optional<LicenceRow> licence = licences.FindLicence(LicenceKeyHash(*normalised));
  if (licence && registry.storage().capabilities().concurrentWriters) {
    licences.ClaimLicence(licence->id);
    licence = licences.Licence(licence->id);  // as it stands under the claim
  }
  if (!licence || licence->revoked != 0) return std::nullopt;
  return licence;
}

constexpr char kUnknownMessage[] = "no licence has that key, or it was revoked";

// The seats whose lease has run out at `now`.
std::vector<SeatRow> Lapsed(LicenceStorage& licences, const LicenceRow& licence, std::int64_t now) {
  if (licence.lease == 0) return {};
  return licences.LapsedSeats(licence.id, now - licence.lease);
}

}  // namespace

NewLicence CreateLicence(LicenceStorage& licences, LicenceTerms terms, std::int64_t now) {
  const std::string fallback = licences.DefaultApplication();
  if (terms.application.empty()) terms.application = fallback;
  if (terms.application.empty())
    throw std::invalid_argument(
        "no application named: give --application NAME (it becomes the registry's default)");
  if (terms.seats < 1 || terms.seats > kMaxSeats)
    throw std::invalid_argument("a licence needs 1 to 1000000000 seats");
  if (terms.ttl < 1) throw std::invalid_argument("a check-in period must be at least a second");
  if (terms.lease < 0) throw std::invalid_argument("a lease cannot be negative");
  if (terms.expires < 0 || terms.expires > kNeverExpires)
    throw std::invalid_argument("an expiry must fall before the year 10000");
  if (terms.application.size() > kMaxText || terms.name.size() > kMaxText)
    throw std::invalid_argument("an application or licensee name has at most 200 characters");
  if (terms.features.size() > kMaxFeatures)
    throw std::invalid_argument("a licence has at most 64 features");
  for (const std::string& feature : terms.features) {
    if (feature.empty() || feature.size() > kMaxFeature)
      throw std::invalid_argument("a feature name has 1 to 64 characters");
  }
  // Whatever a licence file cannot carry is refused now, not at activation.
  LicenceFields probe;
  probe.keyId = "0000000000000000";
  probe.application = terms.application;
  probe.licensee = terms.name;
  probe.features = terms.features;
  probe.licenceId = probe.machineId = "1";
  probe.token = "vfp1";
  WriteLicencePayload(probe);

  NewLicence created;
  created.key = NewLicenceKey();
  LicenceRow& row = created.row;
  row.keyHash = LicenceKeyHash(*NormaliseLicenceKey(created.key));
  row.application = terms.application;
  row.name = terms.name;
  row.features = terms.features;
  row.seats = terms.seats;
  row.expires = terms.expires;
  row.ttl = terms.ttl;
  row.lease = terms.lease;
  row.created = now;
  row.id = licences.CreateLicence(row);
  if (fallback.empty()) licences.SetDefaultApplication(terms.application);
  return created;
}

void ClaimLicences(Registry& registry, const std::vector<std::string>& keys) {
  if (!registry.storage().capabilities().concurrentWriters) return;
  LicenceStorage& licences = registry.storage().licences();
  std::vector<LicenceId> ids;
  for (const std::string& key : keys) {
    const std::optional<std::string> normalised = NormaliseLicenceKey(key);
    if (!normalised) continue;
    if (const auto licence = licences.FindLicence(LicenceKeyHash(*normalised)))
      ids.push_back(licence->id);
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  for (LicenceId id : ids) licences.ClaimLicence(id);
}

bool SeatHeld(const LicenceRow& licence, const SeatRow& seat, std::int64_t now) {
  return licence.lease == 0 || seat.checkedIn + licence.lease > now;
}

Seats CountSeats(const LicenceRow& licence, const std::vector<SeatRow>& seats, std::int64_t now) {
  Seats count{0, licence.seats};
  for (const SeatRow& seat : seats) count.used += SeatHeld(licence, seat, now) ? 1 : 0;
  return count;
}

Activation Activate(Registry& registry, const SigningKey& signer, const std::string& key,
                    const Fingerprint& token, std::int64_t now) {
  Activation result;
  const std::optional<LicenceRow> licence = LiveLicence(registry, key);
  if (!licence) {
    result.reason = "unknown-licence";
    result.message = kUnknownMessage;
    return result;
  }
  result.licence = licence->id;
  if (licence->expires != 0 && now >= licence->expires) {
    result.reason = "licence-expired";
    result.message = "the licence expired at " + Rfc3339(licence->expires);
    return result;
  }
  LicenceStorage& licences = registry.storage().licences();
  Verdict verdict = registry.IdentifyToStore(token);
  // Costs the machine's own seat and the lapsed ones, never every seat.
  const std::vector<SeatRow> lapsed = Lapsed(licences, *licence, now);
  std::optional<SeatRow> seat;
  if (verdict.same) seat = licences.Seat(licence->id, verdict.machine);
  result.newSeat = !seat || !SeatHeld(*licence, *seat, now);
  result.seats = {licence->held - static_cast<std::int64_t>(lapsed.size()), licence->seats};
  if (result.newSeat && result.seats.used >= result.seats.total) {
    result.reason = "no-seat";
    result.message = "every seat of the licence (" + std::to_string(result.seats.total) +
                     ") is held by another machine";
    return result;
  }

  registry.Store(verdict, token, now);
  result.machine = verdict.machine;
  for (const SeatRow& gone : lapsed) {  // seats whose lease ran out leave for good
    licences.DropSeat(licence->id, gone.machine);
    licences.Audit({now, "lapse", licence->id, gone.machine});
  }
  licences.PutSeat({licence->id, result.machine, result.newSeat ? now : seat->activated, now});
  licences.Audit({now, result.newSeat ? "activate" : "check-in", licence->id, result.machine});
  if (result.newSeat) ++result.seats.used;

  LicenceFields& fields = result.fields;
  fields.application = licence->application;
  fields.licenceId = std::to_string(licence->id);
  fields.licensee = licence->name;
  fields.features = licence->features;
  fields.machineId = std::to_string(result.machine);
  fields.token = FormatToken(token);
  fields.issued = now;
  fields.expires = licence->expires != 0 ? licence->expires : kNeverExpires;
  // The check-in deadline never passes the lease's end: a seat given to
  // another machine leaves no second valid file behind.
  fields.checkIn = std::min(fields.expires, now + licence->ttl);
  if (licence->lease != 0) fields.checkIn = std::min(fields.checkIn, now + licence->lease);
  result.file = SignLicence(signer, fields);
  result.activated = true;
  return result;
}

Deactivation Deactivate(Registry& registry, const std::string& key, MachineId machine,
                        const Fingerprint* token, std::int64_t now) {
  Deactivation result;
  const std::optional<LicenceRow> licence = LiveLicence(registry, key);
  if (!licence) {
    result.reason = "unknown-licence";
    result.message = kUnknownMessage;
    return result;
  }
  result.licence = licence->id;
  LicenceStorage& licences = registry.storage().licences();
  if (machine == 0 && token != nullptr) {
    const Verdict verdict = registry.Identify(*token);
    if (verdict.same) machine = verdict.machine;
  }
  result.machine = machine;
  if (machine == 0 || !licences.DropSeat(licence->id, machine)) {
    result.reason = "not-activated";
    result.message = "that machine holds no seat of the licence";
    return result;
  }
  licences.Audit({now, "deactivate", licence->id, machine});
  const std::int64_t held = licences.Licence(licence->id)->held;
  result.seats = {held - static_cast<std::int64_t>(Lapsed(licences, *licence, now).size()),
                  licence->seats};
  result.deactivated = true;
  return result;
}

std::optional<LicenceRow> Revoke(LicenceStorage& licences, LicenceId id, std::int64_t now) {
  licences.ClaimLicence(id);  // no activation of it runs meanwhile
  std::optional<LicenceRow> licence = licences.Licence(id);
  if (!licence || licence->revoked != 0) return licence;
  licences.Revoke(id, now);
  licences.Audit({now, "revoke", id, 0});
  licence->revoked = now;
  return licence;
}

}  // namespace vrel::registry
