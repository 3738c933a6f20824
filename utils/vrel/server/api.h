// The routes: which request goes where, who may call it, and the answers.
// Clients' routes (client_routes.cpp) take a licence key in the body;
// administration routes (admin_routes.cpp) a bearer token; /healthz and
// /metrics are open. Work on the registry runs on the database's threads and
// is answered from there.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

#include "vrel/licence/signer/signing_key.h"
#include "vrel/server/database.h"
#include "vrel/server/exchange.h"
#include "vrel/server/metrics.h"
#include "vrel/server/refusal_limit.h"
#include "vrel/server/startup.h"

namespace vrel::server {

class Api {
 public:
  // Without `adminToken` the administration routes answer 404, as on a server
  // that has none.
  Api(Database& database, const SigningKey& signer, Metrics& metrics, RefusalLimit& limit,
      std::optional<TokenDigest> adminToken);

  // Answers through `reply`, at once or later from another thread.
  void Handle(const Request& request, Reply reply);

 private:
  using Handler = void (Api::*)(const Request& request, std::int64_t id, const Reply& reply);
  struct Route {
    const char* method;
    const char* pattern;  // "{id}" stands for a whole number of at least 1
    bool admin;
    Handler handler;
  };
  static const Route kRoutes[];

  // What the database's work makes of the registry, built inside the transaction.
  using Answer = std::function<Response(registry::Registry& registry, std::int64_t now)>;
  // Runs `answer` in a writing or a read transaction and replies with it.
  void Run(bool write, Answer answer, const Reply& reply);
  // The answer to a failed transaction: 503 when the database failed.
  static Response Failure(std::exception_ptr failure);
  bool Authorised(const Request& request) const;
  // Answers 429 when `client` has spent its refusals and has not used `key` before.
  bool Limited(const std::string& client, std::uint64_t key, const Reply& reply);

  void Activate(const Request& request, std::int64_t, const Reply& reply);
  void Deactivate(const Request& request, std::int64_t, const Reply& reply);
  void CreateLicence(const Request& request, std::int64_t, const Reply& reply);
  void ListLicences(const Request& request, std::int64_t, const Reply& reply);
  void ShowLicence(const Request& request, std::int64_t id, const Reply& reply);
  void RevokeLicence(const Request& request, std::int64_t id, const Reply& reply);
  void ShowMachine(const Request& request, std::int64_t id, const Reply& reply);
  void RemoveMachine(const Request& request, std::int64_t id, const Reply& reply);
  void Identify(const Request& request, std::int64_t, const Reply& reply);
  void Shared(const Request& request, std::int64_t, const Reply& reply);
  void Health(const Request& request, std::int64_t, const Reply& reply);
  void MetricsText(const Request& request, std::int64_t, const Reply& reply);

  Database& database_;
  const SigningKey& signer_;
  Metrics& metrics_;
  RefusalLimit& limit_;
  std::optional<TokenDigest> adminToken_;
};

}  // namespace vrel::server
