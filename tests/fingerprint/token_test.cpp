// The fingerprint token on fabricated components: its pinned format (which binds the key
// and each component's name), round trip, malformed input, and the matching rule.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "vrel/vrel.h"

namespace vrel {
namespace {

MachineComponents SampleMachine() {
  MachineComponents m;
  m[ComponentId::Cpu] = {true, "", {"GenuineIntel/family 6/model 158/stepping 10/Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"}};
  m[ComponentId::Volume] = {true, "", {"1C2D3E4F"}};
  m[ComponentId::OsInstall] = {false, "not present", {}};
  m[ComponentId::Board] = {true, "", {"4c4c4544-0031-3510-8052-b4c04f564433"}};
  m[ComponentId::Nics] = {true, "", {"00:1a:2b:3c:4d:5e", "52:54:00:12:34:56"}};
  return m;
}

TEST(Token, PinnedFormatAndRoundTrip) {
  // Expected token from Python's hmac module: HMAC-SHA-256("app-key", name NUL value),
  // first 8 bytes in hex, NIC digests sorted.
  const std::string token = MakeToken(SampleMachine(), "app-key");
  EXPECT_EQ(token,
            "vfp1-78e5553b8920164c-614fb535b2ffa290-x-320ddc267e4a4d20-b0e80e4f7a011322+e6424f33a2597234");
  const ParsedToken parsed = ParseToken(" " + token + "\r\n");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(FormatToken(parsed.fingerprint), token);
  EXPECT_TRUE(MatchToken(parsed.fingerprint, SampleMachine(), "app-key").sameMachine);
  EXPECT_THROW(MakeToken(SampleMachine(), ""), std::invalid_argument);
}

TEST(Token, MalformedTokensAreRefusedWithAMessage) {
  const std::string d = "0123456789abcdef";
  std::string many = "vfp1-x-x-x-x-" + d;  // 65 NIC digests
  for (int i = 0; i < 64; ++i) many += "+" + d;
  const struct { std::string text; const char* message; } rows[] = {
      {"", "the token is empty"}, {" \t\r\n", "the token is empty"},
      {"machine-1234", "not a vrel fingerprint token"}, {"VFP1-x-x-x-x-x", "not a vrel fingerprint token"},
      {"vfp-x-x-x-x-x", "no version"}, {"vfp1", "no version"},
      {"vfp2-x-x-x-x-x", "token version 2 is not supported"},
      {"vfp99999999999-x", "token version 99999999999 is not supported"},
      {"vfp1-x-x-x-x", "has only 4 of the 5 fields"}, {"vfp1-x-x-x-x-x-x", "more than the 5 fields"},
      {"vfp1-x--x-x-x", "volume field is empty"}, {"vfp1-x-x-x-x-", "nics field is empty"},
      {"vfp1-" + d.substr(1) + "-x-x-x-x", "cpu field is not"}, {"vfp1-x-" + d + "0-x-x-x", "volume field is not"},
      {"vfp1-x-x-0123456789ABCDEF-x-x", "os-install field is not"},
      {"vfp1-x-x-x-" + d + "+" + d + "-x", "board field holds several digests"},
      {"vfp1-x-x-x-x-" + d + "+", "nics field is not"}, {"vfp1-x-x-x-x-" + d + "++" + d, "nics field is not"},
      {"vfp1-x-x-x-x-xx", "nics field is not"}, {std::string("vfp1-x-x-x-x-x\0", 15), "nics field is not"},
      {many, "more than 64 digests"}, {"vfp1-" + std::string(5000, 'x'), "too long"},
  };
  for (const auto& row : rows) {
    const ParsedToken parsed = ParseToken(row.text);
    EXPECT_TRUE(!parsed.ok && parsed.error.find(row.message) != std::string::npos)
        << row.text.substr(0, 40) << ": " << parsed.error;
  }
}

// A fingerprint from codes per component, space-separated: "-" unavailable,
// else each character one digest (nics may hold several).
Fingerprint Fake(const std::string& codes) {
  Fingerprint f;
  std::istringstream in(codes);
  std::string code;
  for (auto& component : f.components) {
    in >> code;
    if (code == "-") continue;
    component.available = true;
    for (char c : code) component.digests.push_back({static_cast<unsigned char>(c)});
  }
  return f;
}

TEST(Match, RuleAsDocumented) {
  const MatchRule def, one{1}, three{3}, noBoardVeto{2, false};  // threshold, board vetoes
  const struct { const char* why, *stored, *current; MatchRule rule; const char* states; bool same; } rows[] = {
      {"all match", "a a a a a", "a a a a a", def, "MMMMM", true},
      {"adapters replaced", "a a a a c", "a a a a ab", def, "MMMMD", true},
      {"nics share an address", "a a - - bc", "a a - - ab", def, "MMUUM", true},
      {"new disk and adapters", "a a a a a", "a b a a b", def, "MDMMD", true},
      {"board differs", "a a a a a", "a a a b a", def, "MMMDM", false},
      {"os reinstalled", "a a a a a", "a a b a a", def, "MMDMM", false},
      {"cpu never counts", "a a - - -", "a a - - -", def, "MMUUU", false},
      {"cpu differs", "a a a - -", "b a a - -", def, "DMMUU", true},
      {"stored unavailable", "- - - - -", "a a a a a", def, "UUUUD", false},
      {"adapters removed", "a a a a ab", "a a a a -", def, "MMMMD", true},
      {"threshold 1", "a a - - a", "a a - - b", one, "MMUUD", true},
      {"threshold 3", "a a a - a", "a a a - b", three, "MMMUD", false},
      {"board veto off", "a a a a a", "a a a b a", noBoardVeto, "MMMDM", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    const MatchResult result = MatchFingerprints(Fake(row.stored), Fake(row.current), row.rule);
    std::string states;
    for (ComponentMatch m : result.components) states += "MDU"[static_cast<int>(m)];
    EXPECT_EQ(states, row.states);
    EXPECT_EQ(result.sameMachine, row.same);
  }
}

}  // namespace
}  // namespace vrel
