// The C interface through the shared library itself (the DLL under Wine):
// bad arguments answered with their codes and nothing written, the length
// convention, the texts equal to the C++ library's in this process, and one
// text per error code. Whether token and verdict are vreltest's is for the
// consumer check.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "vrel/c/vrel_c.h"
#include "vrel/fingerprint/fingerprint.h"
#include "vrel/json/fingerprint_json.h"
#include "vrel/json/licence_json.h"

namespace {

constexpr char kKey[] = "test key";
constexpr size_t kKeySize = sizeof kKey - 1;
// Well formed, every field a digest this machine does not have.
constexpr char kForeign[] = "vfp1-0123456789abcdef-0123456789abcdef-0123456789abcdef"
                            "-0123456789abcdef-0123456789abcdef";

// A file of tests/licence/data.
std::string LicenceData(const char* name) {
  std::ifstream in(std::string(VREL_LICENCE_DATA) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CInterfaceTest, RefusesBadArgumentsWithTheirCodes) {
  char token[VREL_MAX_TOKEN_LENGTH + 1] = "";
  ASSERT_GT(vrel_fingerprint(kKey, kKeySize, token, sizeof token), 0);
  const std::string longer = std::string(token) + "-x";
  char untouched[8] = "";
  const struct {
    const char* name;
    int got, want;
  } rows[] = {
      {"fingerprint: no key", vrel_fingerprint(nullptr, 1, untouched, 8), VREL_E_NULL_ARGUMENT},
      {"fingerprint: empty key", vrel_fingerprint(kKey, 0, untouched, 8), VREL_E_EMPTY_KEY},
      {"fingerprint: size, no buffer", vrel_fingerprint(kKey, 1, nullptr, 1), VREL_E_NULL_ARGUMENT},
      {"components: size, no buffer", vrel_components_json(nullptr, 1), VREL_E_NULL_ARGUMENT},
      {"compare: no stored", vrel_compare(nullptr, token), VREL_E_NULL_ARGUMENT},
      {"compare: no current", vrel_compare(token, nullptr), VREL_E_NULL_ARGUMENT},
      {"compare: stored cut short", vrel_compare("vfp1-x-x", token), VREL_E_MALFORMED_TOKEN},
      {"compare: current too long", vrel_compare(token, longer.c_str()), VREL_E_MALFORMED_TOKEN},
      {"compare: a later version", vrel_compare(token, "vfp2-x"), VREL_E_UNSUPPORTED_VERSION},
      {"compare: another machine", vrel_compare(kForeign, token), 0},
      {"match: no key", vrel_match(nullptr, 1, token), VREL_E_NULL_ARGUMENT},
      {"match: empty key", vrel_match(kKey, 0, token), VREL_E_EMPTY_KEY},
      {"match: no token", vrel_match(kKey, kKeySize, nullptr), VREL_E_NULL_ARGUMENT},
      {"match: malformed", vrel_match(kKey, kKeySize, "vfp1"), VREL_E_MALFORMED_TOKEN},
      {"match: a later version", vrel_match(kKey, kKeySize, "vfp9-x"), VREL_E_UNSUPPORTED_VERSION},
      {"match: another machine", vrel_match(kKey, kKeySize, kForeign), 0},
      {"match: its own token", vrel_match(kKey, kKeySize, token), vrel_compare(token, token)},
      {"licence: no text", vrel_licence_verify(nullptr, 0, "", kKey, 1, "a", nullptr, untouched, 8),
       VREL_E_NULL_ARGUMENT},
      {"licence: empty key", vrel_licence_verify("", 0, "", kKey, 0, "a", nullptr, untouched, 8),
       VREL_E_EMPTY_KEY},
      {"licence: no keys", vrel_licence_verify("", 0, nullptr, kKey, 1, "a", "", untouched, 8),
       VREL_E_NULL_ARGUMENT},
      {"licence: no key", vrel_licence_verify("", 0, "", nullptr, 1, "a", "", untouched, 8),
       VREL_E_NULL_ARGUMENT},
      {"licence: no application", vrel_licence_verify("", 0, "", kKey, 1, nullptr, "", nullptr, 0),
       VREL_E_NULL_ARGUMENT},
      {"licence: size, no buffer", vrel_licence_verify("", 0, "", kKey, 1, "a", "", nullptr, 1),
       VREL_E_NULL_ARGUMENT},
  };
  for (const auto& row : rows) EXPECT_EQ(row.got, row.want) << row.name;
  EXPECT_STREQ(untouched, "");
  char result[512] = "";  // a verdict is a result, not an error
  const int length = vrel_licence_verify("x", 1, "", kKey, 1, "a", "", result, sizeof result);
  EXPECT_EQ(length, static_cast<int>(std::string(result).size()));
  EXPECT_NE(std::string(result).find(R"("reason":"malformed")"), std::string::npos) << result;
}

// For each size around the length: the length returned every time, nothing
// written while the size does not exceed it, then the text and its NUL only.
TEST(CInterfaceTest, WritesTheTextOnlyWhenItFits) {
  const vrel::MachineComponents machine = vrel::CollectComponents();
  // The home machine's licence, signed by a trusted key (given twice: after a blank line and with
  // CR LF, then alone): this machine is another one.
  const std::string licence = LicenceData("valid.lic"), pub = LicenceData("signer.pub");
  const std::string line = pub.substr(0, pub.find('\n')), keys = "\n" + line + "\r\n" + line;
  const std::string app = "vrel test application";
  const std::string refused =
      vrel::LicenceJson(vrel::VerifyLicence(licence, {line}, kKey, app));
  EXPECT_NE(refused.find(R"("reason":"other-machine")"), std::string::npos) << refused;
  const struct {
    std::function<int(char*, size_t)> call;
    std::string want;
  } rows[] = {
      {[](char* out, size_t size) { return vrel_fingerprint(kKey, kKeySize, out, size); },
       vrel::MakeToken(machine, kKey)},
      {vrel_components_json, vrel::ComponentsJson(machine)},
      {[&](char* out, size_t size) {
         return vrel_licence_verify(licence.data(), licence.size(), keys.c_str(), kKey, kKeySize,
                                    app.c_str(), nullptr, out, size);
       },
       refused},
  };
  for (const auto& row : rows) {
    const int length = row.call(nullptr, 0);
    ASSERT_EQ(length, static_cast<int>(row.want.size())) << row.want;
    const size_t n = row.want.size();
    for (const size_t size : {size_t{1}, n, n + 1, n + 2}) {
      std::string buffer(row.want.size() + 3, '#');
      EXPECT_EQ(row.call(&buffer[0], size), length) << row.want;
      const std::string written = size > row.want.size() ? row.want + '\0' : "";
      EXPECT_EQ(buffer, written + std::string(buffer.size() - written.size(), '#')) << size;
    }
  }
}

// Codes -18 to -1 have texts of their own; -19, 0 and 1 share the generic one.
// The version is the project's.
TEST(CInterfaceTest, StaticTexts) {
  std::set<std::string> texts;
  for (int code = VREL_E_WRITE_FAILED - 1; code <= 1; ++code) texts.insert(vrel_error_text(code));
  EXPECT_EQ(texts.size(), 19u);
  EXPECT_STREQ(vrel_error_text(INT_MIN), vrel_error_text(0));
  EXPECT_STREQ(vrel_error_text(INT_MAX), vrel_error_text(0));
  EXPECT_STREQ(vrel_version(), VREL_VERSION);
}

}  // namespace
