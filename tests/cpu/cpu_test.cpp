// CPUID access, processor naming, the vendor label and the clock estimate:
// scripted processors first, then this machine's counter read apart from the
// library (its CPUID is the end-to-end check's).
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fake_machine.h"
#include "vrel/cpu/cpu_naming.h"
#include "vrel/identity/machine_info.h"

#if defined(__i386__) || defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace vrel {
namespace {

using test::FakeMachine;
using Ints = std::vector<std::int64_t>;

// Leaf 1 EAX from Intel AP-485's signature table and AMD's revision guides; leaf 2 EDX as Intel
// published it where marked SDM (SDM Vol. 2A cache example; the P6 manual's Pentium Pro), else the
// part's cache descriptor (SDM table) in the low byte; "model" rows reach entries no part shows.
// Vendor I, A: Intel, AMD. Name "": the description (and cache suffix); null: an unknown vendor.
struct Processor { const char *cpu, *vendor; std::uint32_t eax1, edx2; int kb; const char* name; };
constexpr Processor kProcessors[] = {
    {"Pentium P54C", "I", 0x0525, 0, 0, "Pentium"},
    {"Pentium MMX", "I", 0x0543, 0, 0, "Pentium MMX"},
    {"Pentium OverDrive MMX", "I", 0x1544, 0, 0, "Pentium OverDrive MMX"},
    {"Pentium Pro (SDM)", "I", 0x0619, 0x06040A42, 256, "PPro/256KB"},
    {"Pentium II Klamath", "I", 0x0634, 0x0C040843, 512, "P2(M3)/512KB"},
    {"Pentium II OverDrive", "I", 0x1632, 0x0C040843, 512, "P2/OverDrive/512KB"},
    {"Celeron Covington", "I", 0x0650, 0x0C040840, 0, "Celeron(M5)"},
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
    {"EPYC 7003 (family 19h)", "A", 0xA00F11, 0, 0, "Model:1"},
    {"VIA C3", "CentaurHauls", 0x0698, 0x44, 0, nullptr},
    {"one letter off", "GenuineIntex", 0x0683, 0x44, 0, nullptr},
    {"case differs", "AuthenticAMd", 0x0630, 0, 0, nullptr},
    {"first byte above 0x7F", "\xC7" "enuineIntel", 0x06F6, 0, 0, nullptr},
};

std::string Fields(std::uint32_t eax) {  // as the SDM lays out leaf 1 EAX
  return "Model:" + std::to_string(eax >> 4 & 15) + ",Family:" + std::to_string(eax >> 8 & 15) +
         ",Stepping:" + std::to_string(eax & 15);
}

// The signature packs the vendor's first byte (sign-extended) above the
// family, model, stepping and, for Intel, the type; another vendor gets no fields.
std::uint32_t Signature(const char* vendor, std::uint32_t eax, bool amd, bool intel) {
  const std::uint32_t fields = (eax >> 8 & 15) << 12 | (eax >> 4 & 15) << 8 | (eax & 15) << 4 |
                               (intel ? eax >> 12 & 3 : 0);
  return static_cast<std::uint32_t>(static_cast<signed char>(vendor[0])) << 16 |
         (amd || intel ? fields : 0);
}

TEST(CpuNamingTest, PublishedProcessors) {
  for (const Processor& p : kProcessors) {
    SCOPED_TRACE(p.cpu);
    const bool amd = !std::strcmp(p.vendor, "A"), intel = !std::strcmp(p.vendor, "I");
    FakeMachine machine;
    const char* vendor = amd ? "AuthenticAMD" : intel ? "GenuineIntel" : p.vendor;
    machine.cpuid = {{0, test::VendorLeaf(vendor)}, {1, {p.eax1}}, {2, {0x665B5001, 0, 0, p.edx2}}};
    CpuInfo info{};
    int type = -1, stepping = -1, model = -1, family = -1;
    const int init = info.Init(), fields = info.GetSignatureFields(type, stepping, model, family);
    std::string description(kCpuDescriptionSize, '#'), name(kCpuNameSize, '#'), label(12, '#');
    const int named = info.GetName(type, stepping, model, family, &description[0], &name[0]);
    EXPECT_EQ(GetVendorShortName(&label[0]) + init, 0);
    EXPECT_EQ(label.c_str() + label.substr(kVendorLabelSize),
              std::string(amd ? "AMD" : intel ? "INTEL" : "UNKNOWN") + "####");
    std::uint32_t signature = 1;
    EXPECT_EQ(GetCpuSignature(signature), 0);
    EXPECT_EQ(signature, Signature(vendor, p.eax1, amd, intel));
    if (p.name == nullptr) {  // a third vendor: fields zero, neither buffer touched
      EXPECT_EQ(Ints({fields, named, type, stepping, model, family}),
                Ints({kUnknownCpuVendor, kUnknownCpuVendor, 0, 0, 0, 0}));
      EXPECT_EQ(description + name, std::string(kCpuDescriptionSize + kCpuNameSize, '#'));
      continue;
    }
    const std::string expected = Fields(p.eax1) + (amd ? "" : ",Cache:" + std::to_string(p.kb));
    const std::string suffix = p.kb > 0 ? "/" + std::to_string(p.kb) + "KB" : "";
    EXPECT_EQ(Ints({fields, named, type}), Ints({0, 0, amd ? 0 : p.eax1 >> 12 & 15}));
    EXPECT_EQ(description.c_str() + std::string(" ") + name.c_str(),
              expected + " " + (*p.name ? std::string(p.name) : expected + suffix));
  }
}

// Intel SDM Vol. 2A, table of cache and TLB descriptors: the second- and
// third-level cache sizes (0x40: no such cache). Every other byte is -1, and
// only the lowest byte of the argument counts.
TEST(CpuNamingTest, CacheDescriptorsOfTheSdm) {
  std::map<int, int> sdm = {{0x22, 512}, {0x23, 1024}, {0x25, 2048}, {0x29, 4096}, {0x40, 0},
      {0x41, 128}, {0x42, 256}, {0x43, 512}, {0x44, 1024}, {0x45, 2048}, {0x79, 128}, {0x7A, 256},
      {0x7B, 512}, {0x7C, 1024}, {0x82, 256}, {0x83, 512}, {0x84, 1024}, {0x85, 2048}};
  for (int byte = 0; byte < 256; ++byte) {
    const int kb = sdm.count(byte) ? sdm[byte] : -1;
    for (int high : {0, 0x7FFFFF00, INT_MIN}) EXPECT_EQ(CacheDescriptorSizeKB(byte | high), kb);
  }
  FakeMachine machine;
  machine.cpuid[2] = {0x665B5001, 0x11223344, 0x55667788, 0x7C7C7C42};
  std::uint32_t r[4] = {9, 9, 9, 9};
  int sizeKB = 9, result = GetCacheDescriptors(r[0], r[1], r[2], r[3], sizeKB);
  EXPECT_EQ(Ints({result, r[0], r[1], r[2], r[3], sizeKB}),
            Ints({-1, 0x665B5001, 0x11223344, 0x55667788, 0x7C7C7C42, 256}));
}

// Any int fits the documented sizes: whole texts, guard bytes intact.
TEST(CpuNamingTest, AnyIntStaysWithinTheBuffers) {
  struct { int type, stepping, model, family; const char* name; } const cases[] = {
      {INT_MIN, INT_MIN, INT_MIN, INT_MIN, nullptr},  // name null: the description
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX, nullptr},
      {0, -1, 24, 6, "P3Xeon(M8)"},  // model 24 reads as 8: its low 4 bits
      {0, 1, INT_MIN, 15, "IntelXeon"}};
  FakeMachine machine;
  machine.cpuid[2] = {0, 0, 0, 0x29};  // 4096 KB: the longest cache field and suffix
  for (const auto& c : cases) {
    const std::string fields = "Model:" + std::to_string(c.model) + ",Family:" +
                               std::to_string(c.family) + ",Stepping:" + std::to_string(c.stepping);
    for (bool intel : {true, false}) {
      std::string d(kCpuDescriptionSize + 32, '#'), n(kCpuNameSize + 32, '#');
      EXPECT_EQ(intel ? NameIntelCpu(c.type, c.stepping, c.model, c.family, &d[0], &n[0])
                      : NameAmdCpu(c.stepping, c.model, c.family, &d[0], &n[0]),
                0);
      EXPECT_EQ(d.c_str(), fields + (intel ? ",Cache:4096" : ""));
      EXPECT_EQ(n.c_str(), !intel ? "Model:" + std::to_string(c.model)
                                  : (c.name ? c.name : fields + ",Cache:4096") + "/4096KB");
      EXPECT_EQ(d.substr(kCpuDescriptionSize) + n.substr(kCpuNameSize), std::string(64, '#'));
    }
  }
}

TEST(CpuidTest, RawQueriesAndTheVendorsNul) {
  FakeMachine machine;
  machine.cpuid = {{0, test::VendorLeaf("AuthenticAMD", 0x10)}, {7, {1, 2, 3, 4}},
                   {0x80000000u, {0x80000000u, 0, 0, 0}}};
  std::uint32_t r[4] = {}, v[3] = {};
  CpuidLeaf(r, 7);
  EXPECT_EQ(Ints({r[0], r[1], r[2], r[3], GetVendorRegisters(v[0], v[1], v[2])}),
            Ints({1, 2, 3, 4, 0}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v), 12), "AuthenticAMD");
  const int extended = ExtendedCpuidSupported();
  machine.cpuid[0x80000000u][0] = 0x80000001u;
  EXPECT_EQ(Ints({extended, ExtendedCpuidSupported(), CpuidSupported()}), Ints({0, 1, 1}));
  machine.hasCpuid = false;
  std::uint32_t signature = 1;
  EXPECT_EQ(Ints({CpuidSupported(), GetCpuSignature(signature), signature}), Ints({0, -1, 0}));
  for (const char* vendor : {"GenuineIntelX", "AuthenticAMDX"}) {  // the comparisons cover the NUL
    CpuInfo info{};
    std::memcpy(info.vendor, vendor, 13);
    char text[kCpuNameSize] = "-";
    int f[4] = {-1, -1, -1, -1};
    EXPECT_EQ(Ints({info.GetSignatureFields(f[0], f[1], f[2], f[3]),
                    info.GetName(0, 3, 8, 6, text, text), f[0] | f[1] | f[2] | f[3], *text}),
              Ints({kUnknownCpuVendor, kUnknownCpuVendor, 0, '-'}));
  }
}

// Counter readings around the one-second sleep: ticks / 10^6, signed 64-bit
// difference, truncated toward zero; one reading before the sleep, one after.
TEST(ClockTest, TicksOverOneSecondInMegahertz) {
  const std::uint64_t cases[][3] = {
      {0, 2096009000, 2096}, {1000, 1000 + 2999999999ull, 2999}, {~0ull - 499999, 500000, 1},
      {1ull << 32, (1ull << 33) - 1 + 3000000000ull, 7294}, {3000000000ull, 1, ~2999ull + 1},
      {0, ~0ull >> 1, 9223372036854}};  // the third wraps; the fourth needs all 64 bits
  for (const auto& c : cases) {
    FakeMachine m;
    m.tscReadings = {c[0], c[1]};
    m.api.Sleep = [](DWORD ms) {  // records the sleep and the readings made before it
      FakeMachine::Current().sleeps = {ms, static_cast<DWORD>(FakeMachine::Current().tscReads)};
    };
    EXPECT_EQ(Ints({MeasureCpuClockMHz(), m.sleeps.at(0), m.sleeps.at(1), m.tscReads}),
              Ints({static_cast<std::int64_t>(c[2]), 1000, 1, 2}));
  }
}

#if defined(__i386__) || defined(__x86_64__)
// The library reads the counter inside the test's two readings, so it cannot
// count more ticks; it sleeps at least a second, so it counts at least a
// second at the rate measured against steady_clock (CLOCK_MONOTONIC natively,
// QueryPerformanceCounter on Windows). Load only lengthens the sleep; a wrong
// unit or a counter cut to 32 bits (it wraps every second or two) falls outside.
TEST(ClockRealTest, EstimateLiesWithinTheCountersTicks) {
  const std::uint64_t before = __rdtsc(), reading = platform::Current().Rdtsc();
  const auto s0 = std::chrono::steady_clock::now();
  const std::uint64_t c0 = __rdtsc();
  const std::int64_t mhz = MeasureCpuClockMHz();
  const std::uint64_t c1 = __rdtsc();
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - s0;
  EXPECT_TRUE(reading + 1000000 > before && reading < c0 + 1000000);  // all 64 bits
  const double counterMHz = static_cast<double>(c1 - c0) / seconds.count() / 1e6;
  EXPECT_LE(mhz, static_cast<std::int64_t>((c1 - c0) / 1000000) + 1);
  EXPECT_GE(static_cast<double>(mhz), 0.95 * counterMHz) << "counter " << counterMHz << " MHz";
}
#endif

}  // namespace
}  // namespace vrel
