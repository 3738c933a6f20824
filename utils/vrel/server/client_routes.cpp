// POST /v1/activate and /v1/deactivate: a licence key and a machine's token
// in, the registry's activation or deactivation out (200, or 403 with the
// refusal's reason), committed in the writers' groups.
#include "vrel/registry/licences/licence_report.h"
#include "vrel/server/api.h"
#include "vrel/server/json_body.h"

namespace vrel::server {
namespace {

constexpr const char* kUnknownLicence = "unknown-licence";

}  // namespace

void Api::Activate(const Request& request, std::int64_t, const Reply& reply) {
  std::string key, error;
  Fingerprint token;
  if (!ReadKeyAndToken(request.body, key, token, error)) return reply(ErrorResponse(400, error));
  const std::uint64_t keyId = RefusalLimit::KeyId(key);
  if (Limited(request.client, keyId, reply)) return;
  auto activation = std::make_shared<registry::Activation>();
  database_.Write(
      [this, activation, key, token](registry::Registry& registry, std::int64_t now) {
        *activation = registry::Activate(registry, signer_, key, token, now);
      },
      [this, activation, keyId, client = request.client, reply](std::exception_ptr failure) {
        if (failure) return reply(Failure(failure));
        Response response;
        response.body = registry::ActivationJson(*activation, 0);
        if (activation->activated) {
          metrics_.Activation(activation->newSeat ? "new-seat" : "check-in");
          limit_.Succeeded(client, keyId);
        } else {
          response.status = 403;
          metrics_.Refusal(activation->reason);
          if (activation->reason == kUnknownLicence)
            limit_.Refused(client, RefusalLimit::Clock::now());
        }
        reply(std::move(response));
      },
      key);
}

void Api::Deactivate(const Request& request, std::int64_t, const Reply& reply) {
  std::string key, error;
  Fingerprint token;
  if (!ReadKeyAndToken(request.body, key, token, error)) return reply(ErrorResponse(400, error));
  const std::uint64_t keyId = RefusalLimit::KeyId(key);
  if (Limited(request.client, keyId, reply)) return;
  auto deactivation = std::make_shared<registry::Deactivation>();
  database_.Write(
      [deactivation, key, token](registry::Registry& registry, std::int64_t now) {
        *deactivation = registry::Deactivate(registry, key, 0, &token, now);
      },
      [this, deactivation, keyId, client = request.client, reply](std::exception_ptr failure) {
        if (failure) return reply(Failure(failure));
        Response response;
        response.body = registry::DeactivationJson(*deactivation);
        if (deactivation->deactivated) {
          metrics_.Deactivation("deactivated");
          limit_.Succeeded(client, keyId);
        } else {
          response.status = 403;
          metrics_.Deactivation(deactivation->reason);
          if (deactivation->reason == kUnknownLicence)
            limit_.Refused(client, RefusalLimit::Clock::now());
        }
        reply(std::move(response));
      },
      key);
}

}  // namespace vrel::server
