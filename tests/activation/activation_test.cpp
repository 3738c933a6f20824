// Activation against a licence server on loopback, through the platform's HTTP stack (libcurl,
// WinHTTP): one table of cases, each run through vrel::Activate or vrel::Deactivate and again
// through the C interface. The server is a column: an environment variable holding its URL
// (stand_in.py sets VREL_STAND_IN, VREL_STAND_IN_TLS and VREL_CLOSED) or a URL; a server whose
// variable is not set skips its rows with a line saying so.
#include "vrel/activation/activation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "licence_machine.h"
#include "vrel/c/vrel_c.h"

namespace vrel {
namespace {

namespace fs = std::filesystem;
using E = ActivationError;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Data(const char* name) { return ReadText(fs::path(VREL_LICENCE_DATA) / name); }

// What a row sets besides the server and the key.
enum class Setup {
  kNone,
  kShortTimeout,   // one second for the whole exchange
  kTrustStandIn,   // the stand-in's self-signed certificate as the CA file
  kMissingCaFile,  // a CA file that does not exist
  kTrustSigner,    // check the file: data/'s signer key (the file's), the fixture's clock
  kTrustStranger,  // check the file: another key
  kNoFolder,       // the licence path in a folder that does not exist
};

// Windows trusts its own certificate store only: the CA file is not read there, so the stand-in's
// self-signed certificate stays untrusted.
#ifdef _WIN32
constexpr E kPrivateCa = E::kCertificate;
#else
constexpr E kPrivateCa = E::kNone;
#endif

constexpr struct Row {
  const char* what;
  const char* server;  // an environment variable with the server's URL, or a URL
  const char* key;     // the licence key, which picks the stand-in's answer
  bool deactivate;
  Setup setup;
  E error;
  int status;
  const char* reason;
  std::int64_t retryMin = 0, retryMax = 0;
} kRows[] = {
    {"activated, the file written", "VREL_STAND_IN", "ok", false, Setup::kNone, E::kNone, 200, ""},
    {"check-in: the token sent is the fixture file's machine", "VREL_STAND_IN", "same-machine",
     false, Setup::kNone, E::kNone, 200, ""},
    {"refused: no seat left", "VREL_STAND_IN", "refused", false, Setup::kNone, E::kRefused, 403,
     "no-seat"},
    {"refused: an unknown key", "VREL_STAND_IN", "nobody", false, Setup::kNone, E::kRefused, 403,
     "unknown-licence"},
    {"400: the server could not read it", "VREL_STAND_IN", "bad", false, Setup::kNone,
     E::kBadRequest, 400, ""},
    {"429 with Retry-After in seconds", "VREL_STAND_IN", "limited", false, Setup::kNone,
     E::kTooManyRequests, 429, "", 7, 7},
    {"429 with Retry-After as a date two minutes ahead", "VREL_STAND_IN", "limited-until", false,
     Setup::kNone, E::kTooManyRequests, 429, "", 100, 121},
    {"500 with no JSON", "VREL_STAND_IN", "broken", false, Setup::kNone, E::kServerError, 500, ""},
    {"503: the database unavailable", "VREL_STAND_IN", "unavailable", false, Setup::kNone,
     E::kServerError, 503, ""},
    {"200 with HTML (a captive portal)", "VREL_STAND_IN", "garbage", false, Setup::kNone,
     E::kBadAnswer, 200, ""},
    {"200 without a licence file", "VREL_STAND_IN", "no-file", false, Setup::kNone, E::kBadAnswer,
     200, ""},
    {"an answer larger than any licence server's", "VREL_STAND_IN", "huge", false, Setup::kNone,
     E::kBadAnswer, 0, ""},
    {"403 that is not a licence server's", "VREL_STAND_IN", "proxy-refusal", false, Setup::kNone,
     E::kBadAnswer, 403, ""},
    {"200 that says it did not activate", "VREL_STAND_IN", "not-done", false, Setup::kNone,
     E::kBadAnswer, 200, ""},
    {"a redirect, not followed", "VREL_STAND_IN", "moved", false, Setup::kNone, E::kBadAnswer, 302,
     ""},
    {"403 of a licence server that gives no reason", "VREL_STAND_IN", "refused-bare", true,
     Setup::kNone, E::kBadAnswer, 403, ""},
    {"an answer slower than the timeout", "VREL_STAND_IN", "slow", false, Setup::kShortTimeout,
     E::kTimeout, 0, ""},
    {"connection refused: nothing listens", "VREL_CLOSED", "ok", false, Setup::kNone,
     E::kNoConnection, 0, ""},
    {"a name that never resolves (RFC 6761 .invalid)", "http://vrel-test.invalid", "ok", false,
     Setup::kNone, E::kNameNotResolved, 0, ""},
    {"not an http or https URL", "ftp://127.0.0.1/", "ok", false, Setup::kNone, E::kBadUrl, 0, ""},
    {"a self-signed certificate", "VREL_STAND_IN_TLS", "ok", false, Setup::kNone, E::kCertificate,
     0, ""},
    {"a private CA trusted through the CA file", "VREL_STAND_IN_TLS", "ok", false,
     Setup::kTrustStandIn, kPrivateCa, kPrivateCa == E::kNone ? 200 : 0, ""},
    {"a CA file that does not exist", "VREL_STAND_IN_TLS", "ok", false, Setup::kMissingCaFile,
     E::kCertificate, 0, ""},
    {"the file checked and valid, then written", "VREL_STAND_IN", "ok", false, Setup::kTrustSigner,
     E::kNone, 200, ""},
    {"the file checked: signed by a key not trusted", "VREL_STAND_IN", "ok", false,
     Setup::kTrustStranger, E::kNotValid, 200, "unknown-key"},
    {"the licence path in a missing folder", "VREL_STAND_IN", "ok", false, Setup::kNoFolder,
     E::kWriteFailed, 200, ""},
    {"deactivated", "VREL_STAND_IN", "ok", true, Setup::kNone, E::kNone, 200, ""},
    {"deactivation refused: not activated", "VREL_STAND_IN", "refused", true, Setup::kNone,
     E::kRefused, 403, "not-activated"},
    {"deactivation, 503", "VREL_STAND_IN", "unavailable", true, Setup::kNone, E::kServerError, 503,
     ""},
};

class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("VREL_STAND_IN") == nullptr) GTEST_SKIP() << "run through stand_in.py";
    folder_ =
        fs::temp_directory_path() / ("vrel-activation-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder_);
    licence_ = Data("valid.lic");
  }
  void TearDown() override { fs::remove_all(folder_); }

  // The row's server URL, or "" (and a line saying so) when its variable is not set.
  static std::string Url(const Row& row) {
    if (std::string(row.server).rfind("VREL_", 0) != 0) return row.server;
    const char* url = std::getenv(row.server);
    if (url == nullptr) std::cout << "skipped, " << row.server << " not set: " << row.what << "\n";
    return url != nullptr ? url : "";
  }

  ActivationOptions Options(const Row& row) const {
    ActivationOptions options;
    if (row.setup == Setup::kShortTimeout) options.timeoutMs = 1000;
    if (row.setup == Setup::kTrustStandIn) options.caFile = std::getenv("VREL_STAND_IN_CA");
    if (row.setup == Setup::kMissingCaFile) options.caFile = (folder_ / "none.pem").string();
    if (row.setup == Setup::kTrustSigner || row.setup == Setup::kTrustStranger) {
      const std::string key =
          Data(row.setup == Setup::kTrustSigner ? "signer.pub" : "stranger.pub");
      options.trustedPublicKeys = {key.substr(0, key.find('\n'))};
      options.application = test::kLicenceApp;
      options.licenceOptions.now = test::kIssued + test::kDay;
    }
    return options;
  }

  std::string Path(const Row& row) const {
    return ((row.setup == Setup::kNoFolder ? folder_ / "missing" : folder_) / "app.lic").string();
  }

  // Before an activation the path holds an old file; after it, the new file on success and the
  // old one whole otherwise, and never a partly written one beside it.
  void PutOldFile(const std::string& path) const {
    std::ofstream(path, std::ios::binary) << "old licence\n";
  }
  void ExpectFile(const Row& row, const std::string& path) const {
    if (row.deactivate || row.setup == Setup::kNoFolder) return;
    EXPECT_EQ(ReadText(path), row.error == E::kNone ? licence_ : "old licence\n");
    EXPECT_FALSE(fs::exists(path + ".new"));
  }

  fs::path folder_;
  std::string licence_;
};

TEST_F(ActivationTest, EachAnswerItsOwnResult) {
  test::FakeMachine machine;  // the fixture licence's machine, so that its file checks as valid
  test::ScriptLicenceMachine(machine, true);
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    const std::string url = Url(row);
    if (url.empty()) continue;
    const std::string path = Path(row);
    PutOldFile(path);
    const ActivationOptions options = Options(row);
    const ActivationResult result =
        row.deactivate ? Deactivate(url, row.key, test::kLicenceAppKey, options)
                       : Activate(url, row.key, test::kLicenceAppKey, path, options);
    EXPECT_EQ(ActivationErrorName(result.error), std::string(ActivationErrorName(row.error)))
        << result.message;
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.reason, row.reason);
    EXPECT_GE(result.retryAfter, row.retryMin);
    EXPECT_LE(result.retryAfter, row.retryMax);
    EXPECT_EQ(result.licenceFile.empty(), row.deactivate || result.status != 200 ||
                                              result.error == E::kNotValid ||
                                              result.error == E::kBadAnswer);
    EXPECT_EQ(result.message.empty(), result.error == E::kNone);
    ExpectFile(row, path);
  }
}

#ifdef _WIN32
// WinHTTP's code for the self-signed certificate: Windows reports ERROR_WINHTTP_SECURE_FAILURE
// (12175) for a chain it does not trust; Wine 8 fails the handshake itself with
// ERROR_WINHTTP_SECURE_CHANNEL_ERROR (12157). Both are kCertificate.
TEST_F(ActivationTest, SelfSignedCertificateCodeIsThePlatforms) {
  const ActivationResult result =
      Activate(std::getenv("VREL_STAND_IN_TLS"), "ok", "key", (folder_ / "app.lic").string());
  EXPECT_EQ(result.message, test::UnderWine() ? "WinHTTP error 12157" : "WinHTTP error 12175");
}
#endif

// The same rows through vrel_activate and vrel_deactivate, but those that need the fixture's
// machine (the C interface's library reads the real one): the code, the result's members, the file.
TEST_F(ActivationTest, TheCInterfaceAnswersAlike) {
  std::vector<char> buffer(VREL_MAX_ACTIVATION_RESULT + 1);
  const std::string key = test::kLicenceAppKey;
  for (const Row& row : kRows) {
    if (row.setup == Setup::kTrustSigner || std::string(row.key) == "same-machine") continue;
    SCOPED_TRACE(row.what);
    const std::string url = Url(row);
    if (url.empty()) continue;
    const std::string path = Path(row), state = (folder_ / "state").string();
    const ActivationOptions cpp = Options(row);
    const std::string keys = cpp.trustedPublicKeys.empty() ? "" : cpp.trustedPublicKeys[0] + "\n";
    const vrel_activation_options options{
        sizeof(vrel_activation_options),
        0,
        static_cast<int>(row.setup == Setup::kShortTimeout ? cpp.timeoutMs : 0),
        cpp.caFile.empty() ? nullptr : cpp.caFile.c_str(),
        keys.empty() ? nullptr : keys.c_str(),
        cpp.application.c_str(),
        state.c_str()};
    PutOldFile(path);
    const int code = row.deactivate
                         ? vrel_deactivate(url.c_str(), row.key, key.data(), key.size(), &options,
                                           buffer.data(), buffer.size())
                         : vrel_activate(url.c_str(), row.key, key.data(), key.size(), path.c_str(),
                                         &options, buffer.data(), buffer.size());
    EXPECT_EQ(code, row.error == E::kNone ? 0 : -6 - static_cast<int>(row.error));
    const nlohmann::json json = nlohmann::json::parse(buffer.data());
    EXPECT_EQ(json["error"], ActivationErrorName(row.error));
    EXPECT_EQ(json["status"], row.status);
    EXPECT_EQ(json["reason"], row.reason);
    EXPECT_GE(json["retryAfter"], row.retryMin);
    EXPECT_LE(json["retryAfter"], row.retryMax);
    EXPECT_EQ(json["answer"].is_object(), row.status != 0 && std::string(row.key) != "broken" &&
                                              std::string(row.key) != "garbage" &&
                                              std::string(row.key) != "proxy-refusal" &&
                                              std::string(row.key) != "moved");
    ExpectFile(row, path);
  }
}

// What the C interface refuses before it asks: NULL texts, an empty key; then a result too small
// (the code still comes back, nothing is written), and an options struct from an older caller
// whose `size` ends before timeout_ms (which is then the default: the slow answer arrives).
TEST_F(ActivationTest, TheCInterfaceArguments) {
  const std::string url = std::getenv("VREL_STAND_IN"), path = (folder_ / "c.lic").string();
  char small[8] = "unused";
  EXPECT_EQ(vrel_activate(nullptr, "ok", "k", 1, path.c_str(), nullptr, nullptr, 0),
            VREL_E_NULL_ARGUMENT);
  EXPECT_EQ(vrel_activate(url.c_str(), "ok", "k", 1, nullptr, nullptr, nullptr, 0),
            VREL_E_NULL_ARGUMENT);
  EXPECT_EQ(vrel_deactivate(url.c_str(), nullptr, "k", 1, nullptr, nullptr, 0),
            VREL_E_NULL_ARGUMENT);
  EXPECT_EQ(vrel_deactivate(url.c_str(), "ok", "k", 1, nullptr, nullptr, 4), VREL_E_NULL_ARGUMENT);
  EXPECT_EQ(vrel_activate(url.c_str(), "ok", "k", 0, path.c_str(), nullptr, nullptr, 0),
            VREL_E_EMPTY_KEY);
  EXPECT_EQ(vrel_deactivate(url.c_str(), "ok", "k", 0, nullptr, nullptr, 0), VREL_E_EMPTY_KEY);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(
      vrel_activate(url.c_str(), "refused", "k", 1, path.c_str(), nullptr, small, sizeof small),
      VREL_E_REFUSED);
  EXPECT_STREQ(small, "unused");
  vrel_activation_options older{};
  older.size = offsetof(vrel_activation_options, timeout_ms);
  older.timeout_ms = 1000;
  EXPECT_EQ(vrel_activate(url.c_str(), "slow", "k", 1, path.c_str(), &older, nullptr, 0), 0);
  EXPECT_EQ(ReadText(path), licence_);
}

// Against the real vrel-server on this machine's own token: activated with the file checked
// here, checked in (the same seat), refused with each reason, given back.
TEST_F(ActivationTest, AgainstVrelServer) {
  const char* url = std::getenv("VREL_SERVER");
  if (url == nullptr) GTEST_SKIP() << "no vrel-server built natively";
  std::istringstream lines(std::getenv("VREL_SERVER_KEYS"));
  std::string key, full, publicKey;
  std::getline(lines, key);
  std::getline(lines, full);
  std::getline(lines, publicKey);
  ActivationOptions options;
  options.trustedPublicKeys = {publicKey};
  options.application = "vrel test application";
  const std::string path = (folder_ / "app.lic").string();
  const auto answer = [](const ActivationResult& r) { return nlohmann::json::parse(r.answer); };
  const ActivationResult first = Activate(url, key, "app key", path, options);
  ASSERT_TRUE(first.ok()) << first.message;
  EXPECT_TRUE(answer(first)["newSeat"].get<bool>());
  EXPECT_EQ(ReadText(path), first.licenceFile);
  const ActivationResult again = Activate(std::string(url) + "/", key, "app key", path, options);
  ASSERT_TRUE(again.ok()) << again.message;
  EXPECT_FALSE(answer(again)["newSeat"].get<bool>());
  EXPECT_EQ(answer(again)["machine"], answer(first)["machine"]);
  for (const auto& [refusedKey, reason] : {std::pair<std::string, std::string>{full, "no-seat"},
                                           {"7K3QD-0ZM4X-AAAAA-BBBBB-CCCCC-DDDDD", "unknown-licence"}}) {
    const ActivationResult refused = Activate(url, refusedKey, "app key", path, options);
    EXPECT_EQ(refused.error, E::kRefused);
    EXPECT_EQ(refused.reason, reason);
  }
  EXPECT_THROW(Activate(url, key, "", path, options), std::invalid_argument);
  EXPECT_THROW(Activate(url, key, "app key", "", options), std::invalid_argument);
  EXPECT_TRUE(Deactivate(url, key, "app key", options).ok());
  EXPECT_EQ(Deactivate(url, key, "app key", options).reason, "not-activated");
  EXPECT_EQ(ReadText(path), again.licenceFile);  // deactivation leaves the file alone
}

}  // namespace
}  // namespace vrel
