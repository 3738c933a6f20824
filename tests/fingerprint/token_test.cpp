// The fingerprint token on fabricated components: its pinned format (which binds the key
// and each component's name), round trip, malformed input, and the matching rule.
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "vrel/vrel.h"

namespace vrel {
namespace {

// The components of one published vector: null unavailable, a text, or a list of texts.
MachineComponents VectorMachine(const nlohmann::json& components) {
  MachineComponents m;
  for (int i = 0; i < kComponentCount; ++i) {
    const nlohmann::json& value = components.at(ComponentName(static_cast<ComponentId>(i)));
    if (value.is_null()) continue;
    m.components[i].available = true;
    m.components[i].values = value.is_array() ? value.get<std::vector<std::string>>()
                                              : std::vector<std::string>{value.get<std::string>()};
  }
  return m;
}

TEST(Token, PublishedVectorsAndRoundTrip) {
  // docs/token-vectors-v1.json: tokens computed apart from the library, with Python's hmac.
  const nlohmann::json file = nlohmann::json::parse(std::ifstream(VREL_TOKEN_VECTORS));
  ASSERT_GE(file.at("vectors").size(), 5u);
  for (const nlohmann::json& vector : file.at("vectors")) {
    SCOPED_TRACE(vector.at("name").get<std::string>());
    std::string key;
    if (vector.contains("keyHex")) {
      const std::string hex = vector.at("keyHex");
      for (std::size_t i = 0; i < hex.size(); i += 2) key += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    } else {
      key = vector.at("key");
    }
    const MachineComponents machine = VectorMachine(vector.at("components"));
    const std::string token = MakeToken(machine, key);
    EXPECT_EQ(token, vector.at("token").get<std::string>());
    const ParsedToken parsed = ParseToken(" " + token + "\r\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(FormatToken(parsed.fingerprint), token);
    const MatchResult self = MatchToken(parsed.fingerprint, machine, key);
    for (int i = 0; i < kComponentCount; ++i) {  // an empty nic set is x, like unavailable
      const ComponentValue& value = machine.components[i];
      EXPECT_EQ(self.components[i], value.available && !value.values.empty()
                                        ? ComponentMatch::Match : ComponentMatch::Unavailable);
    }
    EXPECT_THROW(MakeToken(machine, ""), std::invalid_argument);
  }
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
      {"vfp9999999999999-x", "token version 999999999999... is not supported"},
      {"vfp1-x-x-x-x", "has only 4 of the 5 fields"}, {"vfp1-x-x-x-x-x-x", "more than the 5 fields"},
      {"vfp1-x--x-x-x", "volume field is empty"}, {"vfp1-x-x-x-x-", "nics field is empty"},
      {"vfp1-" + d.substr(1) + "-x-x-x-x", "cpu field is not"}, {"vfp1-x-" + d + "0-x-x-x", "volume field is not"},
      {"vfp1-x-x-0123456789ABCDEF-x-x", "os-install field is not"},
      {"vfp1-x-x-x-" + d + "+" + d + "-x", "board field holds several digests"},
      {"vfp1-x-x-x-x-" + d + "+", "nics field is not"}, {"vfp1-x-x-x-x-" + d + "++" + d, "nics field is not"},
      {"vfp1-x-x-x-x-xx", "nics field is not"}, {std::string("vfp1-x-x-x-x-x\0", 15), "nics field is not"},
      {many, "more than 64 digests"}, {"vfp1-" + std::string(5000, 'x'), "too long"},
  };
  const std::string good = "vfp1-x-x-x-x-" + d;
  for (const auto& row : rows) {
    const ParsedToken parsed = ParseToken(row.text);
    EXPECT_TRUE(!parsed.ok && parsed.error.find(row.message) != std::string::npos)
        << row.text.substr(0, 40) << ": " << parsed.error;
    // Compared with a good token, the message names the token at fault.
    const TokenComparison stored = CompareTokens(row.text, good), current = CompareTokens(good, row.text);
    EXPECT_EQ(stored.error, "stored token: " + parsed.error);
    EXPECT_EQ(current.error, "current token: " + parsed.error);
    EXPECT_EQ(stored.unsupportedVersion, std::string(row.message).find("token version") == 0);
    EXPECT_FALSE(stored.ok || current.ok);
  }
}

}  // namespace
}  // namespace vrel
