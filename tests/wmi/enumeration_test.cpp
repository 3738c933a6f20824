// EnumerateNetCards and the collector over the scripted WMI: the calls and
// their arguments, the filter and the index join, every failing step, the
// apartment and security answers, an exception mid-way, and enumeration once
// per collector. The scripted WMI fails the test by itself when a reference
// or a CoInitializeEx is left unbalanced.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "scripted_wmi.h"
#include "vrel/identity/machine_info.h"
#include "vrel/wmi/enumerate_net_cards.h"

namespace vrel {
namespace {

using test::Int;
using test::Object;
using test::Text;
using test::Texts;

test::Value Ethernet() { return Text(L"Ethernet 802.3"); }

Object Adapter(const std::wstring& caption, std::int32_t index, test::Value type = Ethernet(),
               test::Value manufacturer = Text(L"Intel")) {
  return {{L"AdapterType", type},           {L"Manufacturer", manufacturer},
          {L"Caption", Text(caption)},      {L"MACAddress", Text(L"00:1A:2B:3C:4D:5E")},
          {L"Index", Int(index)}};
}

Object Configuration(std::int32_t index, const std::vector<std::wstring>& addresses) {
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

class EnumerationTest : public ::testing::Test {
 protected:
  test::FakeMachine machine;
  test::ScriptedWmi wmi{machine};
  MachineInfo collector;
};

TEST_F(EnumerationTest, MakesEachCallWithItsArgumentsAndReadsOnlyWhatItNeeds) {
  wmi.adapters = {Adapter(L"wifi", 1, Text(L"Wireless")),
                  Adapter(L"ms", 2, Ethernet(), Text(L"Microsoft")), Adapter(L"Intel(R) NIC", 7)};
  wmi.configurations = {Configuration(99, {L"10.9.9.9"}), Configuration(7, {L"192.168.1.10"})};
  ASSERT_TRUE(EnumerateNetCards(collector));
  ASSERT_EQ(Names(collector.cards), std::vector<std::string>{"Intel(R) NIC"});
  EXPECT_EQ(Addresses(collector.cards), std::vector<std::uint32_t>{0xC0A8010A});
  EXPECT_EQ(collector.cards.GetItem(0)->mac, (MacAddress{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}}));
  EXPECT_EQ(wmi.log, (std::vector<std::string>{
                         "CoInitializeEx(null, 0)",
                         "CoInitializeSecurity(null, -1, null, null, 0, 3, null, 0, null)",
                         "CoCreateInstance(WbemLocator, null, 1, IWbemLocator)",
                         "ConnectServer(ROOT\\CIMV2, null, null, null, 0, null, null)",
                         "CoSetProxyBlanket(services, 10, 0, null, 3, 3, null, 0)",
                         "ExecQuery(WQL, SELECT * FROM Win32_NetworkAdapter, 48, null)",
                         "adapters.Next(-1, 1)", "adapter 0.Get(AdapterType)",
                         "adapters.Next(-1, 1)", "adapter 1.Get(AdapterType)",
                         "adapter 1.Get(Manufacturer)",
                         "adapters.Next(-1, 1)", "adapter 2.Get(AdapterType)",
                         "adapter 2.Get(Manufacturer)", "adapter 2.Get(Caption)",
                         "adapter 2.Get(MACAddress)", "adapter 2.Get(Index)",
                         "adapters.Next(-1, 1)",
                         "ExecQuery(WQL, SELECT * FROM Win32_NetworkAdapterConfiguration, 48, null)",
                         "configurations.Next(-1, 1)", "configuration 0.Get(index)",
                         "configurations.Next(-1, 1)", "configuration 1.Get(index)",
                         "configuration 1.Get(IPAddress)",
                         "configurations.Next(-1, 1)"}));
  EXPECT_EQ(wmi.uninitializes, 1);
}

TEST_F(EnumerationTest, KeepsExactEthernetNotMadeByMicrosoft) {
  wmi.adapters = {Adapter(L"plain", 1),
                  Adapter(L"lower case type", 2, Text(L"ethernet 802.3")),
                  Adapter(L"null type", 3, test::Scalar(VT_NULL, 0)),
                  Adapter(L"unreadable type", 4, test::Fails()),
                  Adapter(L"Microsoft", 5, Ethernet(), Text(L"Microsoft")),
                  Adapter(L"Microsoft Corporation", 6, Ethernet(), Text(L"Microsoft Corporation")),
                  Adapter(L"unreadable manufacturer", 7, Ethernet(), test::Fails())};
  ASSERT_TRUE(EnumerateNetCards(collector));
  EXPECT_EQ(Names(collector.cards), (std::vector<std::string>{"plain", "Microsoft Corporation",
                                                              "unreadable manufacturer"}));
}

TEST_F(EnumerationTest, ConfigurationsJoinCardsByIndex) {
  wmi.adapters = {Adapter(L"unconfigured", 10), Adapter(L"configured twice", 20),
                  Adapter(L"first of 30", 30), Adapter(L"second of 30", 30),
                  {{L"AdapterType", Ethernet()}}, Adapter(L"v6 first", 40), Adapter(L"v6 only", 50)};
  wmi.configurations = {
      Configuration(20, {L"10.0.0.1"}),    Configuration(99, {L"10.9.9.9"}),
      Configuration(30, {L"10.0.0.3"}),    Configuration(20, {L"10.0.0.2"}),  // the last wins
      {{L"IPAddress", Texts({L"10.0.0.4"})}},  // an unreadable index is 0, as the card's
      Configuration(40, {L"fe80::1", L"10.0.0.5"}), Configuration(50, {L"fe80::1"})};
  ASSERT_TRUE(EnumerateNetCards(collector));
  EXPECT_EQ(Addresses(collector.cards),
            (std::vector<std::uint32_t>{0, 0x0A000002, 0x0A000003, 0, 0x0A000004, 0x0A000005, 0}));
  EXPECT_STREQ(collector.cards.GetItem(4)->name, "<N/A>");  // as under Wine (no "Caption")
}

TEST(EnumerationStepTest, EveryStepReleasesWhatItObtained) {
  const struct {
    const char* step;
    HRESULT test::ScriptedWmi::*answer;
    HRESULT value;
    bool result;
    int cards, uninitializes, queries;
  } rows[] = {
      {"CoInitializeEx", &test::ScriptedWmi::coInitialize, E_OUTOFMEMORY, false, 0, 0, 0},
      {"security", &test::ScriptedWmi::security, E_FAIL, false, 0, 1, 0},
      {"locator", &test::ScriptedWmi::locator, REGDB_E_CLASSNOTREG, false, 0, 1, 0},
      {"connection", &test::ScriptedWmi::connect, WBEM_E_INVALID_NAMESPACE, false, 0, 1, 0},
      {"proxy blanket", &test::ScriptedWmi::blanket, E_INVALIDARG, false, 0, 1, 0},
      {"adapter query", &test::ScriptedWmi::adapterQuery, WBEM_E_FAILED, false, 0, 1, 1},
      {"configuration query", &test::ScriptedWmi::configurationQuery, WBEM_E_FAILED, false, 0, 1,
       2},
      // Decided answers: security set before stays in force; a thread in a
      // single-threaded apartment enumerates there and leaves it alone; a
      // thread already in the multithreaded one balances its own entry.
      {"security set before", &test::ScriptedWmi::security, RPC_E_TOO_LATE, true, 2, 1, 2},
      {"single-threaded thread", &test::ScriptedWmi::coInitialize, RPC_E_CHANGED_MODE, true, 2, 0,
       2},
      {"multithreaded thread", &test::ScriptedWmi::coInitialize, S_FALSE, true, 2, 1, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.step);
    test::FakeMachine machine;
    test::ScriptedWmi wmi(machine);
    wmi.adapters = {Adapter(L"one", 1), Adapter(L"two", 2)};
    wmi.configurations = {Configuration(1, {L"10.0.0.1"}), Configuration(2, {L"10.0.0.2"})};
    wmi.*row.answer = row.value;
    MachineInfo collector;
    EXPECT_EQ(EnumerateNetCards(collector), row.result);
    EXPECT_EQ(collector.cards.GetCount(), row.cards);
    EXPECT_EQ(collector.cards.items == nullptr, row.cards == 0) << "no card storage is left";
    EXPECT_EQ(wmi.Alive(), 0) << "every interface is released";
    EXPECT_EQ(wmi.uninitializes, row.uninitializes);
    EXPECT_EQ(wmi.Calls("ExecQuery"), row.queries);
  }
  // A failing Next ends its pass as the end of the results would.
  for (const int failsAfter : {0, 1}) {
    for (const bool adapters : {true, false}) {
      SCOPED_TRACE(::testing::Message() << (adapters ? "adapter" : "configuration")
                                        << " Next fails after " << failsAfter);
      test::FakeMachine machine;
      test::ScriptedWmi wmi(machine);
      wmi.adapters = {Adapter(L"one", 1), Adapter(L"two", 2)};
      wmi.configurations = {Configuration(1, {L"10.0.0.1"}), Configuration(2, {L"10.0.0.2"})};
      (adapters ? wmi.adapterNextFailsAfter : wmi.configurationNextFailsAfter) = failsAfter;
      MachineInfo collector;
      EXPECT_TRUE(EnumerateNetCards(collector));
      EXPECT_EQ(collector.cards.GetCount(), adapters ? failsAfter : 2);
      if (!adapters) {
        EXPECT_EQ(Addresses(collector.cards),
                  (std::vector<std::uint32_t>{failsAfter > 0 ? 0x0A000001u : 0u, 0}));
      }
      EXPECT_EQ(wmi.uninitializes, 1);
    }
  }
}

TEST_F(EnumerationTest, AnExceptionReleasesEverythingAndTheCollectorCanRetry) {
  wmi.adapters = {Adapter(L"first", 1),
                  Adapter(L"second", 2, Ethernet(), [](VARIANT*) -> HRESULT {
                    throw std::bad_alloc();
                  })};
  EXPECT_THROW(collector.Enumerate(), std::bad_alloc);
  EXPECT_EQ(wmi.Alive(), 0);
  EXPECT_EQ(wmi.uninitializes, 1);
  EXPECT_FALSE(collector.enumerated);
  EXPECT_EQ(collector.cards.items, nullptr);

  wmi.adapters[1] = Adapter(L"second", 2);
  EXPECT_EQ(collector.GetCardCount(), 2);
  EXPECT_TRUE(collector.status);
}

TEST(CollectorEnumerationTest, EnumeratesOncePerObjectAndNeverRetriesAFailure) {
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing enumeration" : "working enumeration");
    test::FakeMachine machine;
    test::ScriptedWmi wmi(machine);
    wmi.adapters = {Adapter(L"card", 3)};
    if (fails) wmi.connect = WBEM_E_INVALID_NAMESPACE;
    MachineInfo collector;
    EXPECT_EQ(wmi.Calls("CoInitializeEx"), 0) << "construction does not enumerate";
    for (int round = 0; round < 2; ++round) {
      MachineIds ids;
      collector.GetIds(ids);
      std::uint32_t ip[2];
      collector.GetFirstIp(ip);
      MacAddress mac;
      collector.GetMac(mac, 0);
      collector.FindMac(mac);
      NetCardList list(kCardListGrowStep);
      EXPECT_EQ(collector.CopyNetCards(list), !fails);
      EXPECT_TRUE(collector.EnsureEnumerated()) << "already enumerated, whatever the outcome";
      collector.Enumerate();
      EXPECT_EQ(collector.GetCardCount(), fails ? 0 : 1);
    }
    EXPECT_EQ(wmi.Calls("CoInitializeEx"), 1);
    MachineInfo second;
    second.Enumerate();
    EXPECT_EQ(wmi.Calls("CoInitializeEx"), 2);
  }
}

TEST(InitComSecurityTest, Windows2000AloneGetsAnAuthenticationList) {
  const std::string list =
      "set {10, 0, 'MyUser'/6, 'MyDomain '/9, ''/0, 2} {16, 0, 'MyUser'/6, 'MyDomain '/9, ''/0, 2}";
  for (const DWORD version : {0x00000005u, 0x08930005u, 0x00000105u, 0x00000006u, 0x0000000Au,
                              0x00000500u}) {
    SCOPED_TRACE(::testing::Message() << std::hex << version);
    const bool windows2000 = (version & 0xFFFF) == 5;
    test::FakeMachine machine;
    machine.version = version;
    test::ScriptedWmi wmi(machine);
    wmi.security = RPC_E_TOO_LATE;
    wmi.depth = 1;  // the caller has entered COM
    EXPECT_EQ(InitComSecurity(), RPC_E_TOO_LATE) << "the result is passed on unchanged";
    wmi.depth = 0;
    EXPECT_EQ(wmi.log, std::vector<std::string>{"CoInitializeSecurity(null, -1, null, null, " +
                                                std::string(windows2000 ? "3" : "0") + ", 3, " +
                                                (windows2000 ? list : "null") + ", 0, null)"});
  }
}

}  // namespace
}  // namespace vrel
