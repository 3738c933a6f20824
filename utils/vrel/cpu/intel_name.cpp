// Intel processor description and name: signature fields plus the leaf-2
// cache size, looked up in a decision table.
#include <cstdint>

#include "vrel/cpu/cpu_naming.h"
#include "vrel/cpu/naming_text.h"

namespace vrel {
namespace {

// How the table tells apart models that share type, family and model.
enum class CacheClass {
  kAny,
  kNone,   // 0 KB: the processor has no such cache
  kSmall,  // an unlisted descriptor (-1) or 1-1023 KB
  kLarge,  // 1024 KB and up
};

CacheClass ClassOf(int sizeKB) {
  if (sizeKB == 0) return CacheClass::kNone;
  return sizeKB >= 1024 ? CacheClass::kLarge : CacheClass::kSmall;
}

struct IntelName {
  std::uint32_t key;  // type << 8 | family << 4 | (model & 0xF)
  CacheClass cache;
  const char* name;
};

constexpr IntelName kIntelNames[] = {
    {0x052, CacheClass::kAny, "Pentium"},
    {0x054, CacheClass::kAny, "Pentium MMX"},
    {0x154, CacheClass::kAny, "Pentium OverDrive MMX"},
    {0x061, CacheClass::kAny, "PPro"},
    {0x063, CacheClass::kAny, "P2(M3)"},
    {0x163, CacheClass::kAny, "P2/OverDrive"},
    {0x065, CacheClass::kNone, "Celeron(M5)"},
    {0x065, CacheClass::kSmall, "P2(M5)"},
    {0x065, CacheClass::kLarge, "P2Xeon(M5)"},
    {0x066, CacheClass::kAny, "Celeron-M6"},
    {0x067, CacheClass::kNone, "P3(M7),P3Xeon(M7)"},
    {0x067, CacheClass::kSmall, "P3(M7)"},
    {0x067, CacheClass::kLarge, "P3Xeon(M7)"},
    {0x068, CacheClass::kNone, "Celeron(M8)"},
    {0x068, CacheClass::kSmall, "P3(M8)"},
    {0x068, CacheClass::kLarge, "P3Xeon(M8)"},
    {0x06A, CacheClass::kAny, "P3Xeon(MA)"},
    {0x06B, CacheClass::kAny, "P3Xeon(MB)"},
};

// Type 0, family 15, models 0-3: the key with its two lowest bits cleared.
constexpr std::uint32_t kPentium4Keys = 0x0F0;

const char* LookUp(std::uint32_t key, CacheClass cache) {
  for (const IntelName& row : kIntelNames) {
    if (row.key == key && (row.cache == CacheClass::kAny || row.cache == cache)) return row.name;
  }
  return nullptr;
}

// Type and family are shifted unmasked, as the fields are defined to be 0-15;
// out-of-range values wrap in 32 unsigned bits instead of overflowing.
std::uint32_t KeyOf(int type, int model, int family) {
  return static_cast<std::uint32_t>(type) << 8 | static_cast<std::uint32_t>(family) << 4 |
         (static_cast<std::uint32_t>(model) & 0xFu);
}

}  // namespace

int NameIntelCpu(int type, int stepping, int model, int family, char* description, char* name) {
  naming::WorkText text;
  text.AppendInt("Model:", model);
  text.AppendInt(",Family:", family);
  text.AppendInt(",Stepping:", stepping);

  std::uint32_t eax, ebx, ecx, edx;
  int sizeKB = 0;
  GetCacheDescriptors(eax, ebx, ecx, edx, sizeKB);
  text.AppendInt(",Cache:", sizeKB < 0 ? 0 : sizeKB);
  naming::CopyBounded(description, kCpuDescriptionSize, text.c_str());

  const std::uint32_t key = KeyOf(type, model, family);
  const CacheClass cache = ClassOf(sizeKB);
  naming::WorkText nameText;
  if ((key & ~3u) == kPentium4Keys) {
    nameText.Append(cache == CacheClass::kLarge ? "IntelXeon" : "P4");
  } else {
    const char* tableName = LookUp(key, cache);
    nameText.Append(tableName != nullptr ? tableName : text.c_str());  // unknown: the description
  }
  if (sizeKB > 0) nameText.AppendInt("/", sizeKB, "KB");
  naming::CopyBounded(name, kCpuNameSize, nameText.c_str());
  return 0;
}

}  // namespace vrel
