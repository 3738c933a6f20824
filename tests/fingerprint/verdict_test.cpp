// The default verdict in the situations users meet: each row is a real-world change between the
// machine a token was made on (stored) and the machine matching it now (current), with the
// verdict and the principle it follows. Rows marked "undecidable" are pairs that no rule can tell
// apart from component values; they pin which way the rule leans.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "vrel/fingerprint/component_text.h"
#include "vrel/fingerprint/fingerprint.h"

namespace vrel {
namespace {

constexpr char kKey[] = "scenario-key";
constexpr char kPlaceholderUuid[] = "03000200-0400-0500-0006-000700080009";

// The base machine, as its readers see it: every component available.
struct Raw {
  std::string cpu = "GenuineIntel/family 6/model 158/stepping 10/Intel(R) Core(TM) i7-8700 CPU";
  std::string volume = "1C2D3E4F";
  std::string osInstall = "6083b390-3c3c-42db-bf67-b25a094610bd";
  std::string board = "4c4c4544-0031-3510-8052-b4c04f564433";
  std::string nics = "00:1a:2b:3c:4d:5e";  // blank-separated
};

// Applies edits "name=value ...": "-" unavailable, "new" another genuine value, "+" one more
// adapter, "placeholder" the firmware's placeholder UUID.
Raw Edit(const std::string& edits) {
  Raw raw;
  std::istringstream in(edits);
  std::string edit;
  while (in >> edit) {
    const std::string name = edit.substr(0, edit.find('='));
    const std::string value = edit.substr(edit.find('=') + 1);
    std::string* field = name == "cpu" ? &raw.cpu : name == "volume" ? &raw.volume
                       : name == "os-install" ? &raw.osInstall : name == "board" ? &raw.board
                       : &raw.nics;
    if (value == "-") *field = "";
    if (value == "placeholder") *field = kPlaceholderUuid;
    if (value == "+") *field += " 8c:ae:4c:f0:00:01";
    if (value == "new" && field == &raw.nics) *field = "f8:75:a4:00:00:02";
    if (value == "new" && field == &raw.cpu) *field = "GenuineIntel/family 6/model 165/stepping 5";
    if (value == "new" && field == &raw.volume) *field = "9A8B7C6D";
    if (value == "new" && field == &raw.osInstall) *field = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
    if (value == "new" && field == &raw.board) *field = "2b5e4c1a-9d3f-4e6a-8b7c-0d1e2f3a4b5c";
  }
  return raw;
}

// The components the readers would give for `raw`, through the same decoding.
MachineComponents Collect(const Raw& raw) {
  using fingerprint::Available;
  using fingerprint::Unavailable;
  const auto text = [](const std::string& value, auto decode) {
    return value.empty() ? Unavailable("not present") : decode(value.data(), value.size());
  };
  MachineComponents m;
  m[ComponentId::Cpu] = raw.cpu.empty() ? Unavailable("no CPUID") : Available(raw.cpu);
  m[ComponentId::Volume] = raw.volume.empty() ? Unavailable("no volume serial") : Available(raw.volume);
  m[ComponentId::OsInstall] = text(raw.osInstall, fingerprint::InstallIdComponent);
  m[ComponentId::Board] = text(raw.board, fingerprint::UuidComponent);
  std::istringstream macs(raw.nics);
  ComponentValue& nics = m[ComponentId::Nics];
  for (std::string mac; macs >> mac;) nics.values.push_back(mac);
  nics.available = !nics.values.empty();
  return m;
}

TEST(Verdict, RealWorldChanges) {
  const MatchRule def, one{1}, osVetoes{2, true, true}, noBoardVeto{2, false, false};
  const struct {
    const char* scenario, *stored, *current;
    MatchRule rule;
    const char* states;  // cpu volume os-install board nics: Match, Differ, Unavailable
    bool same;
  } rows[] = {
      {"reboot, nothing changes", "", "", def, "MMMMM", true},
      {"dock or USB adapter added", "", "nics=+", def, "MMMMM", true},
      {"network card replaced (adapters alone never decide)", "", "nics=new", def, "MMMMD", true},
      {"every adapter disabled", "", "nics=-", def, "MMMMD", true},
      {"clean OS reinstall: the same hardware", "", "os-install=new volume=new", def, "MDDMM", true},
      {"system disk replaced, image restored", "", "volume=new", def, "MDMMM", true},
      {"processor upgraded (cpu never decides)", "", "cpu=new", def, "DMMMM", true},
      {"run without the rights to read the board", "", "board=-", def, "MMMUM", true},
      {"cloud VM stop/start with a new MAC", "", "nics=new", def, "MMMMD", true},
      {"stored without board, board readable now", "board=-", "", def, "MMMUM", true},
      {"another machine", "", "cpu=new volume=new os-install=new board=new nics=new", def, "DDDDD", false},
      {"VM clone: a genuine board that differs decides", "", "board=new nics=new", def, "MMMDD", false},
      {"VM clone keeping the MAC", "", "board=new", def, "MMMDM", false},
      {"the disk moved into another PC", "", "cpu=new board=new nics=new", def, "DMMDD", false},
      // Placeholder values count as unavailable, never as a match.
      {"another PC of the model, firmware placeholder on both, adapter moved over",
       "board=placeholder", "board=placeholder volume=new os-install=new", def, "MDDUM", false},
      {"placeholder board, card replaced", "board=placeholder", "board=placeholder nics=new", def,
       "MMMUD", true},
      // Undecidable pairs, and the way the rule leans.
      {"undecidable: card swap, or a clone with new adapters, on an unreadable board (same)",
       "board=-", "board=- nics=new", def, "MMMUD", true},
      {"undecidable: reinstall and a new network card, only the board left (different)", "",
       "os-install=new volume=new nics=new", def, "MDDMD", false},
      {"undecidable: reinstall on an unreadable board, only nics left (different)", "board=-",
       "board=- os-install=new volume=new", def, "MDDUM", false},
      // Callers may choose another rule.
      {"threshold 1: one strong component is enough", "board=-", "board=- os-install=new volume=new",
       one, "MDDUM", true},
      {"os-install vetoing, as in earlier releases", "", "os-install=new volume=new", osVetoes,
       "MDDMM", false},
      {"board not vetoing: a new board, disk and adapters kept", "", "board=new", noBoardVeto,
       "MMMDM", true},
      {"cpu and the volume alone", "os-install=- board=- nics=-", "os-install=- board=- nics=-", def,
       "MMUUU", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scenario);
    const ParsedToken stored = ParseToken(MakeToken(Collect(Edit(row.stored)), kKey));
    ASSERT_TRUE(stored.ok) << stored.error;
    const MatchResult result = MatchToken(stored.fingerprint, Collect(Edit(row.current)), kKey, row.rule);
    std::string states;
    for (ComponentMatch m : result.components) states += "MDU"[static_cast<int>(m)];
    EXPECT_EQ(states, row.states);
    EXPECT_EQ(result.sameMachine, row.same);
  }
}

}  // namespace
}  // namespace vrel
