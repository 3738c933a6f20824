#include <gtest/gtest.h>

#include <cstring>

#include "fake_machine.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

using test::FakeMachine;
using test::VendorLeaf;

NetCardInfo Card(std::uint32_t ip, MacAddress mac = MacAddress()) {
  NetCardInfo card;
  std::strcpy(card.name, "card");
  card.ip = ip;
  card.mac = mac;
  return card;
}

MacAddress Mac(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint8_t e,
               std::uint8_t f) {
  MacAddress mac;
  const std::uint8_t bytes[6] = {a, b, c, d, e, f};
  std::memcpy(mac.bytes, bytes, 6);
  return mac;
}

// MachineIds is packed: the tests read its fields by value (unary +), since
// binding a reference to a misaligned field is undefined.

// A collector whose enumeration already ran and found `cards`.
class CollectorTest : public ::testing::Test {
 protected:
  CollectorTest() {
    machine.cpuid[0] = VendorLeaf("GenuineIntel");
    machine.cpuid[1] = {0x06F6, 0, 0, 0};
  }
  void Enumerated(std::initializer_list<NetCardInfo> cards, bool status = true) {
    for (const NetCardInfo& card : cards) collector.cards.Add(card);
    collector.status = status;
    collector.enumerated = true;
  }

  FakeMachine machine;
  MachineInfo collector;
};

TEST_F(CollectorTest, ConstructionNeitherEnumeratesNorAllocates) {
  EXPECT_FALSE(collector.enumerated);
  EXPECT_FALSE(collector.status);
  EXPECT_EQ(collector.cards.count, 0);
  EXPECT_EQ(collector.cards.capacity, 0);
  EXPECT_EQ(collector.cards.step, 100);
}

TEST_F(CollectorTest, GetIdsFillsEveryIdentifier) {
  const MacAddress mac = Mac(0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E);
  Enumerated({Card(0xC0A8010A, mac)});
  MachineIds ids;
  EXPECT_EQ(collector.GetIds(ids), 0);
  EXPECT_EQ(+ids.cpuSignature, 0x476F60u);
  EXPECT_EQ(ids.mac, mac);
  EXPECT_EQ(+ids.ip, 0x0A01A8C0u);
  EXPECT_EQ(+ids.ipReserved, 0u);
  EXPECT_EQ(+ids.volumeSerial, 0x1C2D3E4Fu);
  EXPECT_EQ(+ids.shortVolumeSerial, 0x2262);
}

TEST_F(CollectorTest, NoCardsMissesMacAndAddressWithZeros) {
  Enumerated({});
  MachineIds ids;
  std::memset(static_cast<void*>(&ids), 0xAB, sizeof ids);  // every field must be written
  EXPECT_EQ(collector.GetIds(ids), MISSING_MAC | MISSING_IP);
  EXPECT_TRUE(ids.mac.IsZero());
  EXPECT_EQ(+ids.ip, 0u);
  EXPECT_EQ(+ids.ipReserved, 0u);
}

TEST_F(CollectorTest, AddressComesFromTheFirstCardOutsideLoopback) {
  // MAC from the first card (a loopback adapter), address from the second.
  const MacAddress loopMac = Mac(2, 0, 0, 0, 0, 1);
  Enumerated({Card(0x7F000001, loopMac), Card(0x0A0000C8), Card(0xC0A8010A)});
  MachineIds ids;
  EXPECT_EQ(collector.GetIds(ids), 0);
  EXPECT_EQ(ids.mac, loopMac);
  EXPECT_EQ(+ids.ip, 0xC800000Au);  // 10.0.0.200 in network byte order
  std::uint32_t words[2] = {1, 1};
  EXPECT_EQ(collector.GetFirstIp(words), 0);
  EXPECT_EQ(words[0], 0xC800000Au);
  EXPECT_EQ(words[1], 0u);
}

TEST_F(CollectorTest, AllLoopbackMissesTheAddress) {
  Enumerated({Card(0x7F000001, Mac(1, 2, 3, 4, 5, 6)), Card(0x7F123456)});
  MachineIds ids;
  EXPECT_EQ(collector.GetIds(ids), MISSING_IP);
  EXPECT_EQ(+ids.ip, 0u);
  std::uint32_t words[2] = {1, 1};
  EXPECT_EQ(collector.GetFirstIp(words), -1);
  EXPECT_EQ(words[0], 0u);
  EXPECT_EQ(words[1], 0u);
}

TEST_F(CollectorTest, FirstCardWithoutAddressQualifiesAndZeroMacIsCopied) {
  Enumerated({Card(0), Card(0xC0A8010A, Mac(1, 2, 3, 4, 5, 6))});
  MachineIds ids;
  EXPECT_EQ(collector.GetIds(ids), 0);  // neither MISSING_IP nor MISSING_MAC
  EXPECT_EQ(+ids.ip, 0u);
  EXPECT_TRUE(ids.mac.IsZero());
}

TEST_F(CollectorTest, IndependentStepsReportTheirOwnBits) {
  Enumerated({Card(0xC0A8010A)});
  machine.hasCpuid = false;
  machine.environment.clear();
  MachineIds ids;
  EXPECT_EQ(collector.GetIds(ids), MISSING_CPU_SIGNATURE | MISSING_VOLUME_SERIAL);
  EXPECT_EQ(+ids.cpuSignature, 0u);
  EXPECT_EQ(+ids.volumeSerial, 0u);
  EXPECT_EQ(+ids.shortVolumeSerial, 0);
  EXPECT_EQ(+ids.ip, 0x0A01A8C0u);

  machine.environment["SYSTEMROOT"] = "\\\\server\\share";  // not a drive: success, zeros
  EXPECT_EQ(collector.GetIds(ids), MISSING_CPU_SIGNATURE);
  EXPECT_EQ(+ids.volumeSerial, 0u);
}

TEST_F(CollectorTest, GetMacAndFindMacAtAndBeyondTheEnds) {
  const MacAddress first = Mac(0, 0, 0, 0, 0, 1);
  const MacAddress last = Mac(0, 0, 0, 0, 0, 3);
  Enumerated({Card(1, first), Card(2), Card(3, last), Card(4)});
  MacAddress mac;
  EXPECT_EQ(collector.GetMac(mac, 0), 0);
  EXPECT_EQ(mac, first);
  EXPECT_EQ(collector.GetMac(mac, 2), 0);
  EXPECT_EQ(mac, last);
  for (int index : {4, -1, 1000}) {
    mac = first;
    EXPECT_EQ(collector.GetMac(mac, index), -1) << index;
    EXPECT_TRUE(mac.IsZero()) << index;
  }
  EXPECT_EQ(collector.FindMac(first), 0);
  EXPECT_EQ(collector.FindMac(last), 2);
  EXPECT_EQ(collector.FindMac(MacAddress()), 1);  // the first card whose MAC is zero
  EXPECT_EQ(collector.FindMac(Mac(9, 9, 9, 9, 9, 9)), -1);
  EXPECT_EQ(collector.GetCardCount(), 4);
}

TEST_F(CollectorTest, QueriesOnAnEmptyCollector) {
  Enumerated({});
  MacAddress mac;
  EXPECT_EQ(collector.GetMac(mac, 0), -1);
  EXPECT_EQ(collector.FindMac(MacAddress()), -1);
  EXPECT_EQ(collector.GetCardCount(), 0);
}

TEST_F(CollectorTest, CopyNetCardsReplacesTheListAndReturnsTheStatus) {
  Enumerated({Card(1), Card(2)}, false);
  NetCardList list(100);
  for (int i = 0; i < 5; ++i) list.Add(Card(100 + static_cast<std::uint32_t>(i)));
  EXPECT_FALSE(collector.CopyNetCards(list));  // cards copied whatever the outcome
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(list.GetItem(0)->ip, 1u);
  EXPECT_EQ(list.GetItem(1)->ip, 2u);
  EXPECT_EQ(list.capacity, 100);
  EXPECT_EQ(collector.cards.count, 2);
}

TEST_F(CollectorTest, CopyNetCardsGrowsByWholeSteps) {
  for (int n : {0, 99, 100}) {
    MachineInfo source;
    for (int i = 0; i < n; ++i) source.cards.Add(Card(static_cast<std::uint32_t>(i)));
    source.enumerated = true;
    source.status = true;
    NetCardList list(100);
    EXPECT_TRUE(source.CopyNetCards(list));
    EXPECT_EQ(list.count, n);
    EXPECT_EQ(list.capacity, n == 0 ? 0 : n == 99 ? 100 : 200) << n;
    if (n == 0) {
      EXPECT_EQ(list.items, nullptr);
    } else {
      EXPECT_EQ(list.GetItem(n - 1)->ip, static_cast<std::uint32_t>(n - 1));
    }
  }
}

}  // namespace
}  // namespace vrel
