// The Linux stand-in for WMI: what it reports for an interface, and how its
// locator, services, enumerator and class objects answer COM calls.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vrel/platform/com_api.h"
#include "vrel/platform/host_wmi_classes.h"
#include "vrel/platform/platform.h"
#include "vrel/wmi/com_holders.h"
#include "vrel/wmi/property_text.h"

namespace vrel {
namespace {

using platform::HostInterface;
using platform::WmiObject;
using platform::WmiValue;

const WmiValue* Find(const WmiObject& object, const wchar_t* name) {
  for (const auto& property : object) {
    if (property.name == name) return &property.value;
  }
  return nullptr;
}

std::wstring Describe(const WmiValue* value) {
  if (value == nullptr) return L"(absent)";
  switch (value->kind) {
    case WmiValue::Kind::kNull: return L"null";
    case WmiValue::Kind::kText: return L"'" + value->text + L"'";
    case WmiValue::Kind::kInt: return std::to_wstring(value->number);
    case WmiValue::Kind::kTextArray: {
      std::wstring text = L"[";
      for (const auto& item : value->texts) text += item + L";";
      return text + L"]";
    }
  }
  return L"?";
}

HostInterface Interface(std::string name, int index, int type, std::string address,
                        std::string driver = "", bool device = false) {
  HostInterface host;
  host.name = std::move(name);
  host.index = index;
  host.hardwareType = type;
  host.hardwareAddress = std::move(address);
  host.driver = std::move(driver);
  host.hasDevice = device;
  return host;
}

TEST(StandInClassesTest, AdapterPropertiesFollowTheInterface) {
  const struct {
    HostInterface host;
    const wchar_t* type;
    const wchar_t* manufacturer;
    const wchar_t* mac;
  } cases[] = {
      {Interface("eth0", 2, 1, "02:fc:00:00:00:01", "virtio_net", true), L"'Ethernet 802.3'",
       L"'virtio_net'", L"'02:FC:00:00:00:01'"},
      {Interface("ifb0", 3, 1, "0a:f2:a6:2a:a1:20"), L"'Ethernet 802.3'", L"null",
       L"'0A:F2:A6:2A:A1:20'"},
      {Interface("unbound", 4, 1, "00:11:22:33:44:55", "", true), L"'Ethernet 802.3'", L"null",
       L"'00:11:22:33:44:55'"},
      {Interface("zero", 5, 1, "00:00:00:00:00:00"), L"'Ethernet 802.3'", L"null",
       L"'00:00:00:00:00:00'"},
      {Interface("lo", 1, 772, "00:00:00:00:00:00"), L"null", L"null", L"null"},
      {Interface("tun0", 6, 65534, ""), L"null", L"null", L"null"},
      {Interface("ib0", 7, 32, "80:00:00:48:fe:80"), L"null", L"null", L"'80:00:00:48:FE:80'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host.name);
    const WmiObject adapter = platform::NetworkAdapterObject(c.host);
    EXPECT_EQ(Describe(Find(adapter, L"AdapterType")), c.type);
    EXPECT_EQ(Describe(Find(adapter, L"Manufacturer")), c.manufacturer);
    EXPECT_EQ(Describe(Find(adapter, L"MACAddress")), c.mac);
    EXPECT_EQ(Describe(Find(adapter, L"Caption")), L"'" + std::wstring(c.host.name.begin(),
                                                                      c.host.name.end()) + L"'");
    EXPECT_EQ(Describe(Find(adapter, L"Index")), std::to_wstring(c.host.index));
  }
}

TEST(StandInClassesTest, ConfigurationListsIpv4BeforeIpv6) {
  HostInterface host = Interface("eth0", 4, 1, "02:fc:00:00:00:01");
  host.ipv6 = {"fd00::2", "fe80::fc:ff:fe00:1"};
  host.ipv4 = {"192.0.2.2", "192.0.2.3"};
  const WmiObject configuration = platform::NetworkAdapterConfigurationObject(host);
  EXPECT_EQ(Describe(Find(configuration, L"Index")), L"4");
  EXPECT_EQ(Describe(Find(configuration, L"IPAddress")),
            L"[192.0.2.2;192.0.2.3;fd00::2;fe80::fc:ff:fe00:1;]");
  host.ipv4.clear();
  EXPECT_EQ(Describe(Find(platform::NetworkAdapterConfigurationObject(host), L"IPAddress")),
            L"[fd00::2;fe80::fc:ff:fe00:1;]");
  host.ipv6.clear();
  EXPECT_EQ(Describe(Find(platform::NetworkAdapterConfigurationObject(host), L"IPAddress")),
            L"null");
}

// The stand-in's objects, reached through the real COM entry points.
class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(apartment_.Result(), S_OK);
    const platform::Api& com = platform::Real();
    ASSERT_EQ(com.CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<void**>(locator.Put())),
              S_OK);
  }

  HRESULT Connect(const wchar_t* resource) {
    const Bstr name = AllocBstr(resource);
    return locator->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                  services.Put());
  }

  HRESULT Query(const wchar_t* language, const wchar_t* query) {
    const Bstr languageText = AllocBstr(language);
    const Bstr queryText = AllocBstr(query);
    return services->ExecQuery(languageText.Get(), queryText.Get(), 0x30, nullptr,
                               results.Put());
  }

  const ComApartment apartment_ = ComApartment::Enter(COINIT_MULTITHREADED);
  ComPtr<IWbemLocator> locator;
  ComPtr<IWbemServices> services;
  ComPtr<IEnumWbemClassObject> results;
};

TEST_F(StandInTest, ConnectsToRootCimv2Only) {
  EXPECT_EQ(Connect(L"ROOT\\CIMV2"), WBEM_S_NO_ERROR);
  EXPECT_NE(services.Get(), nullptr);
  EXPECT_EQ(Connect(L"root\\cimv2"), WBEM_S_NO_ERROR);
  for (const wchar_t* other : {L"ROOT\\DEFAULT", L"ROOT", L"ROOT\\CIMV2\\X", L""}) {
    EXPECT_EQ(Connect(other), WBEM_E_INVALID_NAMESPACE);
    EXPECT_EQ(services.Get(), nullptr);
  }
}

TEST_F(StandInTest, ServesTheTwoAdapterQueriesOnly) {
  ASSERT_EQ(Connect(L"ROOT\\CIMV2"), WBEM_S_NO_ERROR);
  EXPECT_EQ(Query(L"WQL", L"SELECT * FROM Win32_NetworkAdapter"), WBEM_S_NO_ERROR);
  EXPECT_EQ(Query(L"wql", L"select * from win32_networkadapterconfiguration"), WBEM_S_NO_ERROR);
  const struct {
    const wchar_t* language;
    const wchar_t* query;
  } refused[] = {
      {L"SQL", L"SELECT * FROM Win32_NetworkAdapter"},
      {L"WQL", L"SELECT * FROM Win32_Processor"},
      {L"WQL", L"SELECT Caption FROM Win32_NetworkAdapter"},
      {L"WQL", L"SELECT * FROM Win32_NetworkAdapter WHERE Index = 1"},
      {L"WQL", L""},
  };
  for (const auto& query : refused) {
    const HRESULT result = Query(query.language, query.query);
    EXPECT_TRUE(FAILED(result) && (static_cast<std::uint32_t>(result) & 0xFFFF0000u) == 0x80040000u)
        << std::hex << result;
    EXPECT_EQ(results.Get(), nullptr);
  }
}

TEST_F(StandInTest, ObjectsAnswerPropertiesWithoutRegardToCase) {
  ASSERT_EQ(Connect(L"ROOT\\CIMV2"), WBEM_S_NO_ERROR);
  ASSERT_EQ(Query(L"WQL", L"SELECT * FROM Win32_NetworkAdapter"), WBEM_S_NO_ERROR);
  ComPtr<IWbemClassObject> adapter;
  ULONG returned = 0;
  ASSERT_EQ(results->Next(WBEM_INFINITE, 1, adapter.Put(), &returned), WBEM_S_NO_ERROR);
  ASSERT_EQ(returned, 1u) << "every host has at least the loopback interface";
  EXPECT_EQ(GetPropertyText(adapter.Get(), L"Index"), GetPropertyText(adapter.Get(), L"index"));
  EXPECT_EQ(GetPropertyText(adapter.Get(), L"CAPTION"), GetPropertyText(adapter.Get(), L"Caption"));
  EXPECT_EQ(GetPropertyText(adapter.Get(), L"NoSuchProperty"), L"<N/A>");
  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ(adapter->Get(L"NoSuchProperty", 0, &value, nullptr, nullptr), WBEM_E_NOT_FOUND);
  CIMTYPE type = 0;
  EXPECT_EQ(adapter->Get(L"Index", 0, &value, &type, nullptr), WBEM_S_NO_ERROR);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(type, CIM_SINT32);
  VariantClear(&value);

  // Reading to the end: one object per interface, then no more.
  int count = 1;
  for (;;) {
    ComPtr<IWbemClassObject> next;
    returned = 0;
    const HRESULT result = results->Next(WBEM_INFINITE, 1, next.Put(), &returned);
    if (returned == 0) {
      EXPECT_EQ(result, WBEM_S_FALSE);
      EXPECT_EQ(next.Get(), nullptr);
      break;
    }
    ++count;
  }
  EXPECT_GE(count, 1);
}

TEST_F(StandInTest, InterfacesCountTheirReferences) {
  ASSERT_EQ(Connect(L"ROOT\\CIMV2"), WBEM_S_NO_ERROR);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(services->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown->Release(), 1u);  // the owner's reference remains
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(services->QueryInterface(IID_IWbemLocator, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(services->AddRef(), 2u);
  EXPECT_EQ(services->Release(), 1u);
  EXPECT_EQ(services.Detach()->Release(), 0u);  // the last reference deletes it
}

}  // namespace
}  // namespace vrel

#endif  // !_WIN32
