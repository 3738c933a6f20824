// The administration routes: licences, machines, identification and the
// fleet's shared digests, answered with the objects vrel-registry prints.
#include <cstdlib>

#include "vrel/registry/licences/licence_report.h"
#include "vrel/registry/report.h"
#include "vrel/server/api.h"
#include "vrel/server/json_body.h"

namespace vrel::server {
namespace {

using registry::Registry;

constexpr std::size_t kListPage = 1000;

Response Json(std::string body, unsigned status = 200) {
  Response response;
  response.status = status;
  response.body = std::move(body);
  return response;
}

Response Missing(const char* what, std::int64_t id) {
  return ErrorResponse(404, std::string("no ") + what + ' ' + std::to_string(id));
}

// ?after=ID of GET /v1/licences (0 when absent).
std::int64_t After(const std::string& target) {
  const std::size_t query = target.find('?');
  if (query == std::string::npos) return 0;
  const std::size_t at = target.find("after=", query);
  return at == std::string::npos ? 0 : std::atoll(target.c_str() + at + 6);
}

}  // namespace

void Api::CreateLicence(const Request& request, std::int64_t, const Reply& reply) {
  registry::LicenceTerms terms;
  std::string error;
  if (!ReadLicenceTerms(request.body, terms, error)) return reply(ErrorResponse(400, error));
  Run(
      true,
      [terms](Registry& registry, std::int64_t now) {
        // Terms a licence file cannot carry throw std::invalid_argument: 400.
        const registry::NewLicence created =
            registry::CreateLicence(registry.storage().licences(), terms, now);
        return Json(registry::LicenceJson(created.row, {0, created.row.seats}, created.key), 201);
      },
      reply);
}

void Api::ListLicences(const Request& request, std::int64_t, const Reply& reply) {
  const std::int64_t after = After(request.target);
  Run(
      false,
      [after](Registry& registry, std::int64_t now) {
        registry::LicenceStorage& licences = registry.storage().licences();
        const std::vector<registry::LicenceRow> page = licences.Licences(after, kListPage);
        std::string body = "{\"licences\":[";
        for (const registry::LicenceRow& licence : page) {
          if (&licence != &page.front()) body += ',';
          body += registry::LicenceJson(
              licence, registry::CountSeats(licence, licences.Seats(licence.id), now));
        }
        body += "],\"next\":";
        body += page.size() == kListPage ? std::to_string(page.back().id) : "null";
        return Json(body + '}');
      },
      reply);
}

void Api::ShowLicence(const Request&, std::int64_t id, const Reply& reply) {
  Run(
      false,
      [id](Registry& registry, std::int64_t now) {
        registry::LicenceStorage& licences = registry.storage().licences();
        const std::optional<registry::LicenceRow> licence = licences.Licence(id);
        if (!licence) return Missing("licence", id);
        const std::vector<registry::SeatRow> seats = licences.Seats(id);
        return Json(registry::LicenceJson(*licence, registry::CountSeats(*licence, seats, now), "",
                                          &seats, now));
      },
      reply);
}

void Api::RevokeLicence(const Request&, std::int64_t id, const Reply& reply) {
  Run(
      true,
      [id](Registry& registry, std::int64_t now) {
        registry::LicenceStorage& licences = registry.storage().licences();
        const std::optional<registry::LicenceRow> licence = registry::Revoke(licences, id, now);
        if (!licence) return Missing("licence", id);
        return Json(registry::LicenceJson(*licence,
                                          registry::CountSeats(*licence, licences.Seats(id), now)));
      },
      reply);
}

void Api::ShowMachine(const Request&, std::int64_t id, const Reply& reply) {
  Run(
      false,
      [id](Registry& registry, std::int64_t) {
        const std::optional<registry::MachineRecord> record =
            registry::Show(registry.storage(), id);
        return record ? Json(registry::MachineJson(*record)) : Missing("machine", id);
      },
      reply);
}

void Api::RemoveMachine(const Request&, std::int64_t id, const Reply& reply) {
  Run(
      true,
      [id](Registry& registry, std::int64_t now) {
        const std::optional<registry::MachineRecord> removed = registry.Remove(id, now);
        return removed ? Json(registry::RemovedJson(*removed)) : Missing("machine", id);
      },
      reply);
}

void Api::Identify(const Request& request, std::int64_t, const Reply& reply) {
  Fingerprint token;
  std::string error;
  if (!ReadToken(request.body, token, error)) return reply(ErrorResponse(400, error));
  Run(
      false,
      [token](Registry& registry, std::int64_t) {
        return Json(registry::VerdictJson(registry.Identify(token), false, 0));
      },
      reply);
}

void Api::Shared(const Request&, std::int64_t, const Reply& reply) {
  Run(
      false,
      [](Registry& registry, std::int64_t) {
        registry::Storage& storage = registry.storage();
        return Json(registry::StatsJson(storage.MachineCount(),
                                        storage.Shared(registry.options().sharedAt)));
      },
      reply);
}

}  // namespace vrel::server
