// CPUID access, processor naming, the vendor label and the clock estimate:
// scripted processors first, then this machine read apart from the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fake_machine.h"
#include "vrel/cpu/cpu_naming.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#ifndef _WIN32
#include <time.h>
#endif
#endif

namespace vrel {
namespace {

using test::FakeMachine;

// Leaf 1 EAX and leaf 2 EDX of real processors. Signatures from Intel's
// processor signature table (AP-485, "Intel Processor Identification and the
// CPUID Instruction") and AMD's revision guides; leaf 2 as Intel published it
// where marked SDM (SDM Vol. 2A, "Example of Cache and TLB Interpretation"; the
// P6 manual's Pentium Pro example), else the SDM descriptor of the part's cache.
// Vendor I: GenuineIntel, A: AuthenticAMD. Name "": the description is the name
// (with the cache suffix); null: a vendor the library does not know.
struct Processor {
  const char* cpu;
  const char* vendor;
  std::uint32_t eax1, edx2;
  int cacheKB;
  const char* name;
};
constexpr Processor kProcessors[] = {
    {"Pentium P54C", "I", 0x0525, 0, 0, "Pentium"},
    {"Pentium MMX", "I", 0x0543, 0, 0, "Pentium MMX"},
    {"Pentium OverDrive MMX", "I", 0x1544, 0, 0, "Pentium OverDrive MMX"},
    {"Pentium Pro (SDM)", "I", 0x0619, 0x06040A42, 256, "PPro/256KB"},
    {"Pentium II Klamath", "I", 0x0634, 0x0C040843, 512, "P2(M3)/512KB"},
    {"Pentium II OverDrive", "I", 0x1632, 0x0C040843, 512, "P2/OverDrive/512KB"},
    {"Celeron Covington", "I", 0x0650, 0x0C040840, 0, "Celeron(M5)"},
    {"Pentium II Deschutes", "I", 0x0652, 0x0C040843, 512, "P2(M5)/512KB"},
    {"model 5, null descriptor", "I", 0x0652, 0x0C040800, 0, "P2(M5)"},
    {"Pentium II Xeon", "I", 0x0652, 0x0C040844, 1024, "P2Xeon(M5)/1024KB"},
    {"Celeron Mendocino", "I", 0x0665, 0x0C040841, 128, "Celeron-M6/128KB"},
    {"model 7 without L2", "I", 0x0673, 0x0C040840, 0, "P3(M7),P3Xeon(M7)"},
    {"Pentium III Katmai", "I", 0x0672, 0x0C040843, 512, "P3(M7)/512KB"},
    {"Pentium III Xeon Tanner", "I", 0x0672, 0x0C040845, 2048, "P3Xeon(M7)/2048KB"},
    {"model 8 without L2", "I", 0x0683, 0x0C040840, 0, "Celeron(M8)"},
    {"Pentium III Coppermine", "I", 0x0683, 0x0C040882, 256, "P3(M8)/256KB"},
    {"model 8 with 1 MB", "I", 0x0686, 0x0C040884, 1024, "P3Xeon(M8)/1024KB"},
    {"Pentium III Xeon Cascades", "I", 0x06A1, 0x0C040844, 1024, "P3Xeon(MA)/1024KB"},
    {"Pentium III Tualatin", "I", 0x06B1, 0x0C040883, 512, "P3Xeon(MB)/512KB"},
    {"Pentium 4 Willamette (SDM), 0x7A above", "I", 0x0F07, 0x007A7000, 0, "P4"},
    {"Pentium 4 Northwood", "I", 0x0F24, 0x0000707B, 512, "P4/512KB"},
    {"Xeon MP Gallatin", "I", 0x0F25, 0x007B7025, 2048, "IntelXeon/2048KB"},
    {"Pentium 4 Prescott 2M (0x7D unlisted)", "I", 0x0F34, 0x0000707D, 0, "P4"},
    {"Pentium 4 model 4", "I", 0x0F41, 0x0000707C, 1024, ""},
    {"Pentium II dual-processor type", "I", 0x2652, 0x0C040842, 256, ""},
    {"Core i7-6700 (extended model ignored)", "I", 0x506E3, 0x00C30000, 0, ""},
    {"Duron Spitfire", "A", 0x0630, 0x44, 0, "Duron"},
    {"Athlon XP Palomino, type bits set", "A", 0x3662, 0x44, 0, "Athlon"},
    {"Athlon Thunderbird", "A", 0x0642, 0, 0, "Model:4"},
    {"EPYC 7003 (family 19h)", "A", 0xA00F11, 0, 0, "Model:1"},
    {"VIA C3", "CentaurHauls", 0x0698, 0x44, 0, nullptr},
    {"Cyrix 6x86MX", "CyrixInstead", 0x0600, 0, 0, nullptr},
    {"one letter off", "GenuineIntex", 0x0683, 0x44, 0, nullptr},
    {"case differs", "AuthenticAMd", 0x0630, 0, 0, nullptr},
};

// The signature fields as the SDM lays out leaf 1 EAX (stepping, model, family).
std::string Fields(std::uint32_t eax) {
  return "Model:" + std::to_string(eax >> 4 & 15) + ",Family:" + std::to_string(eax >> 8 & 15) +
         ",Stepping:" + std::to_string(eax & 15);
}

TEST(CpuNamingTest, PublishedProcessors) {
  for (const Processor& p : kProcessors) {
    SCOPED_TRACE(p.cpu);
    const bool amd = !std::strcmp(p.vendor, "A"), intel = !std::strcmp(p.vendor, "I");
    FakeMachine machine;
    machine.cpuid[0] = test::VendorLeaf(amd ? "AuthenticAMD" : intel ? "GenuineIntel" : p.vendor);
    machine.cpuid[1] = {p.eax1, 0, 0, 0};
    machine.cpuid[2] = {0x665B5001, 0, 0, p.edx2};
    CpuInfo info{};
    EXPECT_EQ(info.Init(), 0);
    int type = -1, stepping = -1, model = -1, family = -1;
    const int fields = info.GetSignatureFields(type, stepping, model, family);
    char description[kCpuDescriptionSize], name[kCpuNameSize], label[kVendorLabelSize + 4];
    std::memset(description, '#', sizeof description);
    std::memset(name, '#', sizeof name);
    std::memset(label, '#', sizeof label);
    const int named = info.GetName(type, stepping, model, family, description, name);
    EXPECT_EQ(GetVendorShortName(label), 0);
    EXPECT_STREQ(label, amd ? "AMD" : intel ? "INTEL" : "UNKNOWN");
    EXPECT_EQ(std::string(label + kVendorLabelSize, 4), "####");
    if (p.name == nullptr) {  // a third vendor: fields zero, neither buffer touched
      EXPECT_EQ(fields, kUnknownCpuVendor);
      EXPECT_EQ(type | stepping | model | family, 0);
      EXPECT_EQ(named, kUnknownCpuVendor);
      EXPECT_EQ(std::string(description, sizeof description), std::string(sizeof description, '#'));
      EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, '#'));
      continue;
    }
    const std::string expected = Fields(p.eax1) + (amd ? "" : ",Cache:" + std::to_string(p.cacheKB));
    const std::string suffix = p.cacheKB > 0 ? "/" + std::to_string(p.cacheKB) + "KB" : "";
    EXPECT_EQ(fields, 0);
    EXPECT_EQ(named, 0);
    EXPECT_EQ(type, amd ? 0 : static_cast<int>(p.eax1 >> 12 & 15));
    EXPECT_EQ(std::string(description), expected);
    EXPECT_EQ(std::string(name), *p.name ? std::string(p.name) : expected + suffix);
  }
}

// Intel SDM Vol. 2A, table of cache and TLB descriptors: the second- and
// third-level cache sizes (0x40: no such cache). Every other byte is -1, and
// only the lowest byte of the argument counts.
TEST(CpuNamingTest, CacheDescriptorsOfTheSdm) {
  std::map<int, int> sdm = {{0x22, 512},  {0x23, 1024}, {0x25, 2048}, {0x29, 4096}, {0x40, 0},
                            {0x41, 128},  {0x42, 256},  {0x43, 512},  {0x44, 1024}, {0x45, 2048},
                            {0x79, 128},  {0x7A, 256},  {0x7B, 512},  {0x7C, 1024}, {0x82, 256},
                            {0x83, 512},  {0x84, 1024}, {0x85, 2048}};
  for (int byte = 0; byte < 256; ++byte) {
    const int expected = sdm.count(byte) ? sdm[byte] : -1;
    EXPECT_EQ(CacheDescriptorSizeKB(byte), expected) << std::hex << byte;
    EXPECT_EQ(CacheDescriptorSizeKB(byte | 0x7FFFFF00), expected) << std::hex << byte;
    EXPECT_EQ(CacheDescriptorSizeKB(byte | INT_MIN), expected) << std::hex << byte;
  }
  FakeMachine machine;
  machine.cpuid[2] = {0x665B5001, 0x11223344, 0x55667788, 0x7C7C7C42};
  std::uint32_t r[4] = {9, 9, 9, 9};
  int sizeKB = 9;
  EXPECT_EQ(GetCacheDescriptors(r[0], r[1], r[2], r[3], sizeKB), -1);
  EXPECT_EQ(std::vector<std::uint32_t>(r, r + 4),
            (std::vector<std::uint32_t>{0x665B5001, 0x11223344, 0x55667788, 0x7C7C7C42}));
  EXPECT_EQ(sizeKB, 256);
}

// Any int fits the documented sizes: the texts are whole, and the guard bytes
// after each buffer stay intact.
TEST(CpuNamingTest, AnyIntStaysWithinTheBuffers) {
  struct {
    int type, stepping, model, family;
    const char* name;  // null: the description
  } const cases[] = {{INT_MIN, INT_MIN, INT_MIN, INT_MIN, nullptr},
                     {INT_MAX, INT_MAX, INT_MAX, INT_MAX, nullptr},
                     {0, -1, 24, 6, "P3Xeon(M8)"},  // model 24 reads as 8: its low 4 bits
                     {0, 1, INT_MIN, 15, "IntelXeon"}};
  FakeMachine machine;
  machine.cpuid[2] = {0, 0, 0, 0x29};  // 4096 KB: the longest cache field and suffix
  for (const auto& c : cases) {
    const std::string fields = "Model:" + std::to_string(c.model) + ",Family:" +
                               std::to_string(c.family) + ",Stepping:" + std::to_string(c.stepping);
    const std::string intelDescription = fields + ",Cache:4096";
    SCOPED_TRACE(fields);
    for (bool intel : {true, false}) {
      std::vector<char> d(kCpuDescriptionSize + 32, '#'), n(kCpuNameSize + 32, '#');
      EXPECT_EQ(intel ? NameIntelCpu(c.type, c.stepping, c.model, c.family, d.data(), n.data())
                      : NameAmdCpu(c.stepping, c.model, c.family, d.data(), n.data()),
                0);
      EXPECT_EQ(d.data(), intel ? intelDescription : fields);
      EXPECT_EQ(n.data(), intel ? (c.name ? c.name : intelDescription) + "/4096KB"
                                : "Model:" + std::to_string(c.model));
      EXPECT_EQ(std::string(d.end() - 32, d.end()) + std::string(n.end() - 32, n.end()),
                std::string(64, '#'));
    }
  }
}

TEST(CpuidTest, RawQueriesAndTheVendorsNul) {
  FakeMachine machine;
  machine.cpuid[0] = test::VendorLeaf("AuthenticAMD", 0x10);
  machine.cpuid[1] = {0x0683, 0, 0, 0};
  machine.cpuid[7] = {1, 2, 3, 4};
  std::uint32_t regs[4] = {};
  CpuidLeaf(regs, 7);
  EXPECT_EQ(std::vector<std::uint32_t>(regs, regs + 4), (std::vector<std::uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(GetVendorRegisters(regs[0], regs[1], regs[2]), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(regs), 12), "AuthenticAMD");
  for (std::uint32_t top : {0x80000000u, 0x80000001u}) {
    machine.cpuid[0x80000000u] = {top, 0, 0, 0};
    EXPECT_EQ(ExtendedCpuidSupported(), top == 0x80000001u ? 1 : 0);
  }
  EXPECT_EQ(CpuidSupported(), 1);
  machine.hasCpuid = false;
  EXPECT_EQ(CpuidSupported(), 0);
  // The comparisons cover the NUL: twelve right characters and a thirteenth.
  CpuInfo info{};
  std::memcpy(info.vendor, "GenuineIntelX", 13);
  int type = -1, stepping = -1, model = -1, family = -1;
  EXPECT_EQ(info.GetSignatureFields(type, stepping, model, family), kUnknownCpuVendor);
  char text[kCpuNameSize] = "-";
  EXPECT_EQ(info.GetName(0, 3, 8, 6, text, text), kUnknownCpuVendor);
  EXPECT_STREQ(text, "-");
}

// Counter readings around the one-second sleep: ticks / 10^6, signed 64-bit
// difference, truncated toward zero.
TEST(ClockTest, TicksOverOneSecondInMegahertz) {
  struct {
    std::uint64_t t0, t1;
    std::int64_t mhz;
  } const cases[] = {{0, 2096009000, 2096},
                     {1000, 1000 + 2999999999ull, 2999},
                     {0xFFFFFFFFFFFFFFFFull - 499999, 500000, 1},  // the counter wrapped
                     {0x100000000ull, 0x1FFFFFFFFull + 3000000000ull, 7294},  // all 64 bits count
                     {3000000000ull, 1, -2999},
                     {0, 0x7FFFFFFFFFFFFFFFull, 9223372036854}};
  static int readsBeforeSleep;
  for (const auto& c : cases) {
    FakeMachine machine;
    machine.tscReadings = {c.t0, c.t1};
    machine.api.Sleep = [](DWORD ms) {
      FakeMachine::Current().sleeps.push_back(ms);
      readsBeforeSleep = FakeMachine::Current().tscReads;
    };
    EXPECT_EQ(MeasureCpuClockMHz(), c.mhz) << c.t0 << " to " << c.t1;
    EXPECT_EQ(machine.sleeps, std::vector<DWORD>{1000});
    EXPECT_EQ(readsBeforeSleep, 1);
    EXPECT_EQ(machine.tscReads, 2);
  }
}

#if defined(__i386__) || defined(__x86_64__)
// This processor through the real platform, against CPUID executed here.
TEST(RealMachineTest, NamesThisProcessor) {
  unsigned r[3][4] = {};
  for (unsigned i = 0; i < 3; ++i) __cpuid_count(i, 0, r[i][0], r[i][1], r[i][2], r[i][3]);
  const unsigned order[3] = {r[0][1], r[0][3], r[0][2]};  // EBX, EDX, ECX
  const std::string vendor(reinterpret_cast<const char*>(order), 12);
  const bool intel = vendor == "GenuineIntel", amd = vendor == "AuthenticAMD";
  const int kb = CacheDescriptorSizeKB(static_cast<int>(r[2][3] & 0xFF));
  const std::string expected =
      Fields(r[1][0]) + (intel ? ",Cache:" + std::to_string(std::max(kb, 0)) : "");
  ASSERT_EQ(CpuidSupported(), 1);
  CpuInfo info{};
  info.Init();
  EXPECT_EQ(info.vendor, vendor);
  int type = -1, stepping = -1, model = -1, family = -1;
  info.GetSignatureFields(type, stepping, model, family);
  EXPECT_EQ(type, intel ? static_cast<int>(r[1][0] >> 12 & 15) : 0);
  char description[kCpuDescriptionSize] = "-", name[kCpuNameSize] = "-", label[kVendorLabelSize];
  EXPECT_EQ(info.GetName(type, stepping, model, family, description, name),
            intel || amd ? 0 : kUnknownCpuVendor);
  EXPECT_EQ(std::string(description), intel || amd ? expected : "-");
  GetVendorShortName(label);
  EXPECT_STREQ(label, intel ? "INTEL" : amd ? "AMD" : "UNKNOWN");
  std::printf("%s: %s, %s\n", vendor.c_str(), description, name);
}

// Seconds on the system's monotonic clock, read apart from the library.
double MonotonicSeconds() {
#ifdef _WIN32
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
#else
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

// The library's two counter readings lie inside the test's, so its estimate
// can never exceed the ticks the test counted; its sleep lasts at least a
// second, so it counts at least a second's worth at the rate the test measured
// against the monotonic clock. A busy machine only lengthens the sleep; a wrong
// unit or a counter cut to 32 bits (it wraps every second or two) falls outside.
TEST(ClockRealTest, EstimateLiesWithinTheCountersTicks) {
  const std::uint64_t before = __rdtsc(), reading = platform::Current().ReadTimeStampCounter();
  const double s0 = MonotonicSeconds();
  const std::uint64_t c0 = __rdtsc();
  const std::int64_t mhz = MeasureCpuClockMHz();
  const std::uint64_t c1 = __rdtsc();
  const double s1 = MonotonicSeconds();
  EXPECT_TRUE(reading + 1000000 > before && reading < c0 + 1000000);  // all 64 bits
  const double ticksPerSecond = static_cast<double>(c1 - c0) / (s1 - s0);
  std::printf("estimate %lld MHz; counter %.1f MHz over %.3f s\n", static_cast<long long>(mhz),
              ticksPerSecond / 1e6, s1 - s0);
  EXPECT_LE(mhz, static_cast<std::int64_t>((c1 - c0) / 1000000) + 1);
  EXPECT_GE(static_cast<double>(mhz), 0.95 * ticksPerSecond / 1e6);
}
#endif

}  // namespace
}  // namespace vrel
