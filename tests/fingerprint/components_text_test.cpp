// The fingerprint's decoding rules on fabricated input: CPUID registers,
// identifiers as the systems store them, raw SMBIOS tables, interface facts.
#include <gtest/gtest.h>

#include <cstring>

#include "vrel/fingerprint/component_text.h"

namespace vrel::fingerprint {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Leaf 0 registers of a vendor string (EBX, EDX, ECX hold it in that order).
void VendorLeaf(const char* vendor, std::uint32_t leaf[4]) {
  std::memcpy(&leaf[1], vendor, 4);
  std::memcpy(&leaf[3], vendor + 4, 4);
  std::memcpy(&leaf[2], vendor + 8, 4);
}

TEST(ComponentTextTest, CpuTextAddsExtendedFamilyAndModel) {
  // Leaf 1 EAX and the display family/model published for each processor
  // (Intel SDM vol. 4 table 2-1: 06_9EH, 0F_02H, 06_1CH; AMD family 17h and 19h).
  const struct { const char* vendor; std::uint32_t eax; const char* brand; const char* text; } rows[] = {
      {"GenuineIntel", 0x000906EA, "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
       "GenuineIntel/family 6/model 158/stepping 10/Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"},
      {"GenuineIntel", 0x00000F29, "              Intel(R) Pentium(R) 4 CPU 2.80GHz",
       "GenuineIntel/family 15/model 2/stepping 9/Intel(R) Pentium(R) 4 CPU 2.80GHz"},
      {"GenuineIntel", 0x000106C2, nullptr, "GenuineIntel/family 6/model 28/stepping 2"},
      {"AuthenticAMD", 0x00800F11, "AMD Ryzen 7 1800X Eight-Core Processor",
       "AuthenticAMD/family 23/model 1/stepping 1/AMD Ryzen 7 1800X Eight-Core Processor"},
      {"AuthenticAMD", 0x00A00F11, "AMD EPYC 7763 64-Core Processor                ",
       "AuthenticAMD/family 25/model 1/stepping 1/AMD EPYC 7763 64-Core Processor"},
      {"AuthenticAMD", 0x00000543, "    ", "AuthenticAMD/family 5/model 4/stepping 3"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    std::uint32_t leaf0[4] = {};
    VendorLeaf(row.vendor, leaf0);
    char brand[48] = {};
    if (row.brand != nullptr) std::memcpy(brand, row.brand, std::strlen(row.brand));
    EXPECT_EQ(CpuText(leaf0, row.eax, row.brand != nullptr ? brand : nullptr), row.text);
  }
}

TEST(ComponentTextTest, IdentifierTexts) {
  const std::string guid = "6083b3903c3c42dbbf67b25a094610bd";
  // {stored bytes, canonical text or "" when rejected}
  const struct { std::string stored; std::string id; std::string uuid; } rows[] = {
      {std::string("6083B390-3C3C-42DB-BF67-B25A094610BD\0", 37), guid,  // registry REG_SZ
       "6083b390-3c3c-42db-bf67-b25a094610bd"},
      {"{6083b390-3c3c-42db-bf67-b25a094610bd}", guid, ""},
      {guid + "\n", guid, ""},                                                 // machine-id file
      {"6083B390-3C3C-42DB-BF67-B25A094610BD\n", guid, "6083b390-3c3c-42db-bf67-b25a094610bd"},
      {"00000000-0000-0000-0000-000000000000\n", "", ""},
      {"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", "ffffffffffffffffffffffffffffffff", ""},
      {"6083b390-3c3c-42db-bf67b-25a094610bd", guid, ""},                      // dash misplaced
      {guid.substr(1), "", ""}, {guid + "0", "", ""}, {"6083b390-3c3c-42db-bf67-b25a094610bg", "", ""},
      {"", "", ""}, {"\n", "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored);
    EXPECT_EQ(InstallIdText(row.stored.data(), row.stored.size()).value_or(""), row.id);
    EXPECT_EQ(UuidText(row.stored.data(), row.stored.size()).value_or(""), row.uuid);
  }
  EXPECT_EQ(VolumeText(0x1C2D3E4F), "1C2D3E4F");
  EXPECT_EQ(VolumeText(0xABC), "00000ABC");
}

// One SMBIOS structure: header (type, length, handle), the rest of the
// formatted area, then the string set.
Bytes Structure(std::uint8_t type, Bytes formatted, const std::string& strings = "") {
  Bytes out = {type, static_cast<std::uint8_t>(formatted.size() + 4), 0x10, 0x00};
  out.insert(out.end(), formatted.begin(), formatted.end());
  out.insert(out.end(), strings.begin(), strings.end());
  out.insert(out.end(), 2, 0);  // the last string's NUL (or an empty set's) and the set's
  return out;
}

// A type 1 (system) structure of SMBIOS 2.4 and later with this UUID field.
Bytes SystemStructure(const Bytes& uuid) {
  Bytes formatted = {1, 2, 3, 4};  // manufacturer, product, version and serial strings
  formatted.insert(formatted.end(), uuid.begin(), uuid.end());
  formatted.insert(formatted.end(), {6, 5, 6});  // wake-up type, SKU and family strings
  return Structure(1, formatted, std::string("Maker\0Board\0v1\0S\0K\0F", 21));
}

// The table as GetSystemFirmwareTable('RSMB') returns it.
Bytes Rsmb(std::uint8_t major, std::uint8_t minor, const std::vector<Bytes>& structures) {
  Bytes table;
  for (const Bytes& s : structures) table.insert(table.end(), s.begin(), s.end());
  const auto n = static_cast<std::uint32_t>(table.size());
  Bytes out = {0, major, minor, 0, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), 0, 0};
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

TEST(ComponentTextTest, BoardFromRawSmbiosFindsTheSystemUuid) {
  // SMBIOS 3.x section 7.2.1: {00112233-4455-6677-8899-AABBCCDDEEFF} is stored as these bytes.
  const Bytes spec = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                      0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  const Bytes bios = Structure(0, Bytes(20, 1), std::string("Vendor\0" "1.0", 10));
  const Bytes end = Structure(127, {});
  const Bytes shortSystem = Structure(1, {1, 2, 3, 4});  // SMBIOS 2.0: no UUID field
  const struct { const char* name; Bytes table; std::string value; std::string reason; } rows[] = {
      {"2.6 order", Rsmb(2, 6, {bios, SystemStructure(spec), end}), "00112233-4455-6677-8899-aabbccddeeff", ""},
      {"3.4 order", Rsmb(3, 4, {SystemStructure(spec)}), "00112233-4455-6677-8899-aabbccddeeff", ""},
      {"2.4 order", Rsmb(2, 4, {bios, SystemStructure(spec)}), "33221100-5544-7766-8899-aabbccddeeff", ""},
      {"zeros", Rsmb(3, 0, {SystemStructure(Bytes(16, 0))}), "", "UUID not set"},
      {"all FF", Rsmb(3, 0, {SystemStructure(Bytes(16, 0xFF))}), "", "UUID not set"},
      {"no system", Rsmb(3, 0, {bios, shortSystem, end, SystemStructure(spec)}), "", "no system record"},
      {"empty", Rsmb(3, 0, {}), "", "no system record"},
      {"bad length", Rsmb(3, 0, {{1, 3, 0, 0, 0, 0}}), "", "malformed SMBIOS table"},
      {"header only", Bytes(5, 0), "", "malformed SMBIOS table"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ComponentValue board = BoardFromRawSmbios(row.table.data(), row.table.size());
    EXPECT_EQ(board.available, !row.value.empty());
    EXPECT_EQ(board.values, row.value.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.value});
    EXPECT_EQ(board.reason, row.reason);
  }
}

TEST(ComponentTextTest, BoardFromEveryTruncatedTableStaysInside) {
  // Each prefix, with the declared length left as is, in a buffer of its
  // exact size (the sanitizers catch a read past it): the UUID once the
  // prefix holds it, else unavailable.
  Bytes uuid(16);
  for (int i = 0; i < 16; ++i) uuid[i] = static_cast<std::uint8_t>(i + 1);
  const Bytes bios = Structure(0, Bytes(20, 1), "Vendor");
  const Bytes full = Rsmb(2, 6, {bios, SystemStructure(uuid)});
  for (std::size_t size = 0; size <= full.size(); ++size) {
    SCOPED_TRACE(size);
    const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
    const ComponentValue board = BoardFromRawSmbios(prefix.data(), prefix.size());
    EXPECT_EQ(board.available, size >= 8 + bios.size() + 0x1B);  // through the system area
  }
}

TEST(ComponentTextTest, NicsCountPermanentAddressesOfPhysicalAdapters) {
  const Bytes mac1 = {0x00, 0x1b, 0x21, 0x0a, 0x0b, 0x0c};
  const Bytes mac2 = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};  // locally administered, as QEMU's
  const Bytes randomMac = {0xc2, 0x85, 0x09, 0x77, 0x52, 0x95};
  using Facts = platform::NetInterfaceFacts;
  // {hardware, connector, permanent, current, assignType}: does it count, and as which address?
  const struct { const char* name; Facts facts; const Bytes* counted; } rows[] = {
      {"Windows adapter", {true, true, mac2, mac1, -1}, &mac2},
      {"driver gives permanent", {true, true, mac1, randomMac, 3}, &mac1},
      {"permanent zero, current permanent", {true, true, Bytes(6, 0), mac2, 0}, &mac2},
      {"no ethtool answer", {true, true, {}, mac1, 0}, &mac1},
      {"random current", {true, true, Bytes(6, 0), randomMac, 1}, nullptr},
      {"set current", {true, true, {}, mac1, 3}, nullptr},
      {"Windows without permanent", {true, true, Bytes(6, 0), mac1, -1}, nullptr},
      {"virtual (ifb, bridge, veth)", {true, false, mac1, mac1, 0}, nullptr},
      {"no device (loopback, dummy)", {false, true, mac1, mac1, 0}, nullptr},
      {"multicast", {true, true, {0x01, 0, 0x5e, 0, 0, 1}, {}, 0}, nullptr},
      {"all FF", {true, true, Bytes(6, 0xFF), {}, 0}, nullptr},
      {"not 6 bytes", {true, true, Bytes(20, 0x80), Bytes(8, 0x80), 0}, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ComponentValue nics = NicsFromInterfaces({row.facts});
    EXPECT_EQ(nics.available, row.counted != nullptr);
    EXPECT_EQ(nics.reason, row.counted != nullptr ? "" : "no physical adapter");
  }
  const ComponentValue nics = NicsFromInterfaces(
      {rows[2].facts, rows[4].facts, rows[1].facts, rows[0].facts, rows[7].facts});
  EXPECT_EQ(nics.values, (std::vector<std::string>{"00:1b:21:0a:0b:0c", "52:54:00:12:34:56"}));
}

}  // namespace
}  // namespace vrel::fingerprint
