// The API as a table, on each backend: one scenario of requests in order,
// each with its credentials, expected status and members of the answer.
// The administration answers are then compared byte for byte with what
// vrel-registry prints for the same registry.
#include <gtest/gtest.h>

#include <cstdio>

#include "backends.h"
#include "server_harness.h"

namespace vrel::registry {
namespace {

using test::HttpClient;
using test::ServerFiles;
using test::ServerProcess;

enum class Auth { kNone, kAdmin, kWrong };

struct Row {
  const char* method;
  const char* target;
  const char* body;  // $K1/$K2: the licences' keys; $A, $B, $C: machines' tokens
  Auth auth;
  unsigned status;
  std::vector<const char*> members;  // each must appear in the answer
};

const char kRefused[] =
    R"("activated":false,"reason":"unknown-licence","message":"no licence has that key, or it was revoked"})";

const Row kRows[] = {
    {"POST",
     "/v1/activate",
     R"({"key":"$K1","token":"$A"})",
     Auth::kNone,
     200,
     {R"("activated":true,"licence":1,"machine":1,"newSeat":true,"seats":{"used":1,"total":2})",
      R"("licenceFile":"-----BEGIN VREL LICENCE-----\n)"}},
    {"POST",
     "/v1/activate",
     R"({"key":"$K1","token":"$A"})",
     Auth::kNone,
     200,
     {R"("machine":1,"newSeat":false,"seats":{"used":1,"total":2})"}},  // check-in
    {"POST",
     "/v1/activate",
     R"({"key":"$K1","token":"$B"})",
     Auth::kNone,
     200,
     {R"("machine":2,"newSeat":true,"seats":{"used":2,"total":2})"}},
    {"POST",
     "/v1/activate",
     R"({"key":"$K1","token":"$C"})",
     Auth::kNone,
     403,
     {R"("activated":false,"reason":"no-seat")"}},
    {"POST",
     "/v1/activate",
     R"({"key":"$k1","token":"$A"})",
     Auth::kNone,
     200,
     {R"("machine":1,"newSeat":false)"}},  // the key as typed: lower case, no hyphens
    {"POST",
     "/v1/activate",
     R"({"key":"$K2","token":"$C"})",
     Auth::kNone,
     200,
     {R"("licence":2,"machine":3,"newSeat":true,"seats":{"used":1,"total":1})"}},
    {"POST",
     "/v1/activate",
     R"({"key":"7K3QD-0ZM4X-7K3QD-0ZM4X-7K3QD-0ZM4X","token":"$C"})",
     Auth::kNone,
     403,
     {kRefused}},
    {"POST",
     "/v1/activate",
     R"({"key":"not a key","token":"$C","client":"1.0"})",
     Auth::kNone,
     403,
     {kRefused}},
    {"POST", "/v1/activate", R"({"key":"$K1","token":"$A")", Auth::kNone, 400, {R"({"error":)"}},
    {"POST", "/v1/activate", R"(["$K1","$A"])", Auth::kNone, 400, {"not a JSON object"}},
    {"POST", "/v1/activate", R"({"key":"$K1"})", Auth::kNone, 400, {R"(\"token\" must be)"}},
    {"POST",
     "/v1/activate",
     R"({"key":["$K1"],"token":"$A"})",
     Auth::kNone,
     400,
     {R"(\"key\" must be)"}},
    {"POST",
     "/v1/activate",
     R"({"key":"$K1","token":"vfp1-00"})",
     Auth::kNone,
     400,
     {R"({"error":"the token: )"}},
    {"POST",
     "/v1/deactivate",
     R"({"key":"$K1","token":"$B"})",
     Auth::kNone,
     200,
     {R"("deactivated":true,"licence":1,"machine":2,"seats":{"used":1,"total":2})"}},
    {"POST",
     "/v1/deactivate",
     R"({"key":"$K1","token":"$B"})",
     Auth::kNone,
     403,
     {R"("deactivated":false,"reason":"not-activated")"}},
    {"POST",
     "/v1/deactivate",
     R"({"key":"nope","token":"$B"})",
     Auth::kNone,
     403,
     {R"("reason":"unknown-licence")"}},
    {"POST", "/v1/deactivate", R"({"key":"$K1","token":7})", Auth::kNone, 400, {R"({"error":)"}},
    {"POST",
     "/v1/activate",
     R"({"key":"$K1","token":"$C"})",
     Auth::kNone,
     200,
     {R"("machine":3,"newSeat":true,"seats":{"used":2,"total":2})"}},  // the freed seat
    {"POST", "/v1/licences/2/revoke", "", Auth::kNone, 401, {R"({"error":)"}},
    {"POST", "/v1/licences/2/revoke", "", Auth::kWrong, 401, {R"({"error":)"}},
    {"POST",
     "/v1/licences/2/revoke",
     "",
     Auth::kAdmin,
     200,
     {R"("licence":2,)", R"("revoked":"2)"}},
    {"POST", "/v1/activate", R"({"key":"$K2","token":"$C"})", Auth::kNone, 403, {kRefused}},
    {"POST", "/v1/licences/9/revoke", "", Auth::kAdmin, 404, {R"({"error":"no licence 9"})"}},
    {"GET",
     "/v1/licences",
     "",
     Auth::kAdmin,
     200,
     {R"({"licences":[{"schema":2,"licence":1,)", R"("licence":2,)", R"("next":null})"}},
    {"GET",
     "/v1/licences?after=1",
     "",
     Auth::kAdmin,
     200,
     {R"({"licences":[{"schema":2,"licence":2,)"}},
    {"GET", "/v1/licences", "", Auth::kWrong, 401, {}},
    {"GET", "/v1/licences/1", "", Auth::kAdmin, 200, {R"("machines":[{"machine":1,)"}},
    {"GET", "/v1/licences/01", "", Auth::kAdmin, 404, {}},
    {"GET", "/v1/machines/3", "", Auth::kAdmin, 200, {R"("machine":3,)"}},
    {"GET", "/v1/machines/3", "", Auth::kNone, 401, {}},
    {"POST",
     "/v1/identify",
     R"({"token":"$A"})",
     Auth::kAdmin,
     200,
     {R"("verdict":"same","machine":1,)"}},
    {"POST", "/v1/identify", R"({"token":"$A"})", Auth::kNone, 401, {}},
    {"POST", "/v1/identify", R"({"token":"junk"})", Auth::kAdmin, 400, {"the token: "}},
    {"GET", "/v1/shared", "", Auth::kAdmin, 200, {R"("machines":3)"}},
    {"DELETE", "/v1/machines/3", "", Auth::kAdmin, 200, {R"("removed":3,)"}},
    {"DELETE", "/v1/machines/3", "", Auth::kAdmin, 404, {R"({"error":"no machine 3"})"}},
    {"GET", "/v1/licences/1", "", Auth::kAdmin, 200, {R"("seats":{"used":1,"total":2})"}},
    {"POST", "/v1/licences", R"({"seats":0})", Auth::kAdmin, 400, {R"(\"seats\" must be)"}},
    {"POST",
     "/v1/licences",
     R"({"seats":1,"colour":"red"})",
     Auth::kAdmin,
     400,
     {R"(unknown member \"colour\")"}},
    {"POST", "/v1/licences", R"({"seats":1,"expires":"tomorrow"})", Auth::kAdmin, 400, {"expires"}},
    {"POST",
     "/v1/licences",
     R"({"seats":2000000000})",
     Auth::kAdmin,
     400,
     {"1 to 1000000000 seats"}},  // refused by the registry, inside the transaction
    {"POST", "/v1/licences", R"({"seats":1,"features":["a",1]})", Auth::kAdmin, 400, {"features"}},
    {"POST",
     "/v1/licences",
     R"({"seats":3,"ttl":60,"lease":30,"expires":"2099-01-01T00:00:00Z","features":["x"]})",
     Auth::kAdmin,
     201,
     {R"("licence":3,"key":")",
      R"("features":["x"],"seats":{"used":0,"total":3},"expires":"2099-01-01T00:00:00Z","ttl":60,"lease":30)"}},
    {"GET", "/healthz", "", Auth::kNone, 200, {R"({"status":"ok"})"}},
    {"GET",
     "/metrics",
     "",
     Auth::kNone,
     200,
     {R"(vrel_server_requests_total{route="/v1/activate",status="403"} 4)",
      R"(vrel_server_activations_total{result="check-in"} 2)",
      R"(vrel_server_refusals_total{reason="unknown-licence"} 3)",
      R"(vrel_server_request_duration_seconds_count{route="/v1/activate"} 15)"}},
    {"GET", "/nowhere", "", Auth::kNone, 404, {"no such route"}},
    {"PUT", "/v1/activate", "", Auth::kNone, 405, {"POST"}},
    {"PUT", "/v1/machines/1", "", Auth::kAdmin, 405, {"GET, DELETE"}},
    {"GET", "/v1/licences/1x", "", Auth::kAdmin, 404, {}},
    {"GET", "/v1/licences/1234567890123456789", "", Auth::kAdmin, 404, {}},
    {"GET", "/v1/licences/77", "", Auth::kAdmin, 404, {R"({"error":"no licence 77"})"}},
    {"GET", "/v1/machines/77", "", Auth::kAdmin, 404, {R"({"error":"no machine 77"})"}},
    {"GET", "/v1/licences?after=1", "", Auth::kAdmin, 200, {R"("next":null)"}},
    {"POST", "/v1/licences", R"({"ttl":5})", Auth::kAdmin, 400, {R"(\"seats\" is needed)"}},
    {"POST", "/v1/licences", R"({"seats":1,"ttl":"5"})", Auth::kAdmin, 400, {"ttl"}},
    {"POST", "/v1/licences", R"({"seats":1,"expires":"1969-12-31T23:59:59Z"})", Auth::kAdmin, 400,
     {"expires"}},
    {"POST", "/v1/licences", R"({"seats":1,"expires":7})", Auth::kAdmin, 400, {"expires"}},
    {"POST", "/v1/licences", "[]", Auth::kAdmin, 400, {"not a JSON object"}},
    {"POST", "/v1/licences/", "", Auth::kAdmin, 404, {}},
};

std::string Replace(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values)
    for (std::size_t at; (at = text.find(name)) != std::string::npos;)
      text.replace(at, name.size(), value);
  return text;
}

std::string Tool(const std::string& uri, const std::string& command) {
  std::string output;
  FILE* pipe =
      popen((std::string(VREL_REGISTRY_TOOL) + " --db '" + uri + "' " + command).c_str(), "r");
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
  pclose(pipe);
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

std::string Key(const std::string& created) {
  const std::size_t at = created.find("\"key\":\"");
  return at == std::string::npos ? "" : created.substr(at + 7, 35);
}

class ServerApiTest : public BackendTest {};

TEST_P(ServerApiTest, AnswersEveryRouteAsTheTableSays) {
  ServerFiles files;
  ServerProcess server({"--db", uri_, "--signing-key", files.signingKey, "--listen", "127.0.0.1:0",
                        "--admin-token-file", files.adminTokenFile});
  HttpClient client(server.port());  // one keep-alive connection for every row
  const std::string admin = files.adminToken;
  const std::string k1 = Key(
      client.Call("POST", "/v1/licences", R"({"seats":2,"name":"Ltd","application":"App"})", admin)
          .body);
  const std::string k2 = Key(client.Call("POST", "/v1/licences", R"({"seats":1})", admin).body);
  ASSERT_EQ(k1.size(), 35u);
  std::string k1Typed;
  for (char c : k1)
    if (c != '-') k1Typed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::map<std::string, std::string> values = {{"$K1", k1},
                                                     {"$k1", k1Typed},
                                                     {"$K2", k2},
                                                     {"$A", FormatToken(Fp("1 11 12 13 14"))},
                                                     {"$B", FormatToken(Fp("1 21 22 23 24"))},
                                                     {"$C", FormatToken(Fp("1 31 32 33 34"))}};
  for (const Row& row : kRows) {
    const std::string bearer = row.auth == Auth::kAdmin   ? admin
                               : row.auth == Auth::kWrong ? admin + "x"
                                                          : "";
    test::HttpReply reply = client.Call(row.method, row.target, Replace(row.body, values), bearer);
    SCOPED_TRACE(std::string(row.method) + " " + row.target + " " + row.body + " -> " + reply.body);
    EXPECT_EQ(reply.status, row.status);
    EXPECT_EQ(reply.body.empty() ? '?' : reply.body.back(),
              row.target == std::string("/metrics") ? '\n' : '}');
    for (const char* member : row.members)
      EXPECT_NE(reply.body.find(member), std::string::npos) << member;
    if (row.status == 401) {
      EXPECT_EQ(reply.headers["www-authenticate"], "Bearer realm=\"vrel-server\"");
    }
  }
  // The administration answers are the tool's own objects.
  for (const auto& [target, command] :
       std::vector<std::pair<std::string, std::string>>{{"/v1/licences/1", "licence show 1"},
                                                        {"/v1/machines/1", "show 1"},
                                                        {"/v1/shared", "stats"}}) {
    EXPECT_EQ(client.Call("GET", target, "", admin).body, Tool(uri_, command)) << target;
  }
  EXPECT_EQ(
      client.Call("POST", "/v1/identify", R"({"token":")" + values.at("$B") + "\"}", admin).body,
      Replace(Tool(uri_, "identify " + values.at("$B")), {{"\"line\":1,", ""}}));
  // The log names routes, never a key, a token or the administration token.
  const std::string log = server.Log();
  for (const std::string& secret : {k1, k2, admin, values.at("$A")})
    EXPECT_EQ(log.find(secret), std::string::npos);
  EXPECT_NE(log.find(R"("route":"/v1/licences/{id}/revoke","status":200)"), std::string::npos);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerApiTest, ::testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vrel::registry
