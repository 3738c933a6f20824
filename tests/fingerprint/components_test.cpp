// The fingerprint's components: decoding rules on fabricated input, then
// CollectComponents over a scripted platform and over the real one.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "fake_machine.h"
#include "vrel/fingerprint/component_text.h"
#include "vrel/platform/platform.h"

namespace vrel::fingerprint {
namespace {

using Bytes = std::vector<std::uint8_t>;
const std::string kId = "6083b3903c3c42dbbf67b25a094610bd";
// SMBIOS 3.x section 7.2.1: {00112233-4455-6677-8899-AABBCCDDEEFF} is stored as these bytes.
const Bytes kSpecUuid = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                         0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const std::string kUuid = "00112233-4455-6677-8899-aabbccddeeff";

// "=value value" or ":reason".
std::string Text(const ComponentValue& value) {
  std::string text = value.available ? "=" : ":" + value.reason;
  for (const std::string& item : value.values) text += (text.size() > 1 ? " " : "") + item;
  return text;
}

TEST(ComponentTextTest, CpuTextAddsExtendedFamilyAndModel) {
  // Leaf 1 EAX and the display family and model published for each processor (Intel SDM
  // vol. 4 table 2-1: 0F_02H; AMD family 17h; AP-485: Pentium with MMX, family 5 model 4, whose
  // family takes no extension); 06_9EH is the scripted machine's below.
  const struct { const char* vendor; std::uint32_t eax; char brand[48]; const char* text; } rows[] = {
      {"GenuineIntel", 0x00000F29, "   Pentium 4  ", "GenuineIntel/family 15/model 2/stepping 9/Pentium 4"},
      {"AuthenticAMD", 0x00800F11, "Ryzen 7 1800X", "AuthenticAMD/family 23/model 1/stepping 1/Ryzen 7 1800X"},
      {"GenuineIntel", 0x00000543, "", "GenuineIntel/family 5/model 4/stepping 3"},
  };
  for (const auto& row : rows) EXPECT_EQ(CpuText(row.vendor, row.eax, row.brand), row.text);
}

TEST(ComponentTextTest, IdentifierTexts) {
  const std::string uuid = "6083b390-3c3c-42db-bf67-b25a094610bd";
  const std::string filled = "03000200-0400-0500-0006-000700080009";  // firmware placeholder
  // {as stored, as os-install, as board}: "=text" or ":reason".
  const struct { std::string stored, id, uuid; } rows[] = {
      {std::string("6083B390-3C3C-42DB-BF67-B25A094610BD\0", 37), "=" + kId, "=" + uuid},  // REG_SZ
      {"{" + uuid + "}", "=" + kId, ":malformed"}, {kId + "\n", "=" + kId, ":malformed"},
      {"00000000-0000-0000-0000-000000000000\n", ":placeholder", ":placeholder"},
      {"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", ":placeholder", ":placeholder"},
      {"uninitialized\n", ":placeholder", ":malformed"},
      {filled, "=03000200040005000006000700080009", ":placeholder"},
      {"00020003-0004-0005-0006-000700080009", "=00020003000400050006000700080009", ":placeholder"},
      {"6083b390-3c3c-42db-bf67b-25a094610bd", "=" + kId, ":malformed"},
      {kId.substr(1), ":malformed", ":malformed"}, {kId + "0", ":malformed", ":malformed"},
      {uuid.substr(1) + "g", ":malformed", ":malformed"}, {"\n", ":malformed", ":malformed"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored);
    EXPECT_EQ(Text(InstallIdComponent(row.stored.data(), row.stored.size())), row.id);
    EXPECT_EQ(Text(UuidComponent(row.stored.data(), row.stored.size())), row.uuid);
  }
  EXPECT_EQ(VolumeText(0x1C2D3E4F) + VolumeText(0xABC), "1C2D3E4F00000ABC");
}

// One SMBIOS structure: type, length, handle, the rest of the formatted area
// and the string set (each string and the set end with a NUL).
Bytes Structure(std::uint8_t type, Bytes formatted, const std::string& strings = "") {
  Bytes out = formatted;
  out.insert(out.begin(), {type, static_cast<std::uint8_t>(formatted.size() + 4), 0x10, 0x00});
  out.insert(out.end(), strings.begin(), strings.end());
  out.insert(out.end(), 2, 0);
  return out;
}

// A type 1 structure (SMBIOS 2.4 and later) with this UUID field.
Bytes System(const Bytes& uuid) {
  Bytes formatted = {1, 2, 3, 4};  // manufacturer, product, version and serial strings
  formatted.insert(formatted.end(), uuid.begin(), uuid.end());
  formatted.insert(formatted.end(), {0, 0, 0});  // wake-up type, SKU and family
  return Structure(1, formatted, std::string("Maker\0Board\0v1\0S", 16));
}

// The table as GetSystemFirmwareTable('RSMB') returns it.
Bytes Rsmb(std::uint8_t major, std::uint8_t minor, const std::vector<Bytes>& structures) {
  Bytes out = {0, major, minor, 0, 0, 0, 0, 0};
  for (const Bytes& s : structures) out.insert(out.end(), s.begin(), s.end());
  out[4] = static_cast<std::uint8_t>(out.size() - 8);
  return out;
}

TEST(ComponentTextTest, BoardFromRawSmbiosFindsTheSystemUuid) {
  const Bytes bios = Structure(0, Bytes(20, 1), std::string("Vendor\0" "1.0", 10));
  const Bytes end = Structure(127, {});
  const struct { Bytes table; std::string text; } rows[] = {
      {Rsmb(2, 6, {bios, System(kSpecUuid), end}), "=" + kUuid},
      {Rsmb(3, 4, {System(kSpecUuid)}), "=" + kUuid},
      {Rsmb(2, 4, {bios, System(kSpecUuid)}), "=33221100-5544-7766-8899-aabbccddeeff"},
      {Rsmb(3, 0, {System(Bytes(16, 0))}), ":placeholder"},
      {Rsmb(3, 0, {System(Bytes(16, 0xFF))}), ":placeholder"},
      // The firmware placeholder's bytes, read in either byte order.
      {Rsmb(2, 6, {System({0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9})}), ":placeholder"},
      {Rsmb(2, 4, {System({0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9})}), ":placeholder"},
      {Rsmb(3, 0, {bios, Structure(1, {1, 2, 3, 4}), end, System(kSpecUuid)}),
       ":no system record"},  // a type 1 record of SMBIOS 2.0 has no UUID
      {Rsmb(3, 0, {}), ":no system record"},
      {Rsmb(3, 0, {{1, 3, 0, 0, 0, 0}}), ":malformed SMBIOS table"},
      {Rsmb(3, 0, {bios, {2, 0, 0, 0}, System(kSpecUuid)}), ":malformed SMBIOS table"},  // length 0
      {Rsmb(2, 31, {System(kSpecUuid)}), "=" + kUuid},  // a version that does not exist, as it stands
      {Bytes(7, 0), ":malformed SMBIOS table"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Text(BoardFromRawSmbios(row.table.data(), row.table.size())), row.text) << &row - rows;
  }
  // Every prefix of a table, its declared length left as is, in a buffer of
  // its exact size (the sanitizers catch a read past it): the UUID once the
  // prefix holds the system record's formatted area, else unavailable.
  const Bytes full = Rsmb(2, 6, {bios, System(kSpecUuid)});
  for (std::size_t size = 0; size <= full.size(); ++size) {
    const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(BoardFromRawSmbios(prefix.data(), size).available, size >= 8 + bios.size() + 0x1B) << size;
  }
}

// Real tables (VREL_REAL_SMBIOS_DIR; its README explains the manifest): UUIDs read as independently
// stated; templates and unset UUIDs (in the table's own bytes) as placeholders; others as UUIDs.
TEST(ComponentTextTest, RealSmbiosTablesReadAsStated) {
  const std::string dir = VREL_REAL_SMBIOS_DIR;
  std::ifstream manifestFile(dir + "/manifest.json");
  if (!manifestFile) {
    const std::string missing = "no real SMBIOS tables in " + dir + " (VREL_REAL_SMBIOS_DIR)";
    if (std::getenv("VREL_REAL_SMBIOS_REQUIRED") != nullptr) FAIL() << missing;
    GTEST_SKIP() << missing;
  }
  const nlohmann::json manifest = nlohmann::json::parse(manifestFile);
  const std::vector<std::string> templates = {"03000200-0400-0500-0006-000700080009",
                                              "4c4c4544-0000-0010-8000-00c04f000000"};  // Dell's
  for (const nlohmann::json& row : manifest) {
    const std::string file = row["rsmb_file"];
    SCOPED_TRACE(file);
    std::ifstream in(dir + "/" + file, std::ios::binary);
    const Bytes table{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string got = Text(BoardFromRawSmbios(table.data(), table.size()));
    const nlohmann::json& bytes = row["python_decoded"];
    std::string want = "=";  // unverified: a UUID, read without error
    if (row["expected_kind"] == "uuid") want += row["expected_uuid"].get<std::string>();
    // The stated value reads version 2.31 as 2.3; the Windows decoder takes it as it stands, from
    // 2.6 on: the first three fields swap (README, "SMBIOS versions that do not exist").
    if (row["smbios_version"] == "2.31") want = "=e5003650-249f-3a76-84d1-b17dfcb74aff";
    if (bytes["kind"] != "uuid" || std::count(templates.begin(), templates.end(), bytes["uuid"])) {
      want = ":placeholder";
    }
    EXPECT_EQ(want == "=" ? got.substr(0, 1) : got, want);
  }
  EXPECT_EQ(manifest.size(), 60u);
}

TEST(ComponentTextTest, NicsCountPermanentAddressesOfPhysicalAdapters) {
  const Bytes mac1 = {0x00, 0x1b, 0x21, 0x0a, 0x0b, 0x0c};
  const Bytes mac2 = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};  // locally administered, as QEMU's
  const Bytes randomMac = {0xc2, 0x85, 0x09, 0x77, 0x52, 0x95};
  // {hardware, connector, permanent, current, assignType}, and the address that counts.
  const struct { platform::NetInterfaceFacts facts; std::string counted; } rows[] = {
      {{true, true, mac2, mac1, -1}, "52:54:00:12:34:56"},         // Windows adapter
      {{true, true, mac1, randomMac, 3}, "00:1b:21:0a:0b:0c"},     // driver gives permanent
      {{true, true, Bytes(6, 0), mac2, 0}, "52:54:00:12:34:56"},   // current is permanent
      {{true, true, {}, mac1, 0}, "00:1b:21:0a:0b:0c"},            // no ethtool answer
      {{true, true, Bytes(6, 0), randomMac, 1}, ""},               // random
      {{true, true, {}, mac1, 3}, ""},                             // set by a user
      {{true, false, mac1, mac1, 0}, ""},                          // virtual: ifb, bridge, veth
      {{false, true, mac1, mac1, 0}, ""},                          // no device: loopback
      {{true, true, {0x01, 0, 0x5e, 0, 0, 1}, {}, 0}, ""},         // multicast
      {{true, true, Bytes(20, 0x80), Bytes(8, 0x80), 0}, ""},      // not Ethernet
  };
  std::vector<platform::NetInterfaceFacts> all;
  for (const auto& row : rows) {
    EXPECT_EQ(Text(NicsFromInterfaces({row.facts})),
              row.counted.empty() ? ":no physical adapter" : "=" + row.counted) << &row - rows;
    all.insert(all.begin(), row.facts);
  }
  EXPECT_EQ(Text(NicsFromInterfaces(all)), "=00:1b:21:0a:0b:0c 52:54:00:12:34:56");
}

// The sources beyond the scripted machine (files by path, "MachineGuid", "RSMB"): an error code
// and contents; unlisted ones are absent. "cpuid", "volume" and "interfaces" make those calls fail.
std::map<std::string, std::pair<int, std::string>> sources;

// Copies a source's contents to data; its error code, or `absent`.
template <typename Size>
int Answer(const std::string& name, void* data, Size* size, int absent) {
  const auto found = sources.find(name);
  if (found == sources.end()) return absent;
  *size = static_cast<Size>(std::min<std::size_t>(*size, found->second.second.size()));
  if (data != nullptr) std::memcpy(data, found->second.second.data(), *size);
  return found->second.first;
}

const std::string kBrand = "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";

// An Intel processor under a hypervisor, the fake's volume C:, one adapter and the sources.
void Script(test::FakeMachine& m) {
  m.hasCpuid = sources.count("cpuid") == 0;
  m.cpuid = {{0, test::VendorLeaf("GenuineIntel")},
             {1, {0x000906EA, 0, 1u << 31, 0}},                       // with a hypervisor
             {0x40000000, {0, 0x7263694d, 0x666f736f, 0x76482074}},   // "Microsoft Hv"
             {0x80000000, {0x80000008, 0, 0, 0}}};
  char brand[48] = {};
  kBrand.copy(brand, sizeof brand);
  for (std::uint32_t i = 0; i < 3; ++i) {
    std::memcpy(m.cpuid[0x80000002 + i].data(), brand + 16 * i, 16);
  }
  // "0x80000000": that leaf's EAX in hex, as a processor without extended leaves answers.
  const auto extended = sources.find("0x80000000");
  if (extended != sources.end()) {
    m.cpuid[0x80000000][0] = std::stoul(extended->second.second, nullptr, 16);
  }
  if (sources.count("volume")) m.volumeSerial.reset();
  m.lastError = 1;
  m.api.QueryMachineRegistryValue = [](const char*, DWORD, const char* name, DWORD* type,
                                       BYTE* data, DWORD* size) {
    *type = REG_SZ;
    return static_cast<LONG>(Answer(name, data, size, ERROR_FILE_NOT_FOUND));
  };
  m.api.GetSystemFirmwareTable = [](DWORD provider, DWORD, void* buffer, DWORD size) -> UINT {
    EXPECT_EQ(provider, 0x52534D42u);  // 'RSMB'
    DWORD length = buffer == nullptr ? 1u << 16 : size;
    return Answer("RSMB", buffer, &length, 1) == 0 ? length : 0;
  };
  m.api.ReadSmallFile = [](const char* path, char* buffer, std::size_t* size) {
    return Answer(path, buffer, size, ENOENT);
  };
  m.api.ListNetInterfaces = [](std::vector<platform::NetInterfaceFacts>* out) {
    *out = {{true, true, {0, 1, 2, 3, 4, 5}, {}, -1}};
    return sources.count("interfaces") ? DWORD{5} : DWORD{0};
  };
}

TEST(CollectComponentsTest, EachSourceFailsAlone) {
  const Bytes table = Rsmb(2, 8, {System(kSpecUuid)});
  const std::string rsmb(table.begin(), table.end());
  const std::string etc = "/etc/machine-id", dmi = "/sys/class/dmi/id/product_uuid";
  using C = ComponentId;
  // {source, its error code, contents, the component, its text}.
  const struct { std::string source; int error; std::string contents; C id; std::string text; }
  rows[] = {
      {"", 0, "", C::Cpu, "=GenuineIntel/family 6/model 158/stepping 10/" + kBrand},
      {"0x80000000", 0, "0000000D", C::Cpu, "=GenuineIntel/family 6/model 158/stepping 10"},
      {"0x80000000", 0, "FFFFFFFF", C::Cpu, "=GenuineIntel/family 6/model 158/stepping 10"},
      {"cpuid", 0, "", C::Cpu, ":no CPUID"},
      {"volume", 0, "", C::Volume, ":volume query failed (-1)"},
      {"interfaces", 0, "", C::Nics, ":interface listing failed (5)"},
#ifdef _WIN32
      {"MachineGuid", 0, "{6083B390-3C3C-42DB-BF67-B25A094610BD}", C::OsInstall, "=" + kId},
      {"", 0, "", C::OsInstall, ":not present"},
      {"MachineGuid", ERROR_ACCESS_DENIED, "", C::OsInstall, ":registry error 5"},
      {"MachineGuid", 0, "6083B390", C::OsInstall, ":malformed"},
      {"", 0, "", C::Board, ":no SMBIOS table (error 1)"},
      {"RSMB", 0, rsmb, C::Board, "=" + kUuid},
#else
      {etc, 0, kId + "\n", C::OsInstall, "=" + kId},
      {"/var/lib/dbus/machine-id", 0, kId, C::OsInstall, "=" + kId},
      {etc, 0, "uninitialized\n", C::OsInstall, ":placeholder"},  // its copy absent
      {"", 0, "", C::Board, ":not present"},
      {dmi, EACCES, "", C::Board, ":needs root"},
      {dmi, EIO, "", C::Board, ":unreadable (error 5)"},
      {dmi, 0, kUuid + "\n", C::Board, "=" + kUuid},
#endif
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    sources = {{row.source, {row.error, row.contents}}};
    test::FakeMachine fake;
    Script(fake);
    const MachineComponents machine = CollectComponents();
    EXPECT_EQ(Text(machine[row.id]), row.text);
    // The others are read as ever; the hypervisor is reported apart.
    const auto expect = [&](C id, const char* text) { return id == row.id ? row.text : text; };
    EXPECT_EQ(Text(machine[C::Volume]), expect(C::Volume, "=1C2D3E4F"));
    EXPECT_EQ(Text(machine[C::Nics]), expect(C::Nics, "=00:01:02:03:04:05"));
    EXPECT_EQ(machine.hypervisorVendor, fake.hasCpuid ? "Microsoft Hv" : "");
  }
}

// Where the program runs, from scripted marker files (Linux; the Windows build does not look:
// "unknown") and scripted answers about rights. A container's own markers win over a WSL kernel.
TEST(CollectComponentsTest, RunEnvironmentFromMarkers) {
  static BOOL rights[2], wow64[2];  // {the call's result, the flag}
  using Files = std::map<std::string, std::pair<int, std::string>>;
  const std::string v1Docker = "12:pids:/docker/3f1a\n0::/\n";
  const std::string wsl2 = "5.15.153.1-microsoft-standard-WSL2";
  const struct { Files files; std::string kind; int elevated = 1; bool wow64 = false; } rows[] = {
      {{{"/proc/1/cgroup", {0, "0::/init.scope\n"}},
        {"/proc/sys/kernel/osrelease", {0, "6.1.0-13-amd64\n"}}},
       "none", 0},
      {{{"/.dockerenv", {0, ""}}}, "docker", -1},
      {{{"/.dockerenv", {EACCES, ""}}}, "docker", 1, true},  // there, unreadable
      {{{"/.dockerenv", {0, ""}}, {"/run/.containerenv", {0, ""}}}, "podman"},
      {{{"/run/.containerenv", {ENOTDIR, ""}}}, "none"},
      {{{"/run/systemd/container", {0, "lxc\n"}}}, "lxc"},
      {{{"/run/systemd/container", {0, "lxc-libvirt\n"}}}, "lxc"},
      {{{"/run/systemd/container", {0, "docker\n"}}}, "docker"},
      {{{"/run/systemd/container", {0, "podman\n"}}}, "podman"},
      {{{"/run/systemd/container", {0, "wsl\n"}}}, "wsl"},
      {{{"/run/systemd/container", {0, "systemd-nspawn\n"}}}, "other"},
      {{{"/proc/1/cgroup", {0, v1Docker}}}, "docker"},
      {{{"/proc/1/cgroup", {0, "0::/system.slice/docker-3f1a.scope\n"}}}, "docker"},
      {{{"/proc/1/cgroup", {0, "0::/machine.slice/libpod-3f1a.scope/container\n"}}}, "podman"},
      {{{"/proc/1/cgroup", {0, "10:cpu:/lxc/web\n"}}}, "lxc"},
      {{{"/proc/1/cgroup", {0, "0::/lxc.payload.web/init.scope\n"}}}, "lxc"},
      {{{"/proc/1/cgroup", {0, "0::/kubepods/burstable/pod1/3f1a\n"}}}, "other"},
      {{{"/proc/1/cgroup", {0, "0::/system.slice/containerd.service\n"}}}, "other"},
      {{{"/proc/1/cgroup", {0, "0::/machine.slice/crio-3f1a.scope\n"}}}, "other"},
      {{{"/proc/sys/kernel/osrelease", {0, wsl2 + "\n"}}}, "wsl"},
      {{{"/proc/sys/kernel/osrelease", {0, "4.4.0-19041-Microsoft\n"}}}, "wsl"},
      // Docker Desktop: a container on WSL's kernel.
      {{{"/.dockerenv", {0, ""}}, {"/proc/sys/kernel/osrelease", {0, wsl2}}}, "docker"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    sources = row.files;
    test::FakeMachine fake;
    Script(fake);
    rights[0] = row.elevated >= 0, rights[1] = row.elevated == 1;
    wow64[0] = wow64[1] = row.wow64;
    fake.api.ProcessIsElevated = [](BOOL* flag) { return *flag = rights[1], rights[0]; };
    fake.api.CurrentProcessIsWow64 = [](BOOL* flag) { return *flag = wow64[1], wow64[0]; };
    const RunEnvironment where = CollectComponents().environment;
#ifdef _WIN32
    EXPECT_EQ(where.container, "unknown");
#else
    EXPECT_EQ(where.container, row.kind);
#endif
    EXPECT_EQ(where.elevated, row.elevated);
    EXPECT_EQ(where.wow64, row.wow64);
  }
}

// Where this test runs. Linux: root is the effective user id 0. Windows fact (Wine's prefix is
// 64-bit): the 32-bit build runs under WoW64; an elevated token enables the Administrators group.
TEST(CollectComponentsTest, Environment) {
  const RunEnvironment where = CollectComponents().environment;
  EXPECT_EQ(where.processBits, static_cast<int>(sizeof(void*)) * 8);
#ifdef _WIN32
  EXPECT_EQ(where.wow64, sizeof(void*) == 4);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                       DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
  BOOL full = FALSE;
  EXPECT_TRUE(CheckTokenMembership(nullptr, admins, &full));
  FreeSid(admins);
#else
  EXPECT_FALSE(where.wow64);
  const bool full = geteuid() == 0;
#endif
  EXPECT_EQ(where.elevated, full ? 1 : 0);
}

TEST(CollectComponentsTest, RealPlatformReadsOsInstall) {
  EXPECT_TRUE(CollectComponents()[ComponentId::OsInstall].available);
  // Windows fact (Wine's prefix is 64-bit): MachineGuid exists only in the 64-bit registry
  // view, where os-install above was read. That is a native program's default view; a 32-bit
  // program under WoW64 defaults to the redirected view, without it. Linux: no registry.
#ifdef _WIN32
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  const LONG inDefaultView = wow64 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
#else
  const LONG inDefaultView = ERROR_FILE_NOT_FOUND;
#endif
  BYTE data[64];
  DWORD size = sizeof data, type = 0;
  EXPECT_EQ(platform::Real().QueryMachineRegistryValue("SOFTWARE\\Microsoft\\Cryptography", 0,
                                                       "MachineGuid", &type, data, &size),
            inDefaultView);
#ifndef _WIN32
  EXPECT_EQ(platform::Real().GetSystemFirmwareTable(0x52534D42, 0, nullptr, 0), 0u);  // no call
#endif
}

}  // namespace
}  // namespace vrel::fingerprint
