// EnumerateNetCards and the collector over the scripted WMI, which fails the
// test by itself when a reference or a CoInitializeEx is left unbalanced.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scripted_wmi.h"
#include "vrel/identity/machine_info.h"
#include "vrel/wmi/enumerate_net_cards.h"

namespace vrel {
namespace {

using test::Int;
using test::Text;
using test::Texts;
using W = test::ScriptedWmi;

test::Object Adapter(const std::wstring& caption, std::int32_t index,
                     test::Value type = Text(L"Ethernet 802.3"),
                     test::Value manufacturer = Text(L"Intel")) {
  return {{L"AdapterType", type}, {L"Manufacturer", manufacturer}, {L"Caption", Text(caption)},
          {L"MACAddress", Text(L"00:1A:2B:3C:4D:5E")}, {L"Index", Int(index)}};
}
test::Object Configuration(std::int32_t index, const std::vector<std::wstring>& addresses) {
  return {{L"Index", Int(index)}, {L"IPAddress", Texts(addresses)}};
}

std::vector<std::string> Names(const NetCardList& cards) {
  std::vector<std::string> names;
  for (int i = 0; i < cards.GetCount(); ++i) names.push_back(cards.GetItem(i)->name);
  return names;
}
std::vector<std::uint32_t> Addresses(const NetCardList& cards) {
  std::vector<std::uint32_t> addresses;
  for (int i = 0; i < cards.GetCount(); ++i) addresses.push_back(cards.GetItem(i)->ip);
  return addresses;
}

TEST(EnumerationTest, KeepsExactEthernetNotMadeByMicrosoftAndJoinsByIndex) {
  test::FakeMachine machine;
  W wmi(machine);
  const test::Value ethernet = Text(L"Ethernet 802.3");
  wmi.adapters = {Adapter(L"unconfigured", 10),
                  Adapter(L"lower case type", 11, Text(L"ethernet 802.3")),
                  Adapter(L"null type", 12, test::Scalar(VT_NULL, 0)),
                  Adapter(L"unreadable type", 13, test::Fails()),
                  Adapter(L"Microsoft", 14, ethernet, Text(L"Microsoft")),
                  Adapter(L"Microsoft Corporation", 20, ethernet, Text(L"Microsoft Corporation")),
                  Adapter(L"unreadable manufacturer", 30, ethernet, test::Fails()),
                  Adapter(L"second of 30", 30),
                  {{L"AdapterType", ethernet}},  // no caption, no index
                  Adapter(L"v6 first", 40)};
  wmi.configurations = {Configuration(20, {L"10.0.0.1"}), Configuration(99, {L"10.9.9.9"}),
                        Configuration(30, {L"10.0.0.3"}), Configuration(20, {L"10.0.0.2"}),
                        {{L"IPAddress", Texts({L"10.0.0.4"})}},  // an unreadable index is 0
                        Configuration(40, {L"fe80::1", L"10.0.0.5"})};
  MachineInfo collector;
  ASSERT_TRUE(EnumerateNetCards(collector));
  EXPECT_EQ(Names(collector.cards),
            (std::vector<std::string>{"unconfigured", "Microsoft Corporation",
                                      "unreadable manufacturer", "second of 30", "<N/A>",
                                      "v6 first"}));
  // The last configuration wins; only the first card of an index is matched.
  EXPECT_EQ(Addresses(collector.cards),
            (std::vector<std::uint32_t>{0, 0x0A000002, 0x0A000003, 0, 0x0A000004, 0x0A000005}));
}

TEST(EnumerationStepTest, EveryStepReleasesWhatItObtained) {
  const struct {
    const char* step;
    void (*script)(W&);
    bool result;
    int cards, addressed, uninitializes, queries;
  } rows[] = {
      {"CoInitializeEx", [](W& w) { w.coInitialize = E_OUTOFMEMORY; }, false, 0, 0, 0, 0},
      {"security", [](W& w) { w.security = E_FAIL; }, false, 0, 0, 1, 0},
      {"locator", [](W& w) { w.locator = REGDB_E_CLASSNOTREG; }, false, 0, 0, 1, 0},
      {"connection", [](W& w) { w.connect = WBEM_E_INVALID_NAMESPACE; }, false, 0, 0, 1, 0},
      {"proxy blanket", [](W& w) { w.blanket = E_INVALIDARG; }, false, 0, 0, 1, 0},
      {"adapter query", [](W& w) { w.adapterQuery = WBEM_E_FAILED; }, false, 0, 0, 1, 1},
      {"configuration query", [](W& w) { w.configurationQuery = WBEM_E_FAILED; }, false, 0, 0, 1, 2},
      // A failing Next ends its pass as the end of the results would.
      {"adapter Next", [](W& w) { w.adapterNextFailsAfter = 1; }, true, 1, 1, 1, 2},
      {"configuration Next", [](W& w) { w.configurationNextFailsAfter = 1; }, true, 2, 1, 1, 2},
      // Security set before stays in force; a thread in a single-threaded
      // apartment enumerates there and leaves it alone; a thread already in
      // the multithreaded one balances only its own entry.
      {"security set before", [](W& w) { w.security = RPC_E_TOO_LATE; }, true, 2, 2, 1, 2},
      {"single-threaded", [](W& w) { w.coInitialize = RPC_E_CHANGED_MODE; }, true, 2, 2, 0, 2},
      {"multithreaded", [](W& w) { w.coInitialize = S_FALSE; }, true, 2, 2, 1, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.step);
    test::FakeMachine machine;
    W wmi(machine);
    wmi.adapters = {Adapter(L"one", 1), Adapter(L"two", 2)};
    wmi.configurations = {Configuration(1, {L"10.0.0.1"}), Configuration(2, {L"10.0.0.2"})};
    row.script(wmi);
    MachineInfo collector;
    EXPECT_EQ(EnumerateNetCards(collector), row.result);
    EXPECT_EQ(collector.cards.GetCount(), row.cards);
    EXPECT_EQ(collector.cards.items == nullptr, row.cards == 0) << "no card storage is left";
    int addressed = 0;
    for (const std::uint32_t ip : Addresses(collector.cards)) addressed += ip != 0 ? 1 : 0;
    EXPECT_EQ(addressed, row.addressed);
    EXPECT_EQ(wmi.Alive(), 0) << "every interface is released";
    EXPECT_EQ(wmi.uninitializes, row.uninitializes);
    EXPECT_EQ(wmi.Calls("ExecQuery"), row.queries);
  }
}

TEST(CollectorEnumerationTest, EnumeratesOncePerObjectAndNeverRetriesAFailure) {
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing" : "working");
    test::FakeMachine machine;
    W wmi(machine);
    wmi.adapters = {Adapter(L"card", 3)};
    wmi.connect = fails ? static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE) : S_OK;
    MachineInfo collector;
    EXPECT_EQ(wmi.Calls("CoInitializeEx"), 0) << "construction does not enumerate";
    for (int round = 0; round < 2; ++round) {
      MachineIds ids;
      std::uint32_t ip[2];
      MacAddress mac;
      NetCardList list(kCardListGrowStep);
      collector.GetIds(ids);
      collector.GetFirstIp(ip);
      collector.GetMac(mac, 0);
      collector.FindMac(mac);
      collector.Enumerate();
      EXPECT_EQ(collector.CopyNetCards(list), !fails);
      EXPECT_TRUE(collector.EnsureEnumerated()) << "once enumerated, whatever the outcome";
      EXPECT_EQ(collector.GetCardCount(), fails ? 0 : 1);
    }
    EXPECT_EQ(wmi.Calls("CoInitializeEx"), 1);
    MachineInfo().Enumerate();
    EXPECT_EQ(wmi.Calls("CoInitializeEx"), 2) << "each collector enumerates";
  }
}

TEST(InitComSecurityTest, Windows2000AloneGetsAnAuthenticationList) {
  for (const DWORD version : {0x00000005u, 0x08930005u, 0x00000105u, 0x00000006u, 0x0000000Au,
                              0x00000500u}) {
    SCOPED_TRACE(version);
    test::FakeMachine machine;
    machine.version = version;
    W wmi(machine);  // checks the list's entries
    wmi.security = RPC_E_TOO_LATE;
    wmi.depth = 1;   // the caller has entered COM
    EXPECT_EQ(InitComSecurity(), RPC_E_TOO_LATE) << "the result is passed on unchanged";
    wmi.depth = 0;
    EXPECT_EQ(wmi.log, std::vector<std::string>{(version & 0xFFFF) == 5
                                                    ? "CoInitializeSecurity(3, list)"
                                                    : "CoInitializeSecurity(0)"});
  }
}

}  // namespace
}  // namespace vrel
