// The collector enumerates once per object, whatever it is asked and whatever
// the outcome; each new collector enumerates again.
#include <gtest/gtest.h>

#include <cstdint>

#include "fake_machine.h"
#include "fake_wmi.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

using test::FakeMachine;
using test::FakeWmi;

void AskEverything(MachineInfo& collector) {
  MachineIds ids;
  collector.GetIds(ids);
  std::uint32_t ip[2];
  collector.GetFirstIp(ip);
  MacAddress mac;
  collector.GetMac(mac, 0);
  collector.FindMac(mac);
  collector.GetCardCount();
  NetCardList list(kCardListGrowStep);
  collector.CopyNetCards(list);
  collector.Enumerate();
  collector.EnsureEnumerated();
}

TEST(CollectorEnumerationTest, EnumeratesOncePerObject) {
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing enumeration" : "working enumeration");
    FakeMachine machine;
    FakeWmi wmi(machine);
    wmi.adapters = {{{L"AdapterType", test::TextValue(L"Ethernet 802.3")},
                     {L"Caption", test::TextValue(L"card")},
                     {L"MACAddress", test::TextValue(L"00:11:22:33:44:55")},
                     {L"Index", test::IntValue(3)}}};
    wmi.configurations = {{{L"Index", test::IntValue(3)},
                           {L"IPAddress", test::TextArrayValue({L"10.1.2.3"})}}};
    if (fails) wmi.connectResult = WBEM_E_INVALID_NAMESPACE;

    MachineInfo collector;
    EXPECT_EQ(wmi.coInitializeCalls, 0) << "construction does not enumerate";
    AskEverything(collector);
    AskEverything(collector);
    EXPECT_EQ(wmi.coInitializeCalls, 1);
    EXPECT_EQ(wmi.connectCalls.size(), 1u);
    EXPECT_EQ(collector.status, !fails);
    EXPECT_EQ(collector.GetCardCount(), fails ? 0 : 1);

    MachineInfo second;
    second.Enumerate();
    EXPECT_EQ(wmi.coInitializeCalls, 2);
  }
}

TEST(CollectorEnumerationTest, ReportsWhatTheEnumerationFound) {
  FakeMachine machine;
  FakeWmi wmi(machine);
  wmi.adapters = {{{L"AdapterType", test::TextValue(L"Ethernet 802.3")},
                   {L"Caption", test::TextValue(L"loopback")},
                   {L"MACAddress", test::TextValue(L"02:00:00:00:00:01")},
                   {L"Index", test::IntValue(1)}},
                  {{L"AdapterType", test::TextValue(L"Ethernet 802.3")},
                   {L"Caption", test::TextValue(L"lan")},
                   {L"MACAddress", test::TextValue(L"00:1A:2B:3C:4D:5E")},
                   {L"Index", test::IntValue(2)}}};
  wmi.configurations = {
      {{L"Index", test::IntValue(1)}, {L"IPAddress", test::TextArrayValue({L"127.0.0.1"})}},
      {{L"Index", test::IntValue(2)},
       {L"IPAddress", test::TextArrayValue({L"fe80::1", L"192.168.1.10"})}}};
  MachineInfo collector;
  MachineIds ids;
  EXPECT_EQ(collector.GetIds(ids) & (MISSING_MAC | MISSING_IP), 0);
  const std::uint8_t firstMac[6] = {0x02, 0, 0, 0, 0, 0x01};
  EXPECT_EQ(std::memcmp(ids.mac.bytes, firstMac, 6), 0);
  const std::uint32_t ip = ids.ip;  // a packed field: read by value
  EXPECT_EQ(ip, 0x0A01A8C0u);       // 192.168.1.10 in network byte order
}

}  // namespace
}  // namespace vrel
