#include <gtest/gtest.h>

#include "fake_machine.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

using test::FakeMachine;
using test::VendorLeaf;

// Leaf 1 EAX from its fields (extended fields given too, to prove they are ignored).
std::uint32_t Leaf1(int family, int model, int stepping, int type = 0, int extFamily = 0,
                    int extModel = 0) {
  return static_cast<std::uint32_t>(extFamily << 20 | extModel << 16 | type << 12 | family << 8 |
                                    model << 4 | stepping);
}

struct SignatureCase {
  const char* processor;
  const char* vendor;
  std::uint32_t leaf1Eax;
  std::uint32_t expected;
};

TEST(CpuSignatureTest, PacksVendorCharacterAndSignatureFields) {
  const SignatureCase cases[] = {
      // Intel Core 2 (family 6, model 15, stepping 6).
      {"Intel Core 2", "GenuineIntel", Leaf1(6, 15, 6), 0x476F60},
      // AMD Athlon 64 (family 15, model 4, stepping 8); the type bits are not read.
      {"AMD Athlon 64", "AuthenticAMD", Leaf1(15, 4, 8, 3), 0x41F480},
      // Another vendor: only its first character.
      {"Centaur", "CentaurHauls", Leaf1(6, 15, 8), 0x430000},
      // Intel OverDrive: type 1.
      {"Intel Pentium OverDrive", "GenuineIntel", Leaf1(5, 4, 3, 1), 0x475431},
      // A modern Intel part: extended family and model are cut away.
      {"Intel Ice Lake", "GenuineIntel", Leaf1(6, 0xA, 5, 0, 0, 6), 0x476A50},
      // Base family 15 with a non-zero extended family stays 15.
      {"AMD Zen 3", "AuthenticAMD", Leaf1(15, 1, 0, 0, 0xA, 2), 0x41F100},
  };
  for (const auto& c : cases) {
    FakeMachine machine;
    machine.cpuid[0] = VendorLeaf(c.vendor);
    machine.cpuid[1] = {c.leaf1Eax, 0, 0, 0};
    std::uint32_t signature = 1;
    EXPECT_EQ(GetCpuSignature(signature), 0) << c.processor;
    EXPECT_EQ(signature, c.expected) << c.processor << std::hex << " got " << signature;
  }
}

TEST(CpuSignatureTest, VendorCharacterAbove0x7FIsSignExtended) {
  FakeMachine machine;
  machine.cpuid[0] = VendorLeaf("\xC7" "enuineIntel");
  machine.cpuid[1] = {Leaf1(6, 15, 6), 0, 0, 0};
  std::uint32_t signature = 0;
  ASSERT_EQ(GetCpuSignature(signature), 0);
  // Not Intel any more, so the fields are zero; bits 16-31 hold 0xC7 sign-filled.
  EXPECT_EQ(signature, 0xFFC70000u);
}

TEST(CpuSignatureTest, NoCpuidGivesMinusOneAndZero) {
  FakeMachine machine;
  machine.hasCpuid = false;
  machine.cpuid[0] = VendorLeaf("GenuineIntel");
  std::uint32_t signature = 1;
  EXPECT_EQ(GetCpuSignature(signature), -1);
  EXPECT_EQ(signature, 0u);
}

}  // namespace
}  // namespace vrel
