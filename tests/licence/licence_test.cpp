// Licence files against the verifier on every target: the fixtures in data/
// (make_licence_fixtures signs them natively) and their alterations, each
// with its own expected reason, so that every build answers the same files
// alike.
#include "vrel/licence/licence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "licence_machine.h"
#include "vrel/licence/public_key.h"


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
  // before (0: none) and the bytes then written over its year from the last digit, the verdict.
  const struct {
    const char* name;
    std::string file;
    std::vector<std::string> keys;
    std::optional<std::int64_t> now;  // none: the system's clock
    bool home;
    std::int64_t seenAt;
    std::string stateEdit;
    V want;
  } rows[] = {
      {"valid", valid, {stranger, signer}, t0 + day, true, 0, "", V::kValid},
      {"CRLF converted", crlf, {signer}, t0 + day, true, 0, "", V::kValid},
      {"in an e-mail, trailing blanks",
       "Dear customer,\n\n" + Replaced(valid, "\nissued", " \t\nissued") + "-- \nSales\n",
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kValid},
      {"clock 4 minutes behind issue", valid, {signer}, t0 - 240, true, 0, "", V::kValid},
      {"clock behind state, within 5 minutes",
       valid,
       {signer},
       t0 + day - 240,
       true,
       t0 + day,
       "",
       V::kValid},
      {"payload byte changed",
       Replaced(valid, "Example Ltd", "Example Lte"),
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kBadSignature},
      {"signature byte changed",
       Replaced(valid, "signature: " + signature.substr(0, 1),
                std::string("signature: ") + (signature[0] == 'A' ? 'B' : 'A')),
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kBadSignature},
      {"unsigned line added",
       Replaced(valid, "signature:", "features: all\nsignature:"),
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kMalformed},
      {"untrusted key", valid, {stranger}, t0 + day, true, 0, "", V::kUnknownKey},
      {"another machine", valid, {signer}, t0 + day, false, 0, "", V::kOtherMachine},
      {"expired", valid, {signer}, t0 + 365 * day, true, 0, "", V::kExpired},
      {"check-in due", valid, {signer}, t0 + 90 * day, true, 0, "", V::kCheckInDue},
      {"issued in the future", valid, {signer}, t0 - 360, true, 0, "", V::kNotYetIssued},
      {"state a day old", valid, {signer}, t0 + day, true, t0, "", V::kValid},
      {"system clock, a year on", valid, {signer}, std::nullopt, true, 0, "", V::kExpired},
      {"state folder missing/", valid, {signer}, t0 + day, true, 0, "", V::kStateUnwritable},
      {"state not a time", valid, {signer}, t0 + day, true, t0, "x", V::kStateTampered},
      {"state grown", valid, {signer}, t0 + day, true, t0, std::string(99, '5'), V::kStateTampered},
      {"state a folder", valid, {signer}, t0 + day, true, 0, "", V::kStateUnwritable},
      {"clock turned back",
       valid,
       {signer},
       t0 + day,
       true,
       t0 + 30 * day,
       "",
       V::kClockTurnedBack},
      {"edited state file", valid, {signer}, t0 + day, true, t0 + 30 * day, "4", V::kStateTampered},
      {"truncated",
       valid.substr(0, valid.size() / 2),
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kMalformed},
      {"empty", "", {signer}, t0 + day, true, 0, "", V::kMalformed},
      {"1 MB", valid + std::string(1 << 20, 'x'), {signer}, t0 + day, true, 0, "", V::kTooLarge},
      {"non-ASCII",
       Replaced(valid, "Example", "Exampl\xc3\xa9"),
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kNotText},
      {"NUL",
       Replaced(valid, "Example", std::string("Ex\0mple", 7)),
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kNotText},
      {"public key off the curve", valid, {offCurve}, t0 + day, true, 0, "", V::kBadPublicKey},
      {"newer format",
       ReadData("format2.lic"),
       {signer},
       t0 + day,
       true,
       0,
       "",
       V::kUnsupportedFormat},
  };
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vrel_licence_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "state a folder.state");
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
    if (!row.stateEdit.empty()) {
      std::fstream state(options.statePath, std::ios::in | std::ios::out | std::ios::binary);
      state.seekp(33);
      state << row.stateEdit;
    }
    options.now = row.now;
    V want = row.want;
    // Windows' CNG validates a point on import (unless BCRYPT_NO_KEY_VALIDATION); Wine 8's takes
    // any, so the text reads and, its id not the signer's, the signer is unknown.
    if (want == V::kBadPublicKey && test::UnderWine()) want = V::kUnknownKey;
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
  EXPECT_THROW(VerifyLicence(valid, {signer}, "", test::kLicenceApp, options),
               std::invalid_argument);

  // Edits of valid.lic, as a licence's maker or a mail program might make them: those the reader
  // takes (and writes back alike) and those it refuses.
  const std::string id = valid.substr(valid.find("key-id: ") + 8, 16), s = "signature: ";
  const std::string sig = s + signature, a84(84, 'A');
  const std::string armour = std::string(kLicenceBegin) + "\n" + kLicenceEnd + "\n";
  using Edits = std::vector<std::pair<std::string, std::string>>;
  const Edits taken = {{"2025-01-01", "2024-02-29"}, {"2025-01-01", "2000-02-29"},
                       {"2025-01-01", "0000-01-01"}, {"export,print", ""},
                       {"export,print", "A.z_9-b"},  {": Example Ltd", ":"},
                       {sig, s + a84 + "AA=="},      {sig, s + std::string(84, '/') + "+A=="}};
  // Refused: times, lines, signatures.
  const Edits badTimes = {
      {"2025-01-01", "2025-02-29"}, {"2025-01-01", "2100-02-29"}, {"2025-01-01", "2025-13-01"},
      {"2025-01-01", "2025-00-01"}, {"2025-01-01", "2025-01-00"}, {"T00:00:00Z", "T24:00:00Z"},
      {"T00:00:00Z", "T23:60:00Z"}, {"T00:00:00Z", "T23:59:60Z"}, {"T00:00:00Z", "T00:00:00z"},
      {"T00:00:00Z", " 00:00:00Z"}, {"2025-01-01", "2O25-01-01"}, {"2025-01-01", "2025-01-+1"},
      {"2025-01-01", "2025-01-1"}};
  const Edits badLines = {{"format: 1", "format: 01"}, {"format: 1", "format: 1x"},
                          {"format: 1", "format: 1+"}, {"format: 1", "format: 1000000000"},
                          {"format: 1", "format:"},    {"format: 1", "formal: 1"},
                          {id, "G" + id.substr(1)},    {id, "g" + id.substr(1)},
                          {id, "/" + id.substr(1)},    {id, id + "0"},
                          {"export,print", "pr~nt"},   {"export,print", "export,"},
                          {"export,print", "a,,b"},    {": Example", ":Example"},
                          {": Example", ":  Example"}, {"Example Ltd", "Example\tLtd"},
                          {"Example", "Ex\x7fmple"},   {"licensee:", "licensees:"},
                          {"licensee:", "licencee:"}};
  const Edits badSignatures = {
      {sig, s + a84 + "AB=="}, {sig, s + a84 + "A==="},      {sig, s + a84 + "AAA="},
      {sig, s + a84 + "AA"},   {sig, s + "~" + a84 + "AAA"}, {s, "signature:"},
      {valid, armour}};
  for (const Edits* edits : {&taken, &badTimes, &badLines, &badSignatures}) {
    for (const auto& [from, to] : *edits) {
      SCOPED_TRACE(from + " -> " + to);
      const LicenceFileContents read = ReadLicenceFile(Replaced(valid, from, to));
      EXPECT_EQ(read.status == LicenceReadStatus::kOk, edits == &taken) << read.error;
      if (read.status == LicenceReadStatus::kOk) {
        EXPECT_EQ(WriteLicencePayload(read.fields), read.payload);
      }
    }
  }

  // Key texts that are no key: cut, another prefix, no dash, not 0x04, not base64url, another id.
  std::string cut = signer.substr(1), dashless = signer, prefix = signer, base64 = signer;
  dashless[26] = '_', prefix[0] = 'V', base64[40] = '+';
  for (const std::string& text : {cut, dashless, prefix, Replaced(signer, "-B", "-A"), base64,
                                  stranger.substr(0, 27) + signer.substr(27)}) {
    EXPECT_FALSE(ParsePublicKey(text).ok) << text;
  }

  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vrel
