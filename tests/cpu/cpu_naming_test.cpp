#include "vrel/cpu/cpu_naming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fake_machine.h"

namespace vrel {
namespace {

using test::FakeMachine;
using test::VendorLeaf;

struct Texts {
  int result;
  std::string description;
  std::string name;
};

// Names a processor of `vendor` through CpuInfo::GetName, with `edx` as the
// EDX of CPUID leaf 2 (its low byte is the descriptor that counts).
Texts NameThrough(FakeMachine& machine, const char* vendor, int type, int stepping, int model,
                  int family, std::uint32_t edx) {
  machine.cpuid[0] = VendorLeaf(vendor);
  machine.cpuid[2] = {0x00000001, 0, 0, edx};
  CpuInfo info{};
  info.Init();
  char description[kCpuDescriptionSize] = {};
  char name[kCpuNameSize] = {};
  const int result = info.GetName(type, stepping, model, family, description, name);
  return {result, description, name};
}

Texts NameIntel(int type, int stepping, int model, int family, std::uint32_t edx) {
  FakeMachine machine;
  return NameThrough(machine, "GenuineIntel", type, stepping, model, family, edx);
}

// ---- Intel decision table ------------------------------------------------

// Descriptors for each cache class, with the suffix a positive size adds.
struct CacheCase {
  std::uint32_t descriptor;
  int cacheField;  // what ",Cache:" shows
  const char* suffix;
};
constexpr CacheCase kNoCache = {0x40, 0, ""};
constexpr CacheCase kSmallCache = {0x82, 256, "/256KB"};
constexpr CacheCase kUnlistedCache = {0x00, 0, ""};  // size -1: small, no suffix
constexpr CacheCase kLargeCache = {0x23, 1024, "/1024KB"};
constexpr CacheCase kCacheCases[] = {kNoCache, kSmallCache, kUnlistedCache, kLargeCache};

struct IntelRow {
  int type, family, model;
  const char* noCache;
  const char* smallCache;
  const char* largeCache;
};

// Every row of the table, by cache class.
constexpr IntelRow kIntelRows[] = {
    {0, 5, 2, "Pentium", "Pentium", "Pentium"},
    {0, 5, 4, "Pentium MMX", "Pentium MMX", "Pentium MMX"},
    {1, 5, 4, "Pentium OverDrive MMX", "Pentium OverDrive MMX", "Pentium OverDrive MMX"},
    {0, 6, 1, "PPro", "PPro", "PPro"},
    {0, 6, 3, "P2(M3)", "P2(M3)", "P2(M3)"},
    {1, 6, 3, "P2/OverDrive", "P2/OverDrive", "P2/OverDrive"},
    {0, 6, 5, "Celeron(M5)", "P2(M5)", "P2Xeon(M5)"},
    {0, 6, 6, "Celeron-M6", "Celeron-M6", "Celeron-M6"},
    {0, 6, 7, "P3(M7),P3Xeon(M7)", "P3(M7)", "P3Xeon(M7)"},
    {0, 6, 8, "Celeron(M8)", "P3(M8)", "P3Xeon(M8)"},
    {0, 6, 10, "P3Xeon(MA)", "P3Xeon(MA)", "P3Xeon(MA)"},
    {0, 6, 11, "P3Xeon(MB)", "P3Xeon(MB)", "P3Xeon(MB)"},
    {0, 15, 0, "P4", "P4", "IntelXeon"},
    {0, 15, 1, "P4", "P4", "IntelXeon"},
    {0, 15, 2, "P4", "P4", "IntelXeon"},
    {0, 15, 3, "P4", "P4", "IntelXeon"},
};

TEST(IntelNameTest, EveryTableRowUnderEveryCacheClass) {
  for (const IntelRow& row : kIntelRows) {
    for (const CacheCase& cache : kCacheCases) {
      const int stepping = row.model % 4 + 1;
      const Texts t = NameIntel(row.type, stepping, row.model, row.family, cache.descriptor);
      const std::string base = cache.descriptor == kNoCache.descriptor     ? row.noCache
                               : cache.descriptor == kLargeCache.descriptor ? row.largeCache
                                                                            : row.smallCache;
      SCOPED_TRACE(testing::Message() << "type " << row.type << " family " << row.family
                                      << " model " << row.model << " descriptor 0x" << std::hex
                                      << cache.descriptor);
      EXPECT_EQ(t.result, 0);
      EXPECT_EQ(t.name, base + cache.suffix);
      EXPECT_EQ(t.description, "Model:" + std::to_string(row.model) +
                                   ",Family:" + std::to_string(row.family) +
                                   ",Stepping:" + std::to_string(stepping) +
                                   ",Cache:" + std::to_string(cache.cacheField));
    }
  }
}

struct IntelExample {
  const char* what;
  int type, stepping, model, family;
  std::uint32_t edx;
  const char* description;
  const char* name;
};

constexpr IntelExample kIntelExamples[] = {
    {"P3 with 256 KB", 0, 3, 8, 6, 0x82, "Model:8,Family:6,Stepping:3,Cache:256", "P3(M8)/256KB"},
    {"P3 without L2", 0, 3, 8, 6, 0x40, "Model:8,Family:6,Stepping:3,Cache:0", "Celeron(M8)"},
    {"M7 without L2", 0, 1, 7, 6, 0x40, "Model:7,Family:6,Stepping:1,Cache:0", "P3(M7),P3Xeon(M7)"},
    {"M7 with 1 MB", 0, 1, 7, 6, 0x44, "Model:7,Family:6,Stepping:1,Cache:1024",
     "P3Xeon(M7)/1024KB"},
    {"P4 with 512 KB", 0, 4, 2, 15, 0x7B, "Model:2,Family:15,Stepping:4,Cache:512", "P4/512KB"},
    {"Xeon with 1 MB", 0, 4, 2, 15, 0x44, "Model:2,Family:15,Stepping:4,Cache:1024",
     "IntelXeon/1024KB"},
    {"family 15 model 4", 0, 1, 4, 15, 0x7C, "Model:4,Family:15,Stepping:1,Cache:1024",
     "Model:4,Family:15,Stepping:1,Cache:1024/1024KB"},
    {"model 9 with 2 MB", 0, 5, 9, 6, 0x85, "Model:9,Family:6,Stepping:5,Cache:2048",
     "Model:9,Family:6,Stepping:5,Cache:2048/2048KB"},
    {"unlisted descriptor", 0, 2, 5, 6, 0x00, "Model:5,Family:6,Stepping:2,Cache:0", "P2(M5)"},
    {"dual-processor type", 2, 2, 5, 6, 0x42, "Model:5,Family:6,Stepping:2,Cache:256",
     "Model:5,Family:6,Stepping:2,Cache:256/256KB"},
    {"family 15 type 1", 1, 0, 1, 15, 0x44, "Model:1,Family:15,Stepping:0,Cache:1024",
     "Model:1,Family:15,Stepping:0,Cache:1024/1024KB"},
    // Only the lowest descriptor byte of EDX counts.
    {"other EDX bytes", 0, 3, 8, 6, 0x44444400, "Model:8,Family:6,Stepping:3,Cache:0", "P3(M8)"},
    // The key shifts type and family unmasked and keeps only the low 4 model bits.
    {"family 22 reads as OverDrive", 0, 0, 3, 22, 0x40, "Model:3,Family:22,Stepping:0,Cache:0",
     "P2/OverDrive"},
    {"model 24 reads as model 8", 0, 0, 24, 6, 0x41, "Model:24,Family:6,Stepping:0,Cache:128",
     "P3(M8)/128KB"},
    {"type 16 misses the P4 keys", 16, 0, 0, 15, 0x40, "Model:0,Family:15,Stepping:0,Cache:0",
     "Model:0,Family:15,Stepping:0,Cache:0"},
    {"model INT_MIN reads as model 0", 0, 1, INT_MIN, 15, 0x44,
     "Model:-2147483648,Family:15,Stepping:1,Cache:1024", "IntelXeon/1024KB"},
};

TEST(IntelNameTest, Examples) {
  for (const IntelExample& e : kIntelExamples) {
    const Texts t = NameIntel(e.type, e.stepping, e.model, e.family, e.edx);
    EXPECT_EQ(t.result, 0) << e.what;
    EXPECT_EQ(t.description, e.description) << e.what;
    EXPECT_EQ(t.name, e.name) << e.what;
  }
}

// ---- cache descriptors ---------------------------------------------------

TEST(CacheDescriptorTest, EveryByte) {
  const std::vector<std::pair<int, int>> listed = {
      {0x40, 0},    {0x41, 128},  {0x79, 128},  {0x42, 256},  {0x7A, 256},  {0x82, 256},
      {0x22, 512},  {0x43, 512},  {0x7B, 512},  {0x83, 512},  {0x23, 1024}, {0x44, 1024},
      {0x7C, 1024}, {0x84, 1024}, {0x25, 2048}, {0x45, 2048}, {0x85, 2048}, {0x29, 4096},
  };
  for (int byte = 0; byte < 256; ++byte) {
    int expected = -1;
    for (const auto& entry : listed) {
      if (entry.first == byte) expected = entry.second;
    }
    EXPECT_EQ(CacheDescriptorSizeKB(byte), expected) << "descriptor 0x" << std::hex << byte;
  }
}

TEST(CacheDescriptorTest, OnlyTheLowByteCounts) {
  const std::pair<int, int> cases[] = {
      {0x1FF41, 128}, {0x140, 0},    {0x7FFFFF29, 4096}, {INT_MAX, -1},
      {-1, -1},       {INT_MIN, -1}, {-0xD7, 4096},      // 0xFFFFFF29
  };
  for (const auto& c : cases) EXPECT_EQ(CacheDescriptorSizeKB(c.first), c.second) << c.first;
}

TEST(CacheDescriptorTest, ReturnsTheRegistersAndMinusOne) {
  FakeMachine machine;
  machine.cpuid[2] = {0x665B5001, 0x11223344, 0x55667788, 0x7C7C7C42};
  std::uint32_t eax = 9, ebx = 9, ecx = 9, edx = 9;
  int sizeKB = 9;
  EXPECT_EQ(GetCacheDescriptors(eax, ebx, ecx, edx, sizeKB), -1);
  EXPECT_EQ(eax, 0x665B5001u);
  EXPECT_EQ(ebx, 0x11223344u);
  EXPECT_EQ(ecx, 0x55667788u);
  EXPECT_EQ(edx, 0x7C7C7C42u);
  EXPECT_EQ(sizeKB, 256);
}

// ---- AMD -------------------------------------------------------------------

TEST(AmdNameTest, NamedByModelAlone) {
  struct Case {
    int stepping, model, family;
    const char* description;
    const char* name;
  };
  const Case cases[] = {
      {1, 3, 6, "Model:3,Family:6,Stepping:1", "Duron"},
      {1, 3, 15, "Model:3,Family:15,Stepping:1", "Duron"},
      {2, 6, 6, "Model:6,Family:6,Stepping:2", "Athlon"},
      {2, 4, 6, "Model:4,Family:6,Stepping:2", "Model:4"},
      {15, 15, 15, "Model:15,Family:15,Stepping:15", "Model:15"},
      {0, 19, 6, "Model:19,Family:6,Stepping:0", "Model:19"},  // no masking
  };
  for (const Case& c : cases) {
    FakeMachine machine;
    // A large cache in leaf 2 and a type must change nothing for AMD.
    const Texts t = NameThrough(machine, "AuthenticAMD", 1, c.stepping, c.model, c.family, 0x44);
    EXPECT_EQ(t.result, 0);
    EXPECT_EQ(t.description, c.description);
    EXPECT_EQ(t.name, c.name);
  }
}

// ---- other vendors and the label --------------------------------------------

TEST(VendorTest, AThirdVendorLeavesBothBuffersUntouched) {
  for (const char* vendor : {"CentaurHauls", "GenuineIntex", "AuthenticAMd"}) {
    FakeMachine machine;
    machine.cpuid[0] = VendorLeaf(vendor);
    machine.cpuid[2] = {0, 0, 0, 0x44};
    CpuInfo info{};
    info.Init();
    char description[kCpuDescriptionSize];
    char name[kCpuNameSize];
    std::memset(description, '#', sizeof description);
    std::memset(name, '%', sizeof name);
    EXPECT_EQ(info.GetName(0, 3, 8, 6, description, name), kUnknownCpuVendor) << vendor;
    for (char c : description) ASSERT_EQ(c, '#') << vendor;
    for (char c : name) ASSERT_EQ(c, '%') << vendor;
  }
}

TEST(VendorTest, ShortNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"GenuineIntel", "INTEL"},
      {"AuthenticAMD", "AMD"},
      {"CentaurHauls", "UNKNOWN"},
      {"GenuineIntex", "UNKNOWN"},
  };
  for (const auto& c : cases) {
    FakeMachine machine;
    machine.cpuid[0] = VendorLeaf(c.first);
    char label[kVendorLabelSize + 4];
    std::memset(label, '#', sizeof label);
    EXPECT_EQ(GetVendorShortName(label), 0);
    EXPECT_STREQ(label, c.second);
    for (std::size_t i = kVendorLabelSize; i < sizeof label; ++i) EXPECT_EQ(label[i], '#');
  }
}

// ---- out-of-range fields -------------------------------------------------------

// A buffer of `size` bytes followed by a guard region that must stay intact.
class Guarded {
 public:
  explicit Guarded(std::size_t size) : size_(size), bytes_(size + kGuard, kSentinel) {}
  char* data() { return bytes_.data(); }
  bool GuardIntact() const {
    for (std::size_t i = size_; i < bytes_.size(); ++i) {
      if (bytes_[i] != kSentinel) return false;
    }
    return true;
  }
  std::string Text() const {
    const auto end = bytes_.begin() + static_cast<std::ptrdiff_t>(size_);
    return std::string(bytes_.begin(), std::find(bytes_.begin(), end, '\0'));
  }
  bool Terminated() const { return std::memchr(bytes_.data(), '\0', size_) != nullptr; }

 private:
  static constexpr std::size_t kGuard = 64;
  static constexpr char kSentinel = '\x5A';
  std::size_t size_;
  std::vector<char> bytes_;
};

TEST(OutOfRangeTest, LongestTextsFitTheDocumentedSizes) {
  struct Case {
    int type, stepping, model, family;
  };
  const Case cases[] = {
      {INT_MIN, INT_MIN, INT_MIN, INT_MIN}, {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
      {-1, -1, -1, -1},                     {0, INT_MIN, INT_MIN, 15},
      {1000000, -99999, 123456789, -7},     {0, 3, -1, 6},
  };
  for (const Case& c : cases) {
    const std::string fields = "Model:" + std::to_string(c.model) +
                               ",Family:" + std::to_string(c.family) +
                               ",Stepping:" + std::to_string(c.stepping);
    SCOPED_TRACE(fields);
    {
      FakeMachine machine;
      machine.cpuid[2] = {0, 0, 0, 0x29};  // 4096 KB: the longest cache field and suffix
      Guarded description(kCpuDescriptionSize), name(kCpuNameSize);
      EXPECT_EQ(NameIntelCpu(c.type, c.stepping, c.model, c.family, description.data(), name.data()),
                0);
      EXPECT_TRUE(description.GuardIntact());
      EXPECT_TRUE(name.GuardIntact());
      ASSERT_TRUE(description.Terminated());
      ASSERT_TRUE(name.Terminated());
      EXPECT_EQ(description.Text(), fields + ",Cache:4096");
      // No such key is in the table except P4-keyed ones, which need family 15.
      // Only family 15 could reach a P4 key; the others fall back to the description.
      if (c.family != 15) {
        EXPECT_EQ(name.Text(), fields + ",Cache:4096/4096KB");
      }
    }
    {
      Guarded description(kCpuDescriptionSize), name(kCpuNameSize);
      EXPECT_EQ(NameAmdCpu(c.stepping, c.model, c.family, description.data(), name.data()), 0);
      EXPECT_TRUE(description.GuardIntact());
      EXPECT_TRUE(name.GuardIntact());
      EXPECT_EQ(description.Text(), fields);
      EXPECT_EQ(name.Text(), "Model:" + std::to_string(c.model));
    }
  }
}

// ---- clock estimate with a scripted counter ----------------------------------------

int readsBeforeSleep = -1;

TEST(ClockTest, TicksOverOneSecondInMegahertz) {
  struct Case {
    std::uint64_t t0, t1;
    std::int64_t mhz;
  };
  const Case cases[] = {
      {0, 2096009000, 2096},
      {1000, 1000 + 2999999999ull, 2999},  // truncates
      {0xFFFFFFFFFFFFFFFFull - 499999, 500000, 1},  // the counter wrapped
      {3000000000ull, 1, -2999},                   // backwards: toward zero
      {0, 0x7FFFFFFFFFFFFFFFull, 9223372036854},
  };
  for (const Case& c : cases) {
    FakeMachine machine;
    machine.tscReadings = {c.t0, c.t1};
    machine.api.Sleep = [](DWORD ms) {
      FakeMachine& m = FakeMachine::Current();
      m.sleeps.push_back(ms);
      readsBeforeSleep = m.tscReads;
    };
    readsBeforeSleep = -1;
    EXPECT_EQ(MeasureCpuClockMHz(), c.mhz) << c.t0 << " to " << c.t1;
    EXPECT_EQ(machine.sleeps, std::vector<DWORD>{1000});
    EXPECT_EQ(readsBeforeSleep, 1);
    EXPECT_EQ(machine.tscReads, 2);
  }
}

// ---- this machine --------------------------------------------------------------------

TEST(RealMachineTest, NamesThisProcessor) {
  if (CpuidSupported() == 0) GTEST_SKIP() << "no CPUID on this processor";
  CpuInfo info{};
  info.Init();
  int type = 0, stepping = 0, model = 0, family = 0;
  info.GetSignatureFields(type, stepping, model, family);
  char description[kCpuDescriptionSize] = "untouched";
  char name[kCpuNameSize] = "untouched";
  const int result = info.GetName(type, stepping, model, family, description, name);
  char label[kVendorLabelSize] = {};
  GetVendorShortName(label);
  std::uint32_t eax, ebx, ecx, edx;
  int sizeKB = 0;
  GetCacheDescriptors(eax, ebx, ecx, edx, sizeKB);
  std::printf("vendor %s (%s): GetName %d, description \"%s\", name \"%s\"\n", info.vendor, label,
              result, description, name);
  std::printf("leaf 2: %08X %08X %08X %08X, cache size %d KB\n", static_cast<unsigned>(eax),
              static_cast<unsigned>(ebx), static_cast<unsigned>(ecx), static_cast<unsigned>(edx),
              sizeKB);
  if (std::string(label) == "UNKNOWN") {
    EXPECT_EQ(result, kUnknownCpuVendor);
    EXPECT_STREQ(description, "untouched");
  } else {
    EXPECT_EQ(result, 0);
    const std::string fields = "Model:" + std::to_string(model) +
                               ",Family:" + std::to_string(family) +
                               ",Stepping:" + std::to_string(stepping);
    EXPECT_EQ(std::string(description).rfind(fields, 0), 0u) << description;
  }
}

}  // namespace
}  // namespace vrel
