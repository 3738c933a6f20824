#include "vrel/identity/grow_array.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <new>

#include "vrel/identity/net_card.h"

namespace vrel {
namespace {

NetCardInfo Card(const char* name, std::uint32_t ip, std::uint8_t firstMacByte) {
  NetCardInfo card;
  std::strncpy(card.name, name, sizeof card.name - 1);
  card.ip = ip;
  card.mac.bytes[0] = firstMacByte;
  return card;
}

TEST(GrowArrayTest, CapacityRoundsUpToTheNextStepStrictlyAbove) {
  NetCardList list(100);
  EXPECT_EQ(list.capacity, 0);
  EXPECT_EQ(list.items, nullptr);
  list.SetSize(1);
  EXPECT_EQ(list.capacity, 100);
  list.SetSize(99);
  EXPECT_EQ(list.capacity, 100);
  list.SetSize(100);
  EXPECT_EQ(list.capacity, 100);  // fits: no growth
  list.SetSize(101);
  EXPECT_EQ(list.capacity, 200);

  NetCardList exact(100);
  exact.SetSize(100);  // from no storage, 100 rounds up strictly above
  EXPECT_EQ(exact.capacity, 200);
  EXPECT_EQ(exact.count, 100);
}

TEST(GrowArrayTest, AddBeyondCapacityKeepsElementsInOrderAndFreshSparesHaveZeroMac) {
  NetCardList list(2);
  list.Add(Card("a", 1, 0xA1));
  list.Add(Card("b", 2, 0xB2));
  ASSERT_EQ(list.capacity, 2);  // 1 rounds up to 2, and 2 still fits
  list.Add(Card("c", 3, 0xC3));
  ASSERT_EQ(list.capacity, 4);
  list.Add(Card("d", 4, 0xD4));
  ASSERT_EQ(list.count, 4);
  list.Add(Card("e", 5, 0xE5));  // count == capacity: grows
  ASSERT_EQ(list.count, 5);
  ASSERT_EQ(list.capacity, 6);
  const char* names[] = {"a", "b", "c", "d", "e"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_STREQ(list.GetItem(i)->name, names[i]);
    EXPECT_EQ(list.GetItem(i)->ip, static_cast<std::uint32_t>(i + 1));
  }
  list.SetSize(6);
  EXPECT_TRUE(list.GetItem(5)->mac.IsZero());
}

TEST(GrowArrayTest, AddingAnElementOfTheArrayItselfCopiesItBeforeGrowing) {
  NetCardList list(1);
  list.Add(Card("self", 7, 0x77));
  list.Add(*list.GetItem(0));  // the source lives in storage that is replaced
  ASSERT_EQ(list.count, 2);
  EXPECT_STREQ(list.GetItem(1)->name, "self");
  EXPECT_EQ(list.GetItem(1)->mac.bytes[0], 0x77);
}

TEST(GrowArrayTest, SmallerSizeKeepsStorageAndSpareContents) {
  NetCardList list(100);
  list.Add(Card("kept", 9, 1));
  NetCardInfo* storage = list.items.get();
  list.SetSize(0);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.capacity, 100);
  EXPECT_EQ(list.items.get(), storage);
  list.SetSize(1);
  EXPECT_STREQ(list.GetItem(0)->name, "kept");
}

TEST(GrowArrayTest, ClearFreesStorageAndLeavesTheArrayUsable) {
  NetCardList empty(100);
  empty.Clear();  // harmless without storage
  EXPECT_EQ(empty.capacity, 0);
  empty.Add(Card("x", 1, 1));
  EXPECT_EQ(empty.count, 1);
  EXPECT_EQ(empty.capacity, 100);
  empty.Clear();
  EXPECT_EQ(empty.count, 0);
  EXPECT_EQ(empty.capacity, 0);
  EXPECT_EQ(empty.items, nullptr);
  EXPECT_EQ(empty.step, 100);
}

TEST(GrowArrayTest, NegativeSizeChangesNothing) {
  GrowArray<int> list(100);
  list.Add(5);
  list.SetSize(-1);
  EXPECT_EQ(list.count, 1);
  EXPECT_EQ(list.capacity, 100);
  EXPECT_EQ(*list.GetItem(0), 5);
}

TEST(GrowArrayTest, CapacityOverflowThrowsBadAllocAndLeavesTheArrayAsItWas) {
  GrowArray<int> list(100);
  list.Add(42);
  int* storage = list.items.get();
  EXPECT_THROW(list.SetSize(INT_MAX), std::bad_alloc);  // INT_MAX + step overflows
  EXPECT_EQ(list.count, 1);
  EXPECT_EQ(list.capacity, 100);
  EXPECT_EQ(list.items.get(), storage);
  EXPECT_EQ(*list.GetItem(0), 42);
}

// An element so large that 2^30 of them exceed the address space: the
// byte size overflows before anything is allocated.
struct HugeRecord {
  char bytes[sizeof(void*) == 8 ? (std::size_t{1} << 34) : (std::size_t{1} << 20)];
};

TEST(GrowArrayTest, StorageSizeBeyondTheAddressSpaceThrowsBadAllocAndChangesNothing) {
  GrowArray<HugeRecord> list(1);
  EXPECT_THROW(list.SetSize(1 << 30), std::bad_alloc);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.capacity, 0);
  EXPECT_EQ(list.items, nullptr);
}

}  // namespace
}  // namespace vrel
