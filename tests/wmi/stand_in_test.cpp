// The Linux stand-ins answer as Windows does where the library needs it; the
// end-to-end check reads drive C and the cards they report against the host.
// The interface reader and the adapter objects also run over a crafted sysfs
// tree and address list, so that what they decide does not hang on the host.
#ifndef _WIN32
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>

#include "vrel/base/hex_text.h"
#include "vrel/platform/linux/host_wmi_classes.h"
#include "vrel/platform/platform.h"
#include "vrel/wmi/com_holders.h"
#include "vrel/wmi/property_text.h"

namespace vrel {
namespace {

TEST(StandInTest, Kernel) {
  const platform::Api& os = platform::Real();
  unsetenv("SYSTEMROOT");  // as on most Linux hosts
  char buffer[16] = "x";
  EXPECT_EQ(os.GetEnvironmentVariableA("SystemRoot", buffer, 16), 10u);  // as Windows would
  EXPECT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", buffer, 10), 11u);  // the size needed
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  setenv("SYSTEMROOT", "D:\\", 1);  // a system on another drive: the stand-in has only C:
  ASSERT_EQ(os.GetEnvironmentVariableA("SYSTEMROOT", buffer, 16), 3u);
  DWORD serial = 0;  // failing, it writes nothing
  EXPECT_FALSE(os.GetVolumeInformationA(buffer, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  unsetenv("SYSTEMROOT");
  EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(os.GetVersion(), 10u);  // major 10, minor 0
}

TEST(StandInTest, ComAndWmi) {
  EXPECT_TRUE(SysAllocString(nullptr) == nullptr && SafeArrayCreateVector(VT_R8, 0, 1) == nullptr);
  EXPECT_EQ(SysStringLen(Bstr(SysAllocStringLen(nullptr, 3)).Get()), 3u);
  const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
  ComPtr<IWbemLocator> locator;
  void** out = reinterpret_cast<void**>(locator.Put());
  EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, 1, IID_IUnknown, out), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IWbemServices, out), E_NOINTERFACE);
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, 1, IID_IUnknown, out), S_OK);
  ComPtr<IWbemServices> services;
  ASSERT_EQ(locator->ConnectServer(AllocBstr(L"ROOT\\CIMV2").Get(), nullptr, nullptr, nullptr, 0,
                                   nullptr, nullptr, services.Put()), S_OK);
  ComPtr<IEnumWbemClassObject> results;
  const auto query = [&](const char* text) {
    return services->ExecQuery(AllocBstr("WQL").Get(), AllocBstr(text).Get(), 0, nullptr,
                               results.Put());
  };
  EXPECT_EQ(query("SELECT * FROM Win32_Processor"), WBEM_E_INVALID_QUERY);
  ASSERT_EQ(query("select * from win32_networkadapterconfiguration"), S_OK);  // in any case
  ComPtr<IWbemClassObject> loopback;  // interface 1 on every Linux host
  ULONG returned = 0;
  ASSERT_EQ(results->Next(WBEM_INFINITE, 1, loopback.Put(), &returned), S_OK);
  EXPECT_EQ(GetPropertyText(loopback.Get(), L"index"), L"1");  // in any case
  EXPECT_EQ(GetPropertyText(loopback.Get(), L"Indexes"), L"<N/A>");
  EXPECT_TRUE(loopback->AddRef() == 2 && loopback->Release() == 1);  // counted
}

namespace fs = std::filesystem;

// A folder made for one test and removed with it.
struct ScratchFolder {
  std::string path = [] {
    char name[] = "/tmp/vrel-sysfs-XXXXXX";
    return std::string(mkdtemp(name) != nullptr ? name : "");
  }();
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

// One interface as "name index type driver device connector assign-type address", then each
// property of its two class objects as the stand-in's VARIANT: null, a number, a text or {texts}.
std::string Describe(const platform::HostInterface& host) {
  std::string text =
      host.name + " " + std::to_string(host.index) + " " + std::to_string(host.hardwareType) + " " +
      (host.driver.empty() ? "-" : host.driver) + " " + std::to_string(host.facts.hardware) +
      std::to_string(host.facts.connector) + " " + std::to_string(host.facts.assignType) + " ";
  AppendHex(text, host.facts.current.data(), host.facts.current.size(), ':');
  const auto narrow = [](const wchar_t* wide) { return std::string(wide, wide + wcslen(wide)); };
  const auto render = [&](const platform::WmiObject& object) {
    for (const platform::WmiProperty& property : object) {
      text += " " + narrow(property.name.c_str()) + "=";
      VARIANT value;  // as the stand-in's Get hands it out
      VariantInit(&value);
      EXPECT_TRUE(platform::ToVariant(property.value, &value));
      if (value.vt == VT_NULL) text += "null";
      if (value.vt == VT_I4) text += std::to_string(value.lVal);
      if (value.vt == VT_BSTR) text += narrow(value.bstrVal);
      for (ULONG i = 0;
           value.vt == (VT_ARRAY | VT_BSTR) && i < value.parray->rgsabound[0].cElements; ++i) {
        text += "{" + narrow(static_cast<BSTR*>(value.parray->pvData)[i]) + "}";
      }
      VariantClear(&value);
    }
  };
  render(platform::NetworkAdapterObject(host));
  render(platform::NetworkAdapterConfigurationObject(host));
  return text;
}

// sysfs as the kernel lays it out: class/net/NAME links to the device's net folder, a device
// on a bus links its driver; loopback and other bus-less devices lie under devices/virtual.
TEST(StandInTest, InterfacesFromACraftedSysfs) {
  const ScratchFolder scratch;
  ASSERT_FALSE(scratch.path.empty());
  const fs::path sys = scratch.path + "/sys";
  const fs::path pci = sys / "devices/pci0000:00";
  // {net folder under devices/, "file=text" entries; "device" and "driver" make those links}.
  const struct {
    std::string folder;
    std::vector<std::string> files;
  } interfaces[] = {
      {"virtual/net/vrelt-lo", {"ifindex=1", "type=772", "address=00:00:00:00:00:00"}},
      {"pci0000:00/0000:00:03.0/net/vrelt-e0",
       {"ifindex=2", "type=1", "addr_assign_type=0", "address=52:54:00:12:34:56", "device",
        "driver"}},
      {"pci0000:00/0000:00:04.0/net/vrelt-e1",  // no driver bound
       {"ifindex=3", "type=1", "addr_assign_type=3", "address=00:00:00:00:00:00", "device"}},
      {"virtual/net/vrelt-tun", {"ifindex=4"}},  // type, assign type and address unreadable
      {"virtual/net/vrelt-gone", {}},            // vanished while read: no ifindex
  };
  for (const auto& item : interfaces) {
    const fs::path folder = sys / "devices" / item.folder;
    fs::create_directories(folder);
    fs::create_directories(sys / "class/net");
    fs::create_symlink("../../devices/" + item.folder, sys / "class/net" / folder.filename());
    for (const std::string& file : item.files) {
      const fs::path device = folder.parent_path().parent_path();
      if (file == "device")
        fs::create_directory_symlink("../../../" + device.filename().string(), folder / file);
      if (file == "driver")
        fs::create_symlink("../../../bus/pci/drivers/virtio_net", device / file);
      const std::size_t equals = file.find('=');
      if (equals != std::string::npos)
        WriteFile(folder / file.substr(0, equals), file.substr(equals + 1) + "\n");
    }
  }
  // getifaddrs's list: addresses, a link-layer entry ("link"), one without an address (""), an
  // address of an interface the tree does not hold.
  const std::pair<const char*, const char*> entries[] = {
      {"vrelt-e0", "2001:db8::1"}, {"vrelt-lo", "::1"}, {"vrelt-e0", "link"},
      {"vrelt-e0", "192.0.2.1"},   {"vrelt-e1", ""},    {"vrelt-tun", "198.51.100.7"},
      {"other", "203.0.113.9"}};
  constexpr std::size_t kEntries = std::size(entries);
  sockaddr_storage addresses[kEntries] = {};
  ifaddrs list[kEntries] = {};
  for (std::size_t i = 0; i < kEntries; ++i) {
    sockaddr_storage& address = addresses[i];
    address.ss_family = AF_PACKET;
    const char* text = entries[i].second;
    if (inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in&>(address).sin_addr) == 1) {
      address.ss_family = AF_INET;
    }
    if (inet_pton(AF_INET6, text, &reinterpret_cast<sockaddr_in6&>(address).sin6_addr) == 1) {
      address.ss_family = AF_INET6;
    }
    list[i].ifa_next = i + 1 < kEntries ? &list[i + 1] : nullptr;
    list[i].ifa_name = const_cast<char*>(entries[i].first);
    list[i].ifa_addr = *text != '\0' ? reinterpret_cast<sockaddr*>(&address) : nullptr;
  }
  std::vector<platform::HostInterface> hosts;
  ASSERT_EQ(platform::ReadNetClass(sys.string(), hosts), 0);
  platform::AddAddresses(hosts, list);
  // By index; loopback's all-zero address is none, an Ethernet card's is one.
  const std::string want[] = {
      "vrelt-lo 1 772 - 00 -1 00:00:00:00:00:00 AdapterType=null Caption=vrelt-lo Index=1 "
      "MACAddress=null Manufacturer=null Index=1 IPAddress={::1}",
      "vrelt-e0 2 1 virtio_net 11 0 52:54:00:12:34:56 AdapterType=Ethernet 802.3 "
      "Caption=vrelt-e0 Index=2 MACAddress=52:54:00:12:34:56 Manufacturer=virtio_net Index=2 "
      "IPAddress={192.0.2.1}{2001:db8::1}",
      "vrelt-e1 3 1 - 11 3 00:00:00:00:00:00 AdapterType=Ethernet 802.3 Caption=vrelt-e1 Index=3 "
      "MACAddress=00:00:00:00:00:00 Manufacturer=null Index=3 IPAddress=null",
      "vrelt-tun 4 -1 - 00 -1  AdapterType=null Caption=vrelt-tun Index=4 MACAddress=null "
      "Manufacturer=null Index=4 IPAddress={198.51.100.7}",
  };
  ASSERT_EQ(hosts.size(), std::size(want));
  for (std::size_t i = 0; i < hosts.size(); ++i) EXPECT_EQ(Describe(hosts[i]), want[i]);
  // A root that is not there, or holds no class/net: the error, no interface.
  EXPECT_EQ(platform::ReadNetClass(scratch.path + "/none", hosts), ENOENT);
  EXPECT_EQ(platform::ReadNetClass(pci.string(), hosts), ENOENT);
  EXPECT_TRUE(hosts.empty());
}

}  // namespace
}  // namespace vrel
#endif  // !_WIN32
