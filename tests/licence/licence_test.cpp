// Licence files against the verifier on every target: the fixtures in data/
// (make_licence_fixtures signs them natively) and their alterations, each
// with its own expected reason, so that every build answers the same files
// alike.
#include "vrel/licence/licence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "licence_machine.h"
#include "vrel/licence/public_key.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vrel {
namespace {

using V = LicenceVerdict;

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(VREL_LICENCE_DATA) + "/" + name, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (name.size() > 4 && name.substr(name.size() - 4) == ".pub") text.pop_back();  // its newline
  return text;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

bool UnderWine() {
#ifdef _WIN32
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
  return false;
#endif
}

TEST(LicenceTest, EachAlterationHasItsReason) {
  const std::string valid = ReadData("valid.lic"), signer = ReadData("signer.pub");
  const std::string stranger = ReadData("stranger.pub");
  ParsedPublicKey key = ParsePublicKey(signer);
  ASSERT_TRUE(key.ok) << key.error;
  key.point[64] ^= 1;  // Y changed: off the curve, under a key id that is its own
  const std::string offCurve = FormatPublicKey(key.point);
  std::string crlf;
  for (const char c : valid) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string signature = valid.substr(valid.find("signature: ") + 11, 88);
  const std::int64_t day = test::kDay, t0 = test::kIssued;
  // The name, the file, the keys, the time, the home machine, the state file's time
  // before (0: none) and whether it is edited, the verdict.
  const struct {
    const char* name;
    std::string file;
    std::vector<std::string> keys;
    std::int64_t now;
    bool home;
    std::int64_t seenAt;
    bool editState;
    V want;
  } rows[] = {
      {"valid", valid, {stranger, signer}, t0 + day, true, 0, false, V::kValid},
      {"CRLF converted", crlf, {signer}, t0 + day, true, 0, false, V::kValid},
      {"in an e-mail, trailing blanks",
       "Dear customer,\n\n" + Replaced(valid, "\nissued", " \t\nissued") + "-- \nSales\n",
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kValid},
      {"clock 4 minutes behind issue", valid, {signer}, t0 - 240, true, 0, false, V::kValid},
      {"clock behind state, within 5 minutes",
       valid,
       {signer},
       t0 + day - 240,
       true,
       t0 + day,
       false,
       V::kValid},
      {"payload byte changed",
       Replaced(valid, "Example Ltd", "Example Lte"),
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kBadSignature},
      {"signature byte changed",
       Replaced(valid, "signature: " + signature.substr(0, 1),
                std::string("signature: ") + (signature[0] == 'A' ? 'B' : 'A')),
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kBadSignature},
      {"unsigned line added",
       Replaced(valid, "signature:", "features: all\nsignature:"),
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kMalformed},
      {"untrusted key", valid, {stranger}, t0 + day, true, 0, false, V::kUnknownKey},
      {"another machine", valid, {signer}, t0 + day, false, 0, false, V::kOtherMachine},
      {"expired", valid, {signer}, t0 + 365 * day, true, 0, false, V::kExpired},
      {"check-in due", valid, {signer}, t0 + 90 * day, true, 0, false, V::kCheckInDue},
      {"issued in the future", valid, {signer}, t0 - 360, true, 0, false, V::kNotYetIssued},
      {"clock turned back",
       valid,
       {signer},
       t0 + day,
       true,
       t0 + 30 * day,
       false,
       V::kClockTurnedBack},
      {"edited state file",
       valid,
       {signer},
       t0 + day,
       true,
       t0 + 30 * day,
       true,
       V::kStateTampered},
      {"truncated",
       valid.substr(0, valid.size() / 2),
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kMalformed},
      {"empty", "", {signer}, t0 + day, true, 0, false, V::kMalformed},
      {"1 MB", valid + std::string(1 << 20, 'x'), {signer}, t0 + day, true, 0, false, V::kTooLarge},
      {"non-ASCII",
       Replaced(valid, "Example", "Exampl\xc3\xa9"),
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kNotText},
      {"NUL",
       Replaced(valid, "Example", std::string("Ex\0mple", 7)),
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kNotText},
      {"public key off the curve", valid, {offCurve}, t0 + day, true, 0, false, V::kBadPublicKey},
      {"newer format",
       ReadData("format2.lic"),
       {signer},
       t0 + day,
       true,
       0,
       false,
       V::kUnsupportedFormat},
  };
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vrel_licence_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::FakeMachine machine;
    test::ScriptLicenceMachine(machine, row.home);
    LicenceOptions options;
    options.statePath = (dir / (std::string(row.name) + ".state")).string();
    if (row.seenAt != 0) {
      options.now = row.seenAt;
      ASSERT_EQ(
          VerifyLicence(valid, {signer}, test::kLicenceAppKey, test::kLicenceApp, options).verdict,
          V::kValid);
    }
    if (row.editState) {  // a year earlier in the recorded time
      std::fstream state(options.statePath, std::ios::in | std::ios::out | std::ios::binary);
      state.seekp(33);
      state.put('4');
    }
    options.now = row.now;
    V want = row.want;
    // Windows' CNG validates a point on import (unless BCRYPT_NO_KEY_VALIDATION); Wine 8's takes
    // any, so the text reads and, its id not the signer's, the signer is unknown.
    if (want == V::kBadPublicKey && UnderWine()) want = V::kUnknownKey;
    const LicenceCheck check =
        VerifyLicence(row.file, row.keys, test::kLicenceAppKey, test::kLicenceApp, options);
    EXPECT_EQ(LicenceVerdictName(check.verdict), std::string(LicenceVerdictName(want)))
        << check.detail;
    if (want == V::kValid) {
      EXPECT_EQ(check.fields.licenceId, "L-TEST-1");
    }
  }
  // The application is compared always.
  test::FakeMachine machine;
  test::ScriptLicenceMachine(machine, true);
  LicenceOptions options;
  options.now = t0 + day;
  EXPECT_EQ(VerifyLicence(valid, {signer}, test::kLicenceAppKey, "another", options).verdict,
            V::kWrongApplication);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vrel
