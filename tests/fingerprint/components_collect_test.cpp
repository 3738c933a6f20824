// CollectComponents over a scripted platform (every source failing in each
// way it can) and over the real one.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "vrel/fingerprint/component_text.h"
#include "vrel/platform/platform.h"

namespace vrel {
namespace {

using Regs = std::array<std::uint32_t, 4>;
const std::string kMid = "6083b3903c3c42dbbf67b25a094610bd";  // as the MachineGuid below
// An SMBIOS 2.8 table with only a system record (UUID as in SMBIOS section 7.2.1).
const std::string kRsmb = std::string("\0\x02\x08\0\x1d\0\0\0\x01\x1b\x01\0\0\0\0\0", 16) +
                          std::string("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16) +
                          std::string(5, '\0');

// What the scripted platform answers; unlisted CPUID leaves and files read as absent.
struct Script {
  std::map<std::uint32_t, Regs> cpuid;
  std::uint32_t volumeSerial = 0x1C2D3E4F;  // 0: the query fails
  LONG registryStatus = ERROR_SUCCESS;
  DWORD registryType = REG_SZ, registryView = 0;
  std::string registryValue = std::string("6083B390-3C3C-42DB-BF67-B25A094610BD\0", 37);
  std::string rsmb;                         // empty: no table, GetLastError 1
  UINT rsmbSecondCall = 0;                  // non-zero: the second call's answer
  std::map<std::string, std::pair<int, std::string>> files;  // path: errno, contents
  DWORD listStatus = 0;
  std::vector<platform::NetInterfaceFacts> interfaces = {{true, true, {0, 0x1b, 0x21, 1, 2, 3}, {}, -1}};
};
Script script;

platform::Api Scripted() {
  platform::Api api = platform::Real();
  api.EflagsIdToggles = [] { return script.cpuid.empty() ? 0 : 1; };
  api.Cpuid = [](std::uint32_t leaf, std::uint32_t regs[4]) {
    const Regs r = script.cpuid.count(leaf) ? script.cpuid[leaf] : Regs{};
    std::memcpy(regs, r.data(), sizeof r);
  };
  api.GetVolumeInformationA = [](const char*, char*, DWORD, DWORD* serial, DWORD*, DWORD*, char*, DWORD) -> BOOL {
    *serial = script.volumeSerial;
    return script.volumeSerial != 0;
  };
  api.GetLastError = []() -> DWORD { return 1; };
  api.QueryMachineRegistryValue = [](const char* key, DWORD view, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    EXPECT_STREQ(key, "SOFTWARE\\Microsoft\\Cryptography");
    EXPECT_STREQ(name, "MachineGuid");
    script.registryView = view;
    *type = script.registryType;
    *size = static_cast<DWORD>(std::min<std::size_t>(*size, script.registryValue.size()));
    std::memcpy(data, script.registryValue.data(), *size);
    return script.registryStatus;
  };
  api.GetSystemFirmwareTable = [](DWORD provider, DWORD id, void* buffer, DWORD size) -> UINT {
    EXPECT_EQ(provider, 0x52534D42u);  // 'RSMB'
    EXPECT_EQ(id, 0u);
    if (buffer != nullptr && script.rsmbSecondCall != 0) return script.rsmbSecondCall;
    if (size >= script.rsmb.size()) std::memcpy(buffer, script.rsmb.data(), script.rsmb.size());
    return static_cast<UINT>(script.rsmb.size());
  };
  api.ReadSmallFile = [](const char* path, char* buffer, std::size_t* size) {
    const auto found = script.files.find(path);
    if (found == script.files.end()) return ENOENT;
    *size = std::min(*size, found->second.second.size());
    std::memcpy(buffer, found->second.second.data(), *size);
    return found->second.first;
  };
  api.ListNetInterfaces = [](std::vector<platform::NetInterfaceFacts>* out) {
    *out = script.interfaces;
    return script.listStatus;
  };
  return api;
}

// Collects under the script; "name=value" or "name:reason" per component.
std::vector<std::string> Collect(MachineComponents* whole = nullptr) {
  const platform::Api api = Scripted();
  const platform::Api* previous = platform::Install(&api);
  const MachineComponents machine = CollectComponents();
  platform::Install(previous);
  std::vector<std::string> out;
  for (const ComponentValue& value : machine.components) {
    std::string text = value.available ? "=" : ":" + value.reason;
    for (const std::string& item : value.values) text += item + " ";
    out.push_back(text);
  }
  if (whole != nullptr) *whole = machine;
  return out;
}

TEST(CollectComponentsTest, EachComponentFailsAlone) {
  const std::string uuid = "00112233-4455-6677-8899-aabbccddeeff";
  const struct { const char* name; void (*arrange)(Script&); int component; std::string expected; } rows[] = {
      {"no CPUID", [](Script& s) { s.cpuid.clear(); }, 0, ":no CPUID"},
      {"volume fails", [](Script& s) { s.volumeSerial = 0; }, 1, ":volume query failed (-1)"},
      {"listing fails", [](Script& s) { s.listStatus = 5; }, 4, ":interface listing failed (5)"},
      {"no adapter", [](Script& s) { s.interfaces.clear(); }, 4, ":no physical adapter"},
#ifdef _WIN32
      {"MachineGuid", [](Script&) {}, 2, "=" + kMid + " "},
      {"no MachineGuid", [](Script& s) { s.registryStatus = ERROR_FILE_NOT_FOUND; }, 2, ":not present"},
      {"registry denied", [](Script& s) { s.registryStatus = ERROR_ACCESS_DENIED; }, 2, ":registry error 5"},
      {"not a string", [](Script& s) { s.registryType = REG_BINARY; }, 2, ":malformed"},
      {"not a GUID", [](Script& s) { s.registryValue = "6083B390"; }, 2, ":malformed"},
      {"no SMBIOS", [](Script&) {}, 3, ":no SMBIOS table (error 1)"},
      {"SMBIOS", [](Script& s) { s.rsmb = kRsmb; }, 3, "=" + uuid + " "},
      {"SMBIOS grew", [](Script& s) { s.rsmb = kRsmb; s.rsmbSecondCall = 100; }, 3, ":SMBIOS table changed while read"},
      {"SMBIOS gone", [](Script& s) { s.rsmb = kRsmb; s.rsmbSecondCall = ~0u; }, 3, ":SMBIOS table changed while read"},
#else
      {"machine-id", [](Script& s) { s.files["/etc/machine-id"] = std::make_pair(0, kMid + "\n"); }, 2, "=" + kMid + " "},
      {"dbus machine-id", [](Script& s) { s.files["/var/lib/dbus/machine-id"] = std::make_pair(0, kMid + "\n"); }, 2, "=" + kMid + " "},
      {"empty machine-id", [](Script& s) { s.files["/etc/machine-id"] = std::make_pair(0, ""); }, 2, ":not present"},
      {"bad machine-id", [](Script& s) { s.files["/var/lib/dbus/machine-id"] = std::make_pair(0, "uninitialized\n"); }, 2, ":malformed"},
      {"no product_uuid", [](Script&) {}, 3, ":not present"},
      {"not root", [](Script& s) { s.files["/sys/class/dmi/id/product_uuid"] = std::make_pair(EACCES, ""); }, 3, ":needs root"},
      {"read error", [](Script& s) { s.files["/sys/class/dmi/id/product_uuid"] = std::make_pair(EIO, ""); }, 3, ":unreadable: Input/output error"},
      {"UUID", [](Script& s) { s.files["/sys/class/dmi/id/product_uuid"] = std::make_pair(0, "00112233-4455-6677-8899-AABBCCDDEEFF\n"); }, 3, "=" + uuid + " "},
      {"UUID unset", [](Script& s) { s.files["/sys/class/dmi/id/product_uuid"] = std::make_pair(0, "00000000-0000-0000-0000-000000000000\n"); }, 3, ":UUID not set"},
#endif
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    script = Script();
    script.cpuid[0] = {1, 0x756e6547, 0x6c65746e, 0x49656e69};  // "GenuineIntel"
    row.arrange(script);
    const std::vector<std::string> got = Collect();
    EXPECT_EQ(got[row.component], row.expected);
    // The others stay as they were.
    const std::string others[] = {"=GenuineIntel/family 0/model 0/stepping 0 ", "=1C2D3E4F ", "",
                                  "", "=00:1b:21:01:02:03 "};
    for (int i : {0, 1, 4}) {
      if (i != row.component) {
        EXPECT_EQ(got[i], others[i]) << i;
      }
    }
  }
#ifdef _WIN32
  EXPECT_EQ(script.registryView, static_cast<DWORD>(KEY_WOW64_64KEY));
#endif
}

TEST(CollectComponentsTest, HypervisorIsReportedApart) {
  script = Script();
  script.cpuid = {{0, {0x16, 0x68747541, 0x444d4163, 0x69746e65}},  // "AuthenticAMD"
                  {1, {0x00A00F11, 0, 0x80000000, 0}},
                  {0x40000000, {0x40000001, 0x4b4d564b, 0x564b4d56, 0x0000004d}}};  // "KVMKVMKVM"
  MachineComponents machine;
  const std::string cpu = Collect(&machine)[0];
  EXPECT_EQ(cpu, "=AuthenticAMD/family 25/model 1/stepping 1 ");
  EXPECT_TRUE(machine.hypervisorPresent);
  EXPECT_EQ(machine.hypervisorVendor, "KVMKVMKVM");
  script.cpuid[1][2] = 0;
  Collect(&machine);
  EXPECT_FALSE(machine.hypervisorPresent);
  EXPECT_EQ(machine.hypervisorVendor, "");
}

TEST(CollectComponentsTest, RealPlatformGivesTheSameComponentsTwice) {
  const MachineComponents first = CollectComponents();
  const MachineComponents second = CollectComponents();
  for (int i = 0; i < kComponentCount; ++i) {
    SCOPED_TRACE(ComponentName(static_cast<ComponentId>(i)));
    EXPECT_EQ(first.components[i].values, second.components[i].values);
    EXPECT_EQ(first.components[i].reason, second.components[i].reason);
  }
  EXPECT_TRUE(first[ComponentId::Cpu].available);
  EXPECT_TRUE(first[ComponentId::OsInstall].available);
#ifdef _WIN32
  // Wine fact: the prefix is 64-bit, so this 32-bit program runs under WoW64
  // and MachineGuid exists only in the 64-bit view.
  BYTE data[64];
  DWORD size = sizeof data, type = 0;
  EXPECT_EQ(platform::Real().QueryMachineRegistryValue("SOFTWARE\\Microsoft\\Cryptography", 0,
                                                       "MachineGuid", &type, data, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform::Real().QueryMachineRegistryValue("SOFTWARE\\No such key", KEY_WOW64_64KEY,
                                                       "MachineGuid", &type, data, &size),
            ERROR_FILE_NOT_FOUND);
#endif
}

}  // namespace
}  // namespace vrel
