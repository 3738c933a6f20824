// vrel-server's defences, each as a client meets it: usage errors, bounded
// bodies and headers answered before a lingering close, slow and idle clients
// dropped, the connection cap, the limit on refused keys, the administration
// routes absent without a token, a database failure and SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>

#include "backends.h"
#include "server_harness.h"

namespace vrel::registry {
namespace {

using test::HttpClient;
using test::RawConnection;
using test::ServerFiles;
using test::ServerProcess;
using namespace std::chrono_literals;

class ServerDefencesTest : public ::testing::Test {
 protected:
  // A server on a new SQLite registry, with `extra` arguments.
  std::unique_ptr<ServerProcess> Start(std::vector<std::string> extra = {}, bool admin = true) {
    std::vector<std::string> args = {"--db",     uri_,         "--signing-key", files_.signingKey,
                                     "--listen", "127.0.0.1:0"};
    if (admin) extra.insert(extra.end(), {"--admin-token-file", files_.adminTokenFile});
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<ServerProcess>(args);
  }
  std::string Licence(HttpClient& client, int seats) {
    const std::string body =
        client
            .Call("POST", "/v1/licences",
                  "{\"application\":\"App\",\"seats\":" + std::to_string(seats) + "}",
                  files_.adminToken)
            .body;
    return body.substr(body.find("\"key\":\"") + 7, 35);
  }
  static std::string Activation(const std::string& key, const std::string& machine) {
    return R"({"key":")" + key + R"(","token":")" + FormatToken(Fp("1 " + machine)) + "\"}";
  }
  ServerFiles files_;
  std::string uri_ = "sqlite:" + files_.folder + "/registry.db";
};

TEST_F(ServerDefencesTest, RefusesABadCommandLineWithExitTwo) {
  const std::string key = files_.signingKey;
  const struct {
    std::vector<std::string> args;
    int exit;
    const char* message;
  } rows[] = {
      {{"--help"}, 0, ""},
      {{"--version"}, 0, ""},
      {{"--signing-key", key}, 2, "--listen HOST:PORT is needed"},
      {{"--listen", "127.0.0.1:1"}, 2, "--signing-key PATH is needed"},
      {{"--signing-key", key, "--listen", "127.0.0.1"}, 2, "--listen takes HOST:PORT"},
      {{"--signing-key", key, "--listen", "127.0.0.1:65536"}, 2, "port"},
      {{"--signing-key", key, "--listen", "0.0.0.0:0"}, 2, "not a loopback address"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--tls-cert", files_.cert},
       2,
       "--tls-cert and --tls-key go together"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--tls-cert", files_.key, "--tls-key",
        files_.key},
       2,
       "--tls-cert"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--threads", "0"}, 2, "--threads"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--colour"}, 2, "unknown argument"},
      {{"--signing-key", files_.cert, "--listen", "127.0.0.1:0"}, 2, files_.cert.c_str()},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--admin-token-file", files_.cert},
       2,
       "group or others"},
      {{"--db", "mysql://x", "--signing-key", key, "--listen", "127.0.0.1:0"}, 2, "mysql"},
      {{"--signing-key", key, "--listen", ":80"}, 2, "--listen takes HOST:PORT"},
      {{"--signing-key", key, "--listen", "vrel-test.invalid:1"}, 2, "no address for"},
      {{"-h"}, 0, ""},
      {{"--signing-key", key, "--listen", "[]:80"}, 2, "--listen takes [IPV6]:PORT"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--insecure-listen=yes"}, 2, "unknown"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--threads="}, 2, "--threads"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--threads", "1x"}, 2, "--threads"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--threads", "99999999999999999999"},
       2,
       "--threads"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--threads", "100000"}, 2, "--threads"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--threads", "-1"}, 2, "--threads"},
      {{"--signing-key", key, "--listen", "[::1:80"}, 2, "--listen takes [IPV6]:PORT"},
      {{"--signing-key=" + key, "--listen=127.0.0.1:0", "--shared-at=1"}, 2, "--shared-at"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--history", "x"}, 2, "--history"},
      {{"--signing-key", key, "--listen"}, 2, "--listen needs a value"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--admin-token-file",
        files_.folder + "/none"},
       2,
       "cannot read"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--admin-token-file",
        files_.folder + "/short"},
       2,
       "the token in"},
      {{"--signing-key", key, "--listen", "127.0.0.1:0", "--tls-cert", files_.cert, "--tls-key",
        key},
       2,
       "--tls-key"},
      {{"--db", "sqlite:" + files_.folder + "/none/r.db", "--signing-key", key, "--listen",
        "127.0.0.1:0"},
       3,
       "the registry"},
  };
  std::ofstream(files_.folder + "/short") << "too short\n";
  chmod((files_.folder + "/short").c_str(), 0600);
  for (const auto& row : rows) {
    ServerProcess server(row.args, false);
    EXPECT_EQ(server.Wait(), row.exit) << row.args.back();
    EXPECT_NE(server.Log().find(row.message), std::string::npos) << server.Log();
  }
  // Behind a proxy that terminates TLS, any address is taken when asked for explicitly.
  ServerProcess open(
      {"--db", uri_, "--signing-key", key, "--listen", "0.0.0.0:0", "--insecure-listen"});
  EXPECT_EQ(HttpClient(open.port()).Call("GET", "/healthz").status, 200u);
}

TEST_F(ServerDefencesTest, AnswersOversizedRequestsBeforeALingeringClose) {
  auto server = Start({"--tls-cert", files_.cert, "--tls-key", files_.key});
  auto plain = Start();
  const struct {
    std::string head;
    std::size_t bodyBytes;
    const char* status;
  } rows[] = {
      {"POST /v1/activate HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\n\r\n", 300000,
       "HTTP/1.1 413 "},
      {"GET /healthz HTTP/1.1\r\nHost: x\r\nX-Filler: " + std::string(20000, 'a') + "\r\n\r\n", 0,
       "HTTP/1.1 431 "},
      {"GET /healthz HTTP/1.1\r\nHost: x\r\n" + std::string(9000, 'b') + "\r\n", 300000,
       "HTTP/1.1 431 "},  // the client goes on sending after the answer
      {"BREW /healthz HTTP/9.9\r\n\r\n", 0, "HTTP/1.1 400 "},
  };
  for (const auto& row : rows) {
    RawConnection connection(plain->port());
    // The rest is sent after the answer: the server reads and drops it, so the
    // send completes and the answer survives (a plain close would reset both).
    EXPECT_TRUE(connection.Send(row.head));
    for (int part = 0; part < 3; ++part) {
      std::this_thread::sleep_for(50ms);
      EXPECT_TRUE(connection.Send(std::string(row.bodyBytes / 3, 'x')));
    }
    connection.ShutWrite();
    const RawConnection::Received received = connection.ReadUntilClosed(5s);
    EXPECT_EQ(received.bytes.rfind(row.status, 0), 0u) << received.bytes.substr(0, 80);
    EXPECT_NE(received.bytes.find("Connection: close"), std::string::npos);
    EXPECT_TRUE(received.closed && !received.reset && !received.timedOut);
  }
  // Over TLS: the answer read whole from a client still writing its body.
  HttpClient tls(server->port(), true);
  EXPECT_EQ(tls.Call("POST", "/v1/activate", std::string(1 << 20, 'x')).status, 413u);
  EXPECT_EQ(HttpClient(server->port(), true).Call("GET", "/healthz").status, 200u);
}

// What HTTP/1.1 clients may send besides one request at a time: requests pipelined on one
// connection, each answered in turn; a body sent only after "100 Continue".
TEST_F(ServerDefencesTest, AnswersPipelinedRequestsAndContinues) {
  auto server = Start();
  RawConnection pipelined(server->port());
  ASSERT_TRUE(
      pipelined.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\nGET /metrics HTTP/1.1\r\n"
                     "Host: x\r\nConnection: close\r\n\r\n"));
  const std::string both = pipelined.ReadUntilClosed(5s).bytes;
  EXPECT_EQ(both.rfind("HTTP/1.1 200 ", 0), 0u);
  EXPECT_NE(both.find("HTTP/1.1 200 ", 1), std::string::npos);
  for (const char* credentials : {"Basic YWRtaW46YWRtaW4=", "Bearer", "bearer x"}) {
    RawConnection other(server->port());  // another scheme, or none, is no administrator
    ASSERT_TRUE(other.Send(std::string("GET /v1/licences HTTP/1.1\r\nHost: x\r\nAuthorization: ") +
                           credentials + "\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(other.ReadUntilClosed(5s).bytes.rfind("HTTP/1.1 401 ", 0), 0u) << credentials;
  }
  RawConnection old(server->port());  // HTTP/1.0: answered in kind, then closed
  ASSERT_TRUE(old.Send("GET /healthz HTTP/1.0\r\n\r\n"));
  const RawConnection::Received once = old.ReadUntilClosed(5s);
  EXPECT_EQ(once.bytes.rfind("HTTP/1.0 200 ", 0), 0u) << once.bytes;
  EXPECT_TRUE(once.closed);
  RawConnection continued(server->port());
  const std::string body = R"({"key":"x","token":"junk"})";
  ASSERT_TRUE(
      continued.Send("POST /v1/activate HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
                     "Connection: close\r\nContent-Length: " +
                     std::to_string(body.size()) + "\r\n\r\n"));
  std::this_thread::sleep_for(200ms);  // the interim answer comes before the body is sent
  ASSERT_TRUE(continued.Send(body));
  const std::string answers = continued.ReadUntilClosed(5s).bytes;
  EXPECT_EQ(answers.rfind("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 400 ", 0), 0u) << answers;
}

TEST_F(ServerDefencesTest, DropsSlowAndIdleClientsWhileServingOthers) {
  // One I/O thread: a connection held by a slow client would starve the rest.
  auto server = Start({"--threads", "1", "--request-timeout", "1", "--idle-timeout", "3"});
  RawConnection idle(server->port()), slow(server->port());
  const std::string request = "POST /v1/activate HTTP/1.1\r\n";
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; std::chrono::steady_clock::now() - start < 2500ms; ++i) {
    slow.Send(request.substr(i % request.size(), 1));  // fails once dropped
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpClient(server->port()).Call("GET", "/healthz").status, 200u);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 200ms);
    std::this_thread::sleep_for(500ms);
  }
  EXPECT_FALSE(slow.ReadUntilClosed(100ms).timedOut);  // dropped after its one second
  EXPECT_TRUE(idle.ReadUntilClosed(100ms).timedOut);   // still waited for, 2.5 s in
  EXPECT_TRUE(idle.ReadUntilClosed(1500ms).closed);    // closed at 3 s
}

TEST_F(ServerDefencesTest, CapsConnections) {
  auto server = Start({"--max-connections", "3"});
  std::vector<std::unique_ptr<HttpClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<HttpClient>(server->port()));
    EXPECT_EQ(clients.back()->Call("GET", "/healthz").status, 200u);
  }
  RawConnection extra(server->port());
  const RawConnection::Received refused = extra.ReadUntilClosed(2s);
  EXPECT_TRUE(refused.bytes.empty() && !refused.timedOut);
  clients.pop_back();
  std::this_thread::sleep_for(200ms);  // the server sees the close
  HttpClient next(server->port());
  EXPECT_EQ(next.Call("GET", "/healthz").status, 200u);
  EXPECT_NE(next.Call("GET", "/metrics").body.find("vrel_server_connections_refused_total 1\n"),
            std::string::npos);
}

TEST_F(ServerDefencesTest, LimitsRefusedKeysPerAddressButNotKeysItUsed) {
  auto server = Start();
  HttpClient client(server->port());
  const std::string used = Licence(client, 5), unused = Licence(client, 5);
  EXPECT_EQ(client.Call("POST", "/v1/activate", Activation(used, "11 12 13 14")).status, 200u);
  int refused = 0;
  for (; refused < 100; ++refused) {
    const std::string guess = "7K3QD-0ZM4X-7K3QD-0ZM4X-7K3QD-" + std::to_string(10000 + refused);
    test::HttpReply reply =
        client.Call("POST", refused % 2 ? "/v1/activate" : "/v1/deactivate",
                    Activation(refused % 3 ? guess : "wrong form", "21 22 23 24"));
    if (reply.status == 429) {
      EXPECT_GT(std::stoi(reply.headers["retry-after"]), 0);
      break;
    }
    EXPECT_EQ(reply.status, 403u);
  }
  EXPECT_EQ(refused, 30);  // "a few dozen"
  const struct {
    std::string key;
    const char* machine;
    unsigned status;
  } rows[] = {
      {"7K3QD-0ZM4X-7K3QD-0ZM4X-7K3QD-00000", "31 32 33 34", 429},
      {"wrong form", "31 32 33 34", 429},
      {unused, "31 32 33 34", 429},  // a good key, but never used from here
      {used, "41 42 43 44", 200},    // the address's own traffic goes on
      {used, "11 12 13 14", 200},
  };
  for (const auto& row : rows)
    EXPECT_EQ(client.Call("POST", "/v1/activate", Activation(row.key, row.machine)).status,
              row.status)
        << row.key;
  // Nothing was stored for a refused request: two machines, both activated.
  EXPECT_NE(client.Call("GET", "/v1/shared", "", files_.adminToken).body.find("\"machines\":2,"),
            std::string::npos);
}

TEST_F(ServerDefencesTest, HasNoAdministrationWithoutAToken) {
  auto server = Start({}, false);
  HttpClient client(server->port());
  for (const char* target : {"/v1/licences", "/v1/licences/1", "/v1/machines/1", "/v1/shared"})
    EXPECT_EQ(client.Call("GET", target, "", "anything").status, 404u) << target;
  EXPECT_EQ(client.Call("POST", "/v1/activate", Activation("x", "1 2 3 4")).status, 403u);
}

TEST_F(ServerDefencesTest, StopsOnSigtermAfterAnsweringWhatIsInFlight) {
  auto server = Start();
  std::string key;
  {
    HttpClient client(server->port());
    key = Licence(client, 1);
  }
  HttpClient idleClient(server->port());
  EXPECT_EQ(idleClient.Call("GET", "/healthz").status, 200u);
  RawConnection busy(server->port());
  const std::string body = Activation(key, "11 12 13 14");
  const std::string head =
      "POST /v1/activate HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\n\r\n";
  ASSERT_TRUE(busy.Send(head + body.substr(0, 10)));
  std::this_thread::sleep_for(100ms);
  auto stopped = std::async(std::launch::async, [&] { return server->Stop(SIGTERM); });
  std::this_thread::sleep_for(300ms);
  EXPECT_THROW(HttpClient{server->port()}, std::exception);  // no longer accepting
  ASSERT_TRUE(busy.Send(body.substr(10)));
  const RawConnection::Received answer = busy.ReadUntilClosed(5s);
  EXPECT_EQ(answer.bytes.rfind("HTTP/1.1 200 ", 0), 0u) << answer.bytes.substr(0, 80);
  EXPECT_NE(answer.bytes.find("Connection: close"), std::string::npos);
  EXPECT_TRUE(answer.closed);
  EXPECT_EQ(stopped.get(), 0);
  EXPECT_THROW(idleClient.Call("GET", "/healthz"), std::exception);  // closed by the server
  // The answer was committed before it was sent.
  auto again = Start();
  EXPECT_NE(HttpClient(again->port())
                .Call("GET", "/v1/licences/1", "", files_.adminToken)
                .body.find(R"("seats":{"used":1,"total":1})"),
            std::string::npos);
}

// Two servers on one PostgreSQL: eight machines race through both for a licence's last seat,
// and exactly one gets it.
TEST(ServerDatabaseTest, TwoServersHoldASeatLimitTogether) {
  if (!NeedPostgres()) GTEST_SKIP() << "no PostgreSQL server";
  ServerFiles files;
  const std::string uri = PostgresUri(files.folder);
  std::vector<std::unique_ptr<ServerProcess>> servers;
  for (int i = 0; i < 2; ++i) {
    servers.push_back(std::make_unique<ServerProcess>(
        std::vector<std::string>{"--db", uri, "--signing-key", files.signingKey, "--listen",
                                 "127.0.0.1:0", "--admin-token-file", files.adminTokenFile}));
  }
  HttpClient admin(servers[0]->port());
  const std::string made =
      admin.Call("POST", "/v1/licences", R"({"seats":2,"application":"A"})", files.adminToken).body;
  const std::string key = nlohmann::json::parse(made)["key"];
  const auto activate = [&](int server, const std::string& machine) {
    const std::string body =
        R"({"key":")" + key + R"(","token":")" + FormatToken(Fp("1 " + machine)) + "\"}";
    return HttpClient(servers[server]->port()).Call("POST", "/v1/activate", body).status;
  };
  ASSERT_EQ(activate(1, "2 3 4 5"), 200u);
  std::vector<std::future<unsigned>> racers;
  for (int i = 0; i < 8; ++i) {
    const std::string machine = std::to_string(10 + i) + " 2" + std::to_string(i) + " 3" +
                                std::to_string(i) + " 4" + std::to_string(i);
    racers.push_back(std::async(std::launch::async, activate, i % 2, machine));
  }
  std::vector<unsigned> statuses;
  for (auto& racer : racers) statuses.push_back(racer.get());
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 200u), 1);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 403u), 7);
}

TEST(ServerDatabaseTest, AnswersUnavailableWhileTheDatabaseIsGoneThenReconnects) {
  if (!NeedPostgres()) GTEST_SKIP() << "no PostgreSQL server";
  ServerFiles files;
  const std::string uri = PostgresUri(files.folder);
  ServerProcess server({"--db", uri, "--signing-key", files.signingKey, "--listen", "127.0.0.1:0",
                        "--writers", "1", "--readers", "1"});
  HttpClient client(server.port());
  EXPECT_EQ(client.Call("GET", "/healthz").status, 200u);
  std::string why;
  test::PostgresServer* postgres = test::PostgresServer::Shared(why);
  // Every connection of the server's ends, as in a database restart.
  const std::string restart =
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
      "WHERE backend_type = 'client backend' AND pid <> pg_backend_pid()";
  postgres->Execute(restart);
  std::vector<unsigned> statuses;
  for (int i = 0; i < 4; ++i) statuses.push_back(client.Call("GET", "/healthz").status);
  EXPECT_EQ(statuses.front(), 503u);
  EXPECT_EQ(statuses.back(), 200u);
  EXPECT_NE(client.Call("GET", "/metrics").body.find("vrel_server_database_errors_total 1\n"),
            std::string::npos);
  EXPECT_NE(server.Log().find(R"("status":503,)"), std::string::npos);
  // So for the writers: the write the restart catches is 503, the next one answered.
  const std::string body = R"({"key":"x","token":")" + FormatToken(Fp("1 2 3 4 5")) + "\"}";
  for (const char* route : {"/v1/activate", "/v1/deactivate"}) {
    postgres->Execute(restart);
    EXPECT_EQ(client.Call("POST", route, body).status, 503u) << route;
    EXPECT_EQ(client.Call("POST", route, body).status, 403u) << route;
  }
}

}  // namespace
}  // namespace vrel::registry
