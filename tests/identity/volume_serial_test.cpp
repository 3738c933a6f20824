#include <gtest/gtest.h>

#include <string>

#include "fake_machine.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

using test::FakeMachine;

TEST(VolumeSerialTest, DriveRootOfSystemRootIsQueriedAndFolded) {
  FakeMachine machine;
  machine.environment["SYSTEMROOT"] = "C:\\WINDOWS";
  machine.volumeSerial = 0x1C2D3E4Fu;
  std::uint32_t serial = 1;
  std::uint16_t shortSerial = 1;
  EXPECT_EQ(GetSystemVolumeSerial(serial, shortSerial), 0);
  EXPECT_EQ(serial, 0x1C2D3E4Fu);
  EXPECT_EQ(shortSerial, 0x2262);
  ASSERT_EQ(machine.volumeQueries.size(), 1u);
  EXPECT_EQ(machine.volumeQueries[0], "C:\\");
}

TEST(VolumeSerialTest, MissingVariablePassesTheSystemErrorThrough) {
  FakeMachine machine;
  machine.environment.clear();
  std::uint32_t serial = 1;
  std::uint16_t shortSerial = 1;
  EXPECT_EQ(GetSystemVolumeSerial(serial, shortSerial), static_cast<int>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_EQ(serial, 0u);
  EXPECT_EQ(shortSerial, 0);
  EXPECT_TRUE(machine.volumeQueries.empty());
}

TEST(VolumeSerialTest, ValueThatIsNotADrivePathSucceedsWithZeros) {
  FakeMachine machine;
  machine.environment["SYSTEMROOT"] = "\\\\server\\windows";
  std::uint32_t serial = 1;
  std::uint16_t shortSerial = 1;
  EXPECT_EQ(GetSystemVolumeSerial(serial, shortSerial), 0);
  EXPECT_EQ(serial, 0u);
  EXPECT_EQ(shortSerial, 0);
  EXPECT_TRUE(machine.volumeQueries.empty());
}

TEST(VolumeSerialTest, FailingVolumeQueryGivesMinusOne) {
  FakeMachine machine;
  machine.environment["SYSTEMROOT"] = "D:\\WINNT";  // the fake answers only C:\ .
  std::uint32_t serial = 1;
  std::uint16_t shortSerial = 1;
  EXPECT_EQ(GetSystemVolumeSerial(serial, shortSerial), -1);
  EXPECT_EQ(serial, 0u);
  EXPECT_EQ(shortSerial, 0);
  ASSERT_EQ(machine.volumeQueries.size(), 1u);
  EXPECT_EQ(machine.volumeQueries[0], "D:\\");
}

TEST(VolumeSerialTest, ValueTooLongForTheBufferIsNeverReadAndGivesMinusOne) {
  FakeMachine machine;
  for (std::size_t length : {255u, 300u}) {
    machine.environment["SYSTEMROOT"] = "C:" + std::string(length - 2, 'x');
    std::uint32_t serial = 1;
    std::uint16_t shortSerial = 1;
    EXPECT_EQ(GetSystemVolumeSerial(serial, shortSerial), -1) << length;
    EXPECT_EQ(serial, 0u);
    EXPECT_EQ(shortSerial, 0);
  }
  EXPECT_TRUE(machine.volumeQueries.empty());

  machine.environment["SYSTEMROOT"] = "C:\\" + std::string(251, 'x');  // 254: fits
  std::uint32_t serial = 0;
  std::uint16_t shortSerial = 0;
  EXPECT_EQ(GetSystemVolumeSerial(serial, shortSerial), 0);
  EXPECT_EQ(serial, 0x1C2D3E4Fu);
}

TEST(VolumeSerialTest, ShortSerialFoldsTheHighHalfIntoTheLow) {
  FakeMachine machine;
  const struct {
    std::uint32_t serial;
    std::uint16_t folded;
  } cases[] = {{0, 0}, {0xFFFFFFFFu, 0}, {0x0000ABCDu, 0xABCD}, {0xABCD0000u, 0xABCD},
               {0x12345678u, 0x444C}};
  for (const auto& c : cases) {
    machine.volumeSerial = c.serial;
    std::uint32_t serial = 0;
    std::uint16_t shortSerial = 0;
    ASSERT_EQ(GetSystemVolumeSerial(serial, shortSerial), 0);
    EXPECT_EQ(serial, c.serial);
    EXPECT_EQ(shortSerial, c.folded) << std::hex << c.serial;
  }
}

}  // namespace
}  // namespace vrel
