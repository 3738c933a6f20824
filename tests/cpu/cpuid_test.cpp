#include "vrel/cpu/cpuid.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "fake_machine.h"

namespace vrel {
namespace {

using test::FakeMachine;
using test::VendorLeaf;

TEST(CpuidTest, InitWritesTheVendorStringAndLeavesTheLastTwoCharacters) {
  FakeMachine machine;
  machine.cpuid[0] = VendorLeaf("GenuineIntel");
  CpuInfo info;
  std::memset(info.vendor, '#', sizeof info.vendor);
  EXPECT_EQ(info.Init(), 0);
  EXPECT_EQ(std::memcmp(info.vendor, "GenuineIntel", 13), 0);
  EXPECT_EQ(info.vendor[13], '#');
  EXPECT_EQ(info.vendor[14], '#');
}

TEST(CpuidTest, SignatureFieldsFollowTheVendor) {
  FakeMachine machine;
  // Intel Pentium III (family 6, model 8, stepping 3) and an OverDrive part.
  machine.cpuid[0] = VendorLeaf("GenuineIntel");
  machine.cpuid[1] = {0x0683, 0, 0, 0};
  CpuInfo info{};
  info.Init();
  int type = -1, stepping = -1, model = -1, family = -1;
  EXPECT_EQ(info.GetSignatureFields(type, stepping, model, family), 0);
  EXPECT_EQ((std::array<int, 4>{type, stepping, model, family}), (std::array<int, 4>{0, 3, 8, 6}));
  machine.cpuid[1] = {0x1543, 0, 0, 0};
  info.GetSignatureFields(type, stepping, model, family);
  EXPECT_EQ((std::array<int, 4>{type, stepping, model, family}), (std::array<int, 4>{1, 3, 4, 5}));

  // AMD K6 (family 6, model 6, stepping 2): the type bits are never read.
  machine.cpuid[0] = VendorLeaf("AuthenticAMD");
  machine.cpuid[1] = {0xF662, 0, 0, 0};
  info.Init();
  EXPECT_EQ(info.GetSignatureFields(type, stepping, model, family), 0);
  EXPECT_EQ((std::array<int, 4>{type, stepping, model, family}), (std::array<int, 4>{0, 2, 6, 6}));
}

TEST(CpuidTest, OnlyAnExactThirteenByteVendorMatches) {
  FakeMachine machine;
  machine.cpuid[1] = {0x0683, 0, 0, 0};
  const char* others[] = {"CentaurHauls", "GenuineIntex", "AuthenticAMd"};
  for (const char* vendor : others) {
    machine.cpuid[0] = VendorLeaf(vendor);
    CpuInfo info{};
    info.Init();
    int type = -1, stepping = -1, model = -1, family = -1;
    EXPECT_EQ(info.GetSignatureFields(type, stepping, model, family), kUnknownCpuVendor) << vendor;
    EXPECT_EQ((std::array<int, 4>{type, stepping, model, family}), (std::array<int, 4>{0, 0, 0, 0}));
  }
  // The right twelve characters without the NUL at index 12.
  CpuInfo info{};
  std::memcpy(info.vendor, "GenuineIntelX", 13);
  int type = -1, stepping = -1, model = -1, family = -1;
  EXPECT_EQ(info.GetSignatureFields(type, stepping, model, family), kUnknownCpuVendor);
}

TEST(CpuidTest, RawQueries) {
  FakeMachine machine;
  machine.cpuid[0] = VendorLeaf("AuthenticAMD", 0x10);
  machine.cpuid[7] = {1, 2, 3, 4};
  std::uint32_t regs[4] = {};
  CpuidLeaf(regs, 7);
  EXPECT_EQ((std::array<std::uint32_t, 4>{regs[0], regs[1], regs[2], regs[3]}),
            (std::array<std::uint32_t, 4>{1, 2, 3, 4}));

  std::uint32_t ebx = 0, edx = 0, ecx = 0;
  EXPECT_EQ(GetVendorRegisters(ebx, edx, ecx), 0);
  char text[13] = {};
  std::memcpy(text, &ebx, 4);
  std::memcpy(text + 4, &edx, 4);
  std::memcpy(text + 8, &ecx, 4);
  EXPECT_STREQ(text, "AuthenticAMD");

  machine.cpuid[0x80000000u] = {0x80000000u, 0, 0, 0};
  EXPECT_EQ(ExtendedCpuidSupported(), 0);
  machine.cpuid[0x80000000u] = {0x80000008u, 0, 0, 0};
  EXPECT_EQ(ExtendedCpuidSupported(), 1);

  EXPECT_EQ(CpuidSupported(), 1);
  machine.hasCpuid = false;
  EXPECT_EQ(CpuidSupported(), 0);
}

#if defined(__i386__) || defined(__x86_64__)
// The real processor: every x86 this library runs on has CPUID, and leaf 0
// names a vendor of twelve printable characters.
TEST(CpuidTest, RealProcessorHasCpuidAndAVendorString) {
  EXPECT_EQ(CpuidSupported(), 1);
  CpuInfo info{};
  info.Init();
  EXPECT_EQ(std::strlen(info.vendor), 12u);
}
#endif

}  // namespace
}  // namespace vrel
