#include "vrel/server/api.h"

#include <openssl/crypto.h>

#include <cctype>
#include <vector>

#include "vrel/server/json_body.h"

namespace vrel::server {
namespace {

std::vector<std::string> Segments(const std::string& path) {
  std::vector<std::string> segments;
  for (std::size_t start = 1; start <= path.size();) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    segments.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return segments;
}

// Whether `path` has the pattern's form; sets `id` from its "{id}".
bool Matches(const char* pattern, const std::vector<std::string>& path, std::int64_t& id) {
  const std::vector<std::string> want = Segments(pattern);
  if (want.size() != path.size()) return false;
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (want[i] != "{id}") {
      if (want[i] != path[i]) return false;
      continue;
    }
    const std::string& digits = path[i];
    if (digits.empty() || digits.size() > 18 || digits[0] == '0') return false;
    for (char c : digits)
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    id = std::stoll(digits);
  }
  return true;
}

}  // namespace

const Api::Route Api::kRoutes[] = {
    {"POST", "/v1/activate", false, &Api::Activate},
    {"POST", "/v1/deactivate", false, &Api::Deactivate},
    {"POST", "/v1/licences", true, &Api::CreateLicence},
    {"GET", "/v1/licences", true, &Api::ListLicences},
    {"GET", "/v1/licences/{id}", true, &Api::ShowLicence},
    {"POST", "/v1/licences/{id}/revoke", true, &Api::RevokeLicence},
    {"GET", "/v1/machines/{id}", true, &Api::ShowMachine},
    {"DELETE", "/v1/machines/{id}", true, &Api::RemoveMachine},
    {"POST", "/v1/identify", true, &Api::Identify},
    {"GET", "/v1/shared", true, &Api::Shared},
    {"GET", "/healthz", false, &Api::Health},
    {"GET", "/metrics", false, &Api::MetricsText},
};

Api::Api(Database& database, const SigningKey& signer, Metrics& metrics, RefusalLimit& limit,
         std::optional<TokenDigest> adminToken)
    : database_(database),
      signer_(signer),
      metrics_(metrics),
      limit_(limit),
      adminToken_(adminToken) {}

void Api::Handle(const Request& request, Reply reply) {
  const std::vector<std::string> path =
      Segments(request.target.substr(0, request.target.find('?')));
  std::string allowed;
  for (const Route& route : kRoutes) {
    std::int64_t id = 0;
    if (!Matches(route.pattern, path, id)) continue;
    if (route.admin && !adminToken_) break;  // no administration on this server
    const Reply labelled = [reply, label = std::string(route.pattern)](Response response) {
      response.route = label;
      reply(std::move(response));
    };
    if (request.method != route.method) {
      allowed += (allowed.empty() ? "" : ", ") + std::string(route.method);
      continue;
    }
    if (route.admin && !Authorised(request)) {
      Response response = ErrorResponse(401, "a valid administration bearer token is needed");
      response.headers.push_back({"WWW-Authenticate", "Bearer realm=\"vrel-server\""});
      return labelled(std::move(response));
    }
    return (this->*route.handler)(request, id, labelled);
  }
  if (allowed.empty()) return reply(ErrorResponse(404, "no such route"));
  Response response = ErrorResponse(405, "the route takes " + allowed);
  response.headers.push_back({"Allow", allowed});
  reply(std::move(response));
}

bool Api::Authorised(const Request& request) const {
  static const std::string kScheme = "bearer ";
  const std::string& header = request.authorization;
  if (header.size() <= kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(header[i])) != kScheme[i]) return false;
  const TokenDigest presented = DigestToken(header.substr(kScheme.size()));
  return CRYPTO_memcmp(presented.data(), adminToken_->data(), presented.size()) == 0;
}

bool Api::Limited(const std::string& client, std::uint64_t key, const Reply& reply) {
  const std::int64_t wait = limit_.RetryAfter(client, key, RefusalLimit::Clock::now());
  if (wait == 0) return false;
  metrics_.Refusal("too-many-refusals");
  Response response =
      ErrorResponse(429, "too many refused licence keys from this address; try again later");
  response.headers.push_back({"Retry-After", std::to_string(wait)});
  reply(std::move(response));
  return true;
}

void Api::Run(bool write, Answer answer, const Reply& reply) {
  auto result = std::make_shared<Response>();
  Work work = [result, answer = std::move(answer)](registry::Registry& registry, std::int64_t now) {
    *result = answer(registry, now);
  };
  Done done = [result, reply](std::exception_ptr failure) {
    reply(failure ? Failure(failure) : std::move(*result));
  };
  if (write) {
    database_.Write(std::move(work), std::move(done));
  } else {
    database_.Read(std::move(work), std::move(done));
  }
}

Response Api::Failure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const registry::StorageError& e) {
    Response response = ErrorResponse(503, "the registry is unavailable; try again later");
    response.headers.push_back({"Retry-After", "1"});
    response.error = e.what();
    return response;
  } catch (const std::invalid_argument& e) {
    return ErrorResponse(400, e.what());
  } catch (const std::exception& e) {
    Response response = ErrorResponse(500, "the server failed");
    response.error = e.what();
    return response;
  }
}

void Api::Health(const Request&, std::int64_t, const Reply& reply) {
  Run(
      false,
      [](registry::Registry& registry, std::int64_t) {
        registry.storage().licences().DefaultApplication();  // a row read from the database
        Response response;
        response.body = "{\"status\":\"ok\"}";
        return response;
      },
      reply);
}

void Api::MetricsText(const Request&, std::int64_t, const Reply& reply) {
  Response response;
  response.body = metrics_.Text();
  response.contentType = "text/plain; version=0.0.4; charset=utf-8";
  reply(std::move(response));
}

}  // namespace vrel::server
