// The enumeration on this build's real platform: Wine's COM and WMI under the
// Windows build, the Linux stand-in natively; and what the stand-in reports
// for a host interface. Whether the cards are the host's is the end-to-end
// check's to say (tests/e2e/check_cards.py).
#include <gtest/gtest.h>

#include <cstring>

#include "vrel/identity/machine_info.h"
#include "vrel/platform/platform.h"
#include "vrel/wmi/com_holders.h"
#include "vrel/wmi/enumerate_net_cards.h"
#include "vrel/wmi/property_text.h"
#ifndef _WIN32
#include "vrel/platform/host_wmi_classes.h"
#endif

namespace vrel {
namespace {

bool SameCards(const NetCardList& a, const NetCardList& b) {
  if (a.GetCount() != b.GetCount()) return false;
  for (int i = 0; i < a.GetCount(); ++i) {
    const NetCardInfo& x = *a.GetItem(i);
    const NetCardInfo& y = *b.GetItem(i);
    if (std::strcmp(x.name, y.name) != 0 || x.ip != y.ip || x.mac != y.mac) return false;
  }
  return true;
}

TEST(RealPlatformTest, EveryCollectorOnEveryApartmentFindsTheSameCards) {
  MachineInfo first;
  ASSERT_TRUE(first.EnsureEnumerated());
  // The first collector set the process's COM security. Windows refuses a
  // second setting with RPC_E_TOO_LATE and the stand-in does too; Wine
  // accepts it, so there this shows only that a second connection works.
  MachineInfo second;
  ASSERT_TRUE(second.EnsureEnumerated());
  EXPECT_TRUE(SameCards(first.cards, second.cards));
#ifndef _WIN32
  {
    const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
    EXPECT_EQ(InitComSecurity(), RPC_E_TOO_LATE);
  }
#endif
  // A thread in a single-threaded apartment, as a GUI thread is: the
  // enumeration's CoInitializeEx answers RPC_E_CHANGED_MODE (Windows, Wine
  // and the stand-in alike) and it enumerates there.
  const platform::Api& com = platform::Current();
  ASSERT_EQ(com.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  {
    MachineInfo collector;
    EXPECT_TRUE(collector.EnsureEnumerated());
    EXPECT_TRUE(SameCards(first.cards, collector.cards));
  }
  // Left as it was: still single-threaded, and entered exactly once.
  EXPECT_EQ(com.CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  com.CoUninitialize();
  EXPECT_EQ(com.CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  com.CoUninitialize();
}

#ifndef _WIN32

TEST(StandInTest, ObjectsAnswerPropertyNamesWithoutRegardToCase) {
  const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
  ComPtr<IWbemLocator> locator;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(locator.Put())), S_OK);
  ComPtr<IWbemServices> services;
  ASSERT_EQ(locator->ConnectServer(AllocBstr(L"ROOT\\CIMV2").Get(), nullptr, nullptr, nullptr, 0,
                                   nullptr, nullptr, services.Put()), S_OK);
  ComPtr<IEnumWbemClassObject> results;
  ASSERT_EQ(services->ExecQuery(AllocBstr("WQL").Get(),
                                AllocBstr("SELECT * FROM Win32_NetworkAdapterConfiguration").Get(),
                                0x30, nullptr, results.Put()), S_OK);
  ComPtr<IWbemClassObject> object;
  ULONG returned = 0;
  results->Next(WBEM_INFINITE, 1, object.Put(), &returned);
  ASSERT_EQ(returned, 1u) << "every host has the loopback interface";
  const std::wstring index = GetPropertyText(object.Get(), L"Index");
  EXPECT_NE(index, L"<N/A>");
  EXPECT_EQ(GetPropertyText(object.Get(), L"index"), index);
  EXPECT_EQ(GetPropertyText(object.Get(), L"INDEX"), index);
  EXPECT_EQ(GetPropertyText(object.Get(), L"Indexes"), L"<N/A>");
}

std::wstring Describe(const platform::WmiObject& object) {
  std::wstring text;
  for (const platform::WmiProperty& property : object) {
    const platform::WmiValue& v = property.value;
    text += L" " + property.name + L"=";
    if (v.kind == platform::WmiValue::Kind::kNull) text += L"null";
    if (v.kind == platform::WmiValue::Kind::kText) text += v.text;
    if (v.kind == platform::WmiValue::Kind::kInt) text += std::to_wstring(v.number);
    for (const std::wstring& item : v.texts) text += item + L";";
  }
  return text;
}

platform::HostInterface Host(std::string name, int index, int type, std::string address,
                             std::string driver, bool device) {
  platform::HostInterface host;
  host.name = std::move(name);
  host.index = index;
  host.hardwareType = type;
  host.hardwareAddress = std::move(address);
  host.driver = std::move(driver);
  host.hasDevice = device;
  return host;
}

TEST(StandInTest, ClassesMapTheHostsInterfaces) {
  const struct {
    platform::HostInterface host;
    const wchar_t* adapter;
  } rows[] = {
      {Host("eth0", 2, 1, "02:fc:00:00:00:01", "virtio_net", true),
       L" AdapterType=Ethernet 802.3 Caption=eth0 Index=2 MACAddress=02:FC:00:00:00:01"
       L" Manufacturer=virtio_net"},
      {Host("ifb0", 3, 1, "0a:f2:a6:2a:a1:20", "", false),
       L" AdapterType=Ethernet 802.3 Caption=ifb0 Index=3 MACAddress=0A:F2:A6:2A:A1:20"
       L" Manufacturer=null"},
      {Host("unbound", 4, 1, "00:00:00:00:00:00", "", true),
       L" AdapterType=Ethernet 802.3 Caption=unbound Index=4 MACAddress=00:00:00:00:00:00"
       L" Manufacturer=null"},
      {Host("lo", 1, 772, "00:00:00:00:00:00", "", false),
       L" AdapterType=null Caption=lo Index=1 MACAddress=null Manufacturer=null"},
      {Host("tun0", 6, 65534, "", "", false),
       L" AdapterType=null Caption=tun0 Index=6 MACAddress=null Manufacturer=null"},
      {Host("ib0", 7, 32, "80:00:00:48:fe:80", "", false),
       L" AdapterType=null Caption=ib0 Index=7 MACAddress=80:00:00:48:FE:80 Manufacturer=null"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.host.name);
    EXPECT_EQ(Describe(platform::NetworkAdapterObject(row.host)), row.adapter);
  }
  platform::HostInterface host = rows[0].host;
  EXPECT_EQ(Describe(platform::NetworkAdapterConfigurationObject(host)), L" Index=2 IPAddress=null");
  host.ipv6 = {"fd00::2", "fe80::1"};
  host.ipv4 = {"192.0.2.2", "192.0.2.3"};
  EXPECT_EQ(Describe(platform::NetworkAdapterConfigurationObject(host)),
            L" Index=2 IPAddress=192.0.2.2;192.0.2.3;fd00::2;fe80::1;");
}

#endif  // !_WIN32

}  // namespace
}  // namespace vrel
