// The collector's queries over cards it already holds, the system volume
// serial and the card list, on a FakeMachine. (The processor signature is
// checked with the processors that the naming tests script.)
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "fake_machine.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

using test::FakeMachine;

NetCardInfo Card(std::uint32_t ip, MacAddress mac = MacAddress()) {
  NetCardInfo card;
  card.ip = ip;
  card.mac = mac;
  return card;
}
const MacAddress kMac{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};

// A collector whose enumeration already ran and found `cards`.
void Found(MachineInfo& collector, const std::vector<NetCardInfo>& cards, bool status = true) {
  for (const NetCardInfo& card : cards) collector.cards.Add(card);
  collector.status = status;
  collector.enumerated = true;
}

// MachineIds is packed: its fields are read by value (unary +).
TEST(CollectorTest, IdsTakeTheFirstMacAndTheFirstAddressOutsideLoopback) {
  const struct {
    const char* name;
    std::vector<NetCardInfo> cards;
    int missing;
    MacAddress mac;
    std::uint32_t ip;  // network byte order
  } rows[] = {
      {"one card", {Card(0xC0A8010A, kMac)}, 0, kMac, 0x0A01A8C0},
      {"no card", {}, MISSING_MAC | MISSING_IP, {}, 0},
      {"loopback first", {Card(0x7F000001, kMac), Card(0x0A0000C8), Card(0xC0A8010A)}, 0, kMac,
       0xC800000A},
      {"all loopback", {Card(0x7F000001, kMac), Card(0x7F123456)}, MISSING_IP, kMac, 0},
      {"address 0 qualifies, a zero MAC is copied", {Card(0), Card(0xC0A8010A, kMac)}, 0, {}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeMachine machine;
    machine.cpuid = {{0, test::VendorLeaf("GenuineIntel")}, {1, {0x06F6, 0, 0, 0}}};
    MachineInfo collector;
    Found(collector, row.cards);
    MachineIds ids;
    std::memset(static_cast<void*>(&ids), 0xAB, sizeof ids);  // every field must be written
    EXPECT_EQ(collector.GetIds(ids), row.missing);
    EXPECT_EQ(ids.mac, row.mac);
    EXPECT_EQ(+ids.ip, row.ip);
    EXPECT_EQ(+ids.ipReserved, 0u);
    EXPECT_EQ(+ids.cpuSignature, 0x476F60u);
    EXPECT_EQ(+ids.volumeSerial, 0x1C2D3E4Fu);
    EXPECT_EQ(+ids.shortVolumeSerial, 0x2262);
    std::uint32_t words[2] = {1, 1};
    EXPECT_EQ(collector.GetFirstIp(words), row.missing & MISSING_IP ? -1 : 0);
    EXPECT_TRUE(words[0] == row.ip && words[1] == 0);
  }
}

TEST(CollectorTest, CardQueriesWithinAndBeyondTheBounds) {
  FakeMachine machine;
  const MacAddress last{{0, 0, 0, 0, 0, 3}};
  MachineInfo collector;
  Found(collector, {Card(1, kMac), Card(2), Card(3, last)}, false);
  MacAddress mac;
  EXPECT_EQ(collector.GetMac(mac, 2), 0);
  EXPECT_EQ(mac, last);
  for (const int index : {3, -1, INT_MAX}) {
    mac = kMac;
    EXPECT_EQ(collector.GetMac(mac, index), -1) << index;
    EXPECT_TRUE(mac.IsZero()) << index;
  }
  EXPECT_EQ(collector.FindMac(last), 2);
  EXPECT_EQ(collector.FindMac(MacAddress()), 1);  // the first card whose MAC is zero
  EXPECT_EQ(collector.FindMac(MacAddress{{9}}), -1);
  EXPECT_EQ(collector.GetCardCount(), 3);
  NetCardList list(kCardListGrowStep);
  for (std::uint32_t i = 0; i < 5; ++i) list.Add(Card(100 + i));
  EXPECT_FALSE(collector.CopyNetCards(list));  // the cards are copied whatever the outcome
  ASSERT_EQ(list.count, 3);
  EXPECT_TRUE(list.GetItem(2)->mac == last && list.capacity == 100);
  for (const int n : {0, 99, 100}) {
    MachineInfo source;
    Found(source, std::vector<NetCardInfo>(static_cast<std::size_t>(n), Card(7)));
    NetCardList copy(kCardListGrowStep);
    EXPECT_TRUE(source.CopyNetCards(copy));
    EXPECT_EQ(copy.count, n);
    EXPECT_EQ(copy.capacity, n == 0 ? 0 : n == 99 ? 100 : 200) << n;
  }
}

TEST(VolumeSerialTest, EveryStep) {
  const struct {
    const char* name;
    std::optional<std::string> root;
    std::optional<DWORD> volume;
    int result;
    std::uint32_t serial;
    std::uint16_t shortSerial;
  } rows[] = {
      {"drive path", "C:\\WINDOWS", 0x1C2D3E4F, 0, 0x1C2D3E4F, 0x2262},
      {"fold to zero", "C:\\WINDOWS", 0xFFFFFFFF, 0, 0xFFFFFFFF, 0},
      {"another drive", "D:\\WINNT", 1, -1, 0, 0},  // the fake knows C:\ alone
      {"fold of the high half", "C:\\WINDOWS", 0xABCD0000, 0, 0xABCD0000, 0xABCD},
      {"missing variable", std::nullopt, 1, static_cast<int>(ERROR_ENVVAR_NOT_FOUND), 0, 0},
      {"not a drive path", "\\\\server\\windows", 1, 0, 0, 0},
      {"volume fails", "C:\\WINDOWS", std::nullopt, -1, 0, 0},
      {"255 characters do not fit", "C:" + std::string(253, 'x'), 1, -1, 0, 0},
      {"254 characters fit", "C:\\" + std::string(251, 'x'), 5, 0, 5, 5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeMachine machine;
    machine.environment.clear();
    if (row.root) machine.environment["SYSTEMROOT"] = *row.root;
    machine.volumeSerial = row.volume;
    std::uint32_t serial = 1;
    std::uint16_t shortSerial = 1;
    EXPECT_EQ(GetSystemVolumeSerial(serial, shortSerial), row.result);
    EXPECT_EQ(serial, row.serial);
    EXPECT_EQ(shortSerial, row.shortSerial);
  }
}

TEST(GrowArrayTest, GrowsInWholeStepsStrictlyAboveAndKeepsElements) {
  GrowArray<int> list(100);
  list.Add(42);
  const int* storage = list.items.get();
  const std::pair<int, int> steps[] = {{99, 100}, {100, 100}, {0, 100}, {-1, 100}, {1, 100},
                                       {101, 200}};
  for (const auto& [size, capacity] : steps) {
    list.SetSize(size);
    EXPECT_EQ(list.capacity, capacity) << size;
    EXPECT_EQ(list.count, size < 0 ? 0 : size) << size;
    EXPECT_EQ(list.items.get() == storage, capacity == 100) << "storage kept until it grows";
  }
  EXPECT_EQ(*list.GetItem(0), 42);
  EXPECT_THROW(list.SetSize(INT_MAX), std::bad_alloc);  // INT_MAX + step overflows
  EXPECT_TRUE(list.count == 101 && list.capacity == 200 && *list.GetItem(0) == 42);

  NetCardList cards(2);
  for (std::uint8_t i = 0; i < 6; ++i) cards.Add(Card(i, MacAddress{{i}}));
  cards.Add(*cards.GetItem(5));  // an element of the array itself, while it grows
  ASSERT_EQ(cards.capacity, 8);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(cards.GetItem(i)->mac.bytes[0], i < 6 ? i : 5);
  cards.SetSize(8);
  EXPECT_TRUE(cards.GetItem(7)->mac.IsZero()) << "fresh spare elements have a zero MAC";
  cards.Clear();
  EXPECT_TRUE(cards.count == 0 && cards.capacity == 0 && cards.items == nullptr);
  cards.Add(Card(9));
  EXPECT_EQ(cards.capacity, 2);
}

}  // namespace
}  // namespace vrel
