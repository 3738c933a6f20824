// EnumerateNetCards over a scripted WMI: the steps and their arguments, the
// card filter and the index join, and every failure path. The fake fails the
// test by itself when a reference or a CoInitializeEx is left unbalanced.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "fake_machine.h"
#include "fake_wmi.h"
#include "vrel/identity/machine_info.h"
#include "vrel/wmi/enumerate_net_cards.h"

namespace vrel {
namespace {

using test::FakeMachine;
using test::FakeObject;
using test::FakeWmi;
using test::PropertyValue;

constexpr wchar_t kEthernet[] = L"Ethernet 802.3";

FakeObject Adapter(const std::wstring& caption, const std::wstring& mac, std::int32_t index,
                   PropertyValue type = test::TextValue(kEthernet),
                   PropertyValue manufacturer = test::TextValue(L"Intel")) {
  return {{L"AdapterType", type},
          {L"Manufacturer", manufacturer},
          {L"Caption", test::TextValue(caption)},
          {L"MACAddress", test::TextValue(mac)},
          {L"Index", test::IntValue(index)}};
}

FakeObject Configuration(std::int32_t index, const std::vector<std::wstring>& addresses) {
  return {{L"Index", test::IntValue(index)}, {L"IPAddress", test::TextArrayValue(addresses)}};
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
  bool Run() { return EnumerateNetCards(collector); }
  const NetCardInfo& Card(int i) { return *collector.cards.GetItem(i); }

  FakeMachine machine;
  FakeWmi wmi{machine};
  MachineInfo collector;
};

TEST_F(EnumerationTest, MakesEveryCallWithItsArguments) {
  wmi.adapters = {Adapter(L"Intel(R) PRO/1000 MT", L"00:1A:2B:3C:4D:5E", 7)};
  wmi.configurations = {Configuration(7, {L"192.168.1.10", L"fe80::1"})};

  ASSERT_TRUE(Run());
  ASSERT_EQ(collector.cards.GetCount(), 1);
  EXPECT_STREQ(Card(0).name, "Intel(R) PRO/1000 MT");
  EXPECT_EQ(Card(0).ip, 0xC0A8010Au);
  const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  EXPECT_EQ(std::memcmp(Card(0).mac.bytes, mac, 6), 0);

  EXPECT_EQ(wmi.coInitializeModes, std::vector<DWORD>{COINIT_MULTITHREADED});
  EXPECT_EQ(wmi.coUninitializeCalls, 1);

  ASSERT_EQ(wmi.securityCalls.size(), 1u);
  const FakeWmi::SecurityCall& security = wmi.securityCalls[0];
  EXPECT_TRUE(security.descriptorNull && security.servicesNull && security.reserved1Null &&
              security.reserved3Null);
  EXPECT_EQ(security.serviceCount, -1);
  EXPECT_EQ(security.authnLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_DEFAULT));
  EXPECT_EQ(security.impLevel, static_cast<DWORD>(RPC_C_IMP_LEVEL_IMPERSONATE));
  EXPECT_FALSE(security.hasAuthList);
  EXPECT_EQ(security.capabilities, static_cast<DWORD>(EOAC_NONE));

  ASSERT_EQ(wmi.createCalls.size(), 1u);
  EXPECT_TRUE(wmi.createCalls[0].wbemLocatorClass && wmi.createCalls[0].outerNull &&
              wmi.createCalls[0].interfaceIsLocator);
  EXPECT_EQ(wmi.createCalls[0].context, static_cast<DWORD>(CLSCTX_INPROC_SERVER));

  ASSERT_EQ(wmi.connectCalls.size(), 1u);
  EXPECT_EQ(wmi.connectCalls[0].resource, L"ROOT\\CIMV2");
  EXPECT_TRUE(wmi.connectCalls[0].resourceIsBstr);
  EXPECT_TRUE(wmi.connectCalls[0].otherTextsNull);
  EXPECT_TRUE(wmi.connectCalls[0].contextNull);
  EXPECT_EQ(wmi.connectCalls[0].securityFlags, 0);

  ASSERT_EQ(wmi.blanketCalls.size(), 1u);
  const FakeWmi::BlanketCall& blanket = wmi.blanketCalls[0];
  EXPECT_TRUE(blanket.proxyIsServices && blanket.principalNull && blanket.identityNull);
  EXPECT_EQ(blanket.authnService, static_cast<DWORD>(RPC_C_AUTHN_WINNT));
  EXPECT_EQ(blanket.authzService, static_cast<DWORD>(RPC_C_AUTHZ_NONE));
  EXPECT_EQ(blanket.authnLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_CALL));
  EXPECT_EQ(blanket.impLevel, static_cast<DWORD>(RPC_C_IMP_LEVEL_IMPERSONATE));
  EXPECT_EQ(blanket.capabilities, static_cast<DWORD>(EOAC_NONE));

  ASSERT_EQ(wmi.queryCalls.size(), 2u);
  EXPECT_EQ(wmi.queryCalls[0].query, L"SELECT * FROM Win32_NetworkAdapter");
  EXPECT_EQ(wmi.queryCalls[1].query, L"SELECT * FROM Win32_NetworkAdapterConfiguration");
  for (const FakeWmi::QueryCall& query : wmi.queryCalls) {
    EXPECT_EQ(query.language, L"WQL");
    EXPECT_EQ(query.flags, 0x30);
    EXPECT_TRUE(query.textsAreBstrs);
    EXPECT_TRUE(query.contextNull);
  }
  // One object per Next, without time-out, until each query says it is done.
  ASSERT_EQ(wmi.nextCalls.size(), 4u);
  for (const FakeWmi::NextCall& next : wmi.nextCalls) {
    EXPECT_EQ(next.timeout, WBEM_INFINITE);
    EXPECT_EQ(next.count, 1u);
  }
  // The locator, the services, two enumerators, one adapter, one configuration.
  EXPECT_EQ(wmi.ObjectsMade(), 6);
}

TEST_F(EnumerationTest, NoEthernetAdapterSucceedsWithoutCards) {
  wmi.adapters = {Adapter(L"Wi-Fi", L"00:00:00:00:00:01", 1, test::TextValue(L"Wireless"))};
  wmi.configurations = {Configuration(1, {L"10.0.0.1"})};
  EXPECT_TRUE(Run());
  EXPECT_EQ(collector.cards.GetCount(), 0);
  EXPECT_EQ(collector.cards.capacity, 0);
}

TEST_F(EnumerationTest, FilterKeepsExactEthernetNotMadeByMicrosoft) {
  wmi.adapters = {
      Adapter(L"plain", L"", 1),
      Adapter(L"lower case type", L"", 2, test::TextValue(L"ethernet 802.3")),
      Adapter(L"null type", L"", 3, test::NullValue()),
      Adapter(L"unreadable type", L"", 4, test::FailingValue()),
      Adapter(L"Microsoft", L"", 5, test::TextValue(kEthernet), test::TextValue(L"Microsoft")),
      Adapter(L"Microsoft Corporation", L"", 6, test::TextValue(kEthernet),
              test::TextValue(L"Microsoft Corporation")),
      Adapter(L"unreadable manufacturer", L"", 7, test::TextValue(kEthernet),
              test::FailingValue()),
      Adapter(L"null manufacturer", L"", 8, test::TextValue(kEthernet), test::NullValue()),
  };
  ASSERT_TRUE(Run());
  EXPECT_EQ(Names(collector.cards),
            (std::vector<std::string>{"plain", "Microsoft Corporation", "unreadable manufacturer",
                                      "null manufacturer"}));
  // "Manufacturer" and the rest are read only for adapters of the right type.
  for (const std::string& read : wmi.reads) {
    const bool skippedType = read.rfind("adapter 1.", 0) == 0 || read.rfind("adapter 2.", 0) == 0 ||
                             read.rfind("adapter 3.", 0) == 0;
    if (skippedType) {
      EXPECT_EQ(read.substr(read.find('.')), ".AdapterType") << read;
    }
  }
  // A skipped Microsoft adapter is not read past its manufacturer.
  for (const std::string& read : wmi.reads) {
    if (read.rfind("adapter 4.", 0) == 0) {
      EXPECT_TRUE(read == "adapter 4.AdapterType" || read == "adapter 4.Manufacturer") << read;
    }
  }
}

TEST_F(EnumerationTest, MacTextsBecomeBytes) {
  wmi.adapters = {
      Adapter(L"colons", L"00:1A:2B:3C:4D:5E", 1),
      Adapter(L"dashes", L"00-1A-2B-3C-4D-5E", 2),
      Adapter(L"lower case", L"02:fc:00:00:00:01", 3),
      Adapter(L"three groups", L"00:1A:2B", 4),
      {{L"AdapterType", test::TextValue(kEthernet)}, {L"Caption", test::TextValue(L"unreadable")}},
  };
  ASSERT_TRUE(Run());
  ASSERT_EQ(collector.cards.GetCount(), 5);
  const std::uint8_t expected[5][6] = {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
                                       {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
                                       {0x02, 0xFC, 0x00, 0x00, 0x00, 0x01},
                                       {},
                                       {}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(std::memcmp(Card(i).mac.bytes, expected[i], 6), 0) << Card(i).name;
  }
}

TEST_F(EnumerationTest, CardsTakeTheFirstIpv4ElementOfTheirConfiguration) {
  wmi.adapters = {Adapter(L"v4 first", L"", 1), Adapter(L"v6 first", L"", 2),
                  Adapter(L"v6 only", L"", 3), Adapter(L"null", L"", 4),
                  Adapter(L"unreadable", L"", 5)};
  wmi.configurations = {
      Configuration(1, {L"192.168.1.10", L"fe80::1"}),
      Configuration(2, {L"fe80::1", L"192.168.1.10"}),
      Configuration(3, {L"fe80::1"}),
      {{L"Index", test::IntValue(4)}, {L"IPAddress", test::NullValue()}},
      {{L"Index", test::IntValue(5)}},
  };
  ASSERT_TRUE(Run());
  EXPECT_EQ(Addresses(collector.cards),
            (std::vector<std::uint32_t>{0xC0A8010A, 0xC0A8010A, 0, 0, 0}));
}

TEST_F(EnumerationTest, ConfigurationsJoinCardsByIndex) {
  wmi.adapters = {
      Adapter(L"no configuration", L"", 10),
      Adapter(L"configured twice", L"", 20),
      Adapter(L"first of index 30", L"", 30),
      Adapter(L"second of index 30", L"", 30),
      {{L"AdapterType", test::TextValue(kEthernet)}, {L"Caption", test::TextValue(L"no index")}},
  };
  wmi.configurations = {
      Configuration(20, {L"10.0.0.1"}),
      Configuration(99, {L"10.9.9.9"}),  // matches no card
      Configuration(30, {L"10.0.0.3"}),
      Configuration(20, {L"10.0.0.2"}),  // the last one wins
      {{L"IPAddress", test::TextArrayValue({L"10.0.0.4"})}},  // unreadable index: 0
  };
  ASSERT_TRUE(Run());
  EXPECT_EQ(Addresses(collector.cards),
            (std::vector<std::uint32_t>{0, 0x0A000002, 0x0A000003, 0, 0x0A000004}));
  // "IPAddress" is read only for configurations that match a card.
  for (const std::string& read : wmi.reads) {
    EXPECT_NE(read, "configuration 1.IPAddress");
  }
}

TEST_F(EnumerationTest, UnreadableIndexIsZeroOnBothSides) {
  wmi.adapters = {
      {{L"AdapterType", test::TextValue(kEthernet)}, {L"Caption", test::TextValue(L"no index")}},
      Adapter(L"index 0", L"", 0),
  };
  wmi.configurations = {Configuration(0, {L"1.2.3.4"})};
  ASSERT_TRUE(Run());
  // Both cards count as index 0: only the first is ever matched.
  EXPECT_EQ(Addresses(collector.cards), (std::vector<std::uint32_t>{0x01020304, 0}));
}

TEST_F(EnumerationTest, CaptionsBecomeNamesOfAtMost127Bytes) {
  const std::wstring exact(127, L'n');
  const std::wstring longer = std::wstring(127, L'l') + L"tail";
  wmi.adapters = {Adapter(exact, L"", 1), Adapter(longer, L"", 2),
                  {{L"AdapterType", test::TextValue(kEthernet)}}};
  ASSERT_TRUE(Run());
  ASSERT_EQ(collector.cards.GetCount(), 3);
  EXPECT_EQ(std::string(Card(0).name), std::string(127, 'n'));
  EXPECT_EQ(std::string(Card(1).name), std::string(127, 'l'));
  EXPECT_STREQ(Card(2).name, "<N/A>");  // as under Wine, whose WMI fails Get for "Caption"
}

TEST_F(EnumerationTest, SecurityAlreadySetDoesNotStopTheEnumeration) {
  // Windows answers RPC_E_TOO_LATE when the process's security was set
  // before; Wine never does, so only the fake shows this path.
  wmi.securityResult = RPC_E_TOO_LATE;
  wmi.adapters = {Adapter(L"card", L"00:00:00:00:00:07", 1)};
  wmi.configurations = {Configuration(1, {L"10.0.0.7"})};
  ASSERT_TRUE(Run());
  EXPECT_EQ(Addresses(collector.cards), std::vector<std::uint32_t>{0x0A000007});
  EXPECT_EQ(wmi.blanketCalls.size(), 1u);
  EXPECT_EQ(wmi.coUninitializeCalls, 1);
}

TEST_F(EnumerationTest, ThreadInASingleThreadedApartmentEnumeratesThere) {
  wmi.coInitializeResult = RPC_E_CHANGED_MODE;
  wmi.adapters = {Adapter(L"card", L"00:00:00:00:00:07", 1)};
  wmi.configurations = {Configuration(1, {L"10.0.0.7"})};
  ASSERT_TRUE(Run());
  EXPECT_EQ(Names(collector.cards), std::vector<std::string>{"card"});
  EXPECT_EQ(wmi.coUninitializeCalls, 0) << "the apartment belongs to someone else";
}

TEST_F(EnumerationTest, ThreadAlreadyInTheMultithreadedApartmentBalancesItsOwnEntry) {
  wmi.coInitializeResult = S_FALSE;
  wmi.adapters = {Adapter(L"card", L"", 1)};
  ASSERT_TRUE(Run());
  EXPECT_EQ(collector.cards.GetCount(), 1);
  EXPECT_EQ(wmi.coUninitializeCalls, 1);
}

TEST_F(EnumerationTest, AnExceptionReleasesEverything) {
  // Running out of memory while a text is built: the exception leaves the
  // call, and every interface and the apartment are released on its way.
  wmi.adapters = {Adapter(L"first", L"", 1),
                  {{L"AdapterType", test::TextValue(kEthernet)},
                   {L"Manufacturer", [](VARIANT*) -> HRESULT { throw std::bad_alloc(); }}}};
  EXPECT_THROW(Run(), std::bad_alloc);
  EXPECT_EQ(wmi.ObjectsAlive(), 0);
  EXPECT_EQ(wmi.coUninitializeCalls, 1);
}

// ---- a failure at every step ----

struct StepFailure {
  const char* step;
  void (*script)(FakeWmi&);
  bool result;
  int cards;           // cards left
  int uninitializes;   // CoUninitialize calls
  std::size_t queries; // ExecQuery calls made
};

TEST(EnumerationFailureTest, EveryStepReleasesWhatItObtained) {
  const StepFailure failures[] = {
      {"CoInitializeEx", [](FakeWmi& w) { w.coInitializeResult = E_OUTOFMEMORY; }, false, 0, 0, 0},
      {"CoInitializeEx invalid", [](FakeWmi& w) { w.coInitializeResult = E_INVALIDARG; }, false, 0,
       0, 0},
      {"security", [](FakeWmi& w) { w.securityResult = static_cast<HRESULT>(0x80070005); }, false,
       0, 1, 0},
      {"locator", [](FakeWmi& w) { w.createLocatorResult = REGDB_E_CLASSNOTREG; }, false, 0, 1, 0},
      {"connection", [](FakeWmi& w) { w.connectResult = WBEM_E_INVALID_NAMESPACE; }, false, 0, 1,
       0},
      {"proxy blanket", [](FakeWmi& w) { w.blanketResult = E_INVALIDARG; }, false, 0, 1, 0},
      {"adapter query", [](FakeWmi& w) { w.adapterQueryResult = WBEM_E_FAILED; }, false, 0, 1, 1},
      {"configuration query", [](FakeWmi& w) { w.configurationQueryResult = WBEM_E_FAILED; },
       false, 0, 1, 2},
      {"first adapter Next", [](FakeWmi& w) { w.adapterNextFailsAfter = 0; }, true, 0, 1, 2},
      {"second adapter Next", [](FakeWmi& w) { w.adapterNextFailsAfter = 1; }, true, 1, 1, 2},
      {"first configuration Next", [](FakeWmi& w) { w.configurationNextFailsAfter = 0; }, true, 2,
       1, 2},
      {"second configuration Next", [](FakeWmi& w) { w.configurationNextFailsAfter = 1; }, true, 2,
       1, 2},
  };
  for (const StepFailure& failure : failures) {
    SCOPED_TRACE(failure.step);
    FakeMachine machine;
    FakeWmi wmi(machine);
    wmi.adapters = {Adapter(L"one", L"00:00:00:00:00:01", 1), Adapter(L"two", L"", 2)};
    wmi.configurations = {Configuration(1, {L"10.0.0.1"}), Configuration(2, {L"10.0.0.2"})};
    failure.script(wmi);
    MachineInfo collector;

    EXPECT_EQ(EnumerateNetCards(collector), failure.result);
    EXPECT_EQ(collector.cards.GetCount(), failure.cards);
    if (failure.cards == 0) {
      EXPECT_EQ(collector.cards.capacity, 0) << "no storage is left";
      EXPECT_EQ(collector.cards.items, nullptr);
    }
    EXPECT_EQ(wmi.ObjectsAlive(), 0) << "every interface is released";
    EXPECT_EQ(wmi.coUninitializeCalls, failure.uninitializes);
    EXPECT_EQ(wmi.queryCalls.size(), failure.queries);
  }
}

TEST(EnumerationFailureTest, PartialPassesKeepWhatWasFound) {
  FakeMachine machine;
  FakeWmi wmi(machine);
  wmi.adapters = {Adapter(L"one", L"", 1), Adapter(L"two", L"", 2)};
  wmi.configurations = {Configuration(1, {L"10.0.0.1"}), Configuration(2, {L"10.0.0.2"})};
  wmi.configurationNextFailsAfter = 1;
  MachineInfo collector;
  ASSERT_TRUE(EnumerateNetCards(collector));
  EXPECT_EQ(Addresses(collector.cards), (std::vector<std::uint32_t>{0x0A000001, 0}));
}

// ---- InitComSecurity ----

TEST(InitComSecurityTest, Windows2000GetsAnExplicitAuthenticationList) {
  const struct {
    DWORD version;
    bool windows2000;
  } versions[] = {
      {0x00000005, true},  {0x08930005, true},  // the build number is not looked at
      {0x00000105, false}, {0x00000205, false}, {0x00000006, false},
      {0x00000004, false}, {0x0000000A, false}, {0x00000500, false},
  };
  for (const auto& v : versions) {
    SCOPED_TRACE(::testing::Message() << std::hex << v.version);
    FakeMachine machine;
    machine.version = v.version;
    FakeWmi wmi(machine);
    wmi.securityResult = RPC_E_TOO_LATE;
    wmi.EnterApartment();  // the caller has entered COM
    EXPECT_EQ(InitComSecurity(), RPC_E_TOO_LATE) << "the result is passed on unchanged";
    wmi.LeaveApartment();

    ASSERT_EQ(wmi.securityCalls.size(), 1u);
    const FakeWmi::SecurityCall& call = wmi.securityCalls[0];
    EXPECT_EQ(call.serviceCount, -1);
    EXPECT_EQ(call.impLevel, static_cast<DWORD>(RPC_C_IMP_LEVEL_IMPERSONATE));
    EXPECT_EQ(call.capabilities, static_cast<DWORD>(EOAC_NONE));
    if (!v.windows2000) {
      EXPECT_EQ(call.authnLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_DEFAULT));
      EXPECT_FALSE(call.hasAuthList);
      continue;
    }
    EXPECT_EQ(call.authnLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_CALL));
    ASSERT_TRUE(call.hasAuthList);
    ASSERT_EQ(call.entries.size(), 2u);
    EXPECT_EQ(call.entries[0].authnService, static_cast<DWORD>(RPC_C_AUTHN_WINNT));
    EXPECT_EQ(call.entries[1].authnService, static_cast<DWORD>(RPC_C_AUTHN_GSS_KERBEROS));
    for (const auto& entry : call.entries) {
      EXPECT_EQ(entry.authzService, static_cast<DWORD>(RPC_C_AUTHZ_NONE));
      EXPECT_EQ(entry.user, u"MyUser");
      EXPECT_EQ(entry.userLength, 6u);
      EXPECT_EQ(entry.domain, u"MyDomain ");
      EXPECT_EQ(entry.domainLength, 9u);
      EXPECT_EQ(entry.password, u"");
      EXPECT_EQ(entry.passwordLength, 0u);
      EXPECT_EQ(entry.flags, static_cast<ULONG>(SEC_WINNT_AUTH_IDENTITY_UNICODE));
    }
  }
}

}  // namespace
}  // namespace vrel
