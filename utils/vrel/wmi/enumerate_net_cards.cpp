#include "vrel/wmi/enumerate_net_cards.h"

#include <cstdint>

#include "vrel/identity/grow_array.h"
#include "vrel/identity/machine_info.h"
#include "vrel/platform/platform.h"
#include "vrel/wmi/card_text.h"
#include "vrel/wmi/com_holders.h"
#include "vrel/wmi/property_text.h"

namespace vrel {
namespace {

constexpr wchar_t kNamespace[] = L"ROOT\\CIMV2";
constexpr char kQueryLanguage[] = "WQL";
constexpr char kAdapterQuery[] = "SELECT * FROM Win32_NetworkAdapter";
constexpr char kConfigurationQuery[] = "SELECT * FROM Win32_NetworkAdapterConfiguration";
// Semi-synchronous and forward-only: objects arrive as WMI finds them.
constexpr LONG kQueryFlags = WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;

// WMI adapter indices of the cards appended by one enumeration, parallel to them.
using IndexList = GrowArray<std::int32_t>;

HRESULT ConnectToCimv2(IWbemLocator* locator, ComPtr<IWbemServices>& services) {
  const Bstr resource = AllocBstr(kNamespace);
  return locator->ConnectServer(resource.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                services.Put());
}

HRESULT RunQuery(IWbemServices* services, const char* query,
                 ComPtr<IEnumWbemClassObject>& results) {
  const Bstr language = AllocBstr(kQueryLanguage);
  const Bstr text = AllocBstr(query);
  return services->ExecQuery(language.Get(), text.Get(), kQueryFlags, nullptr, results.Put());
}

// The next object of a query, or an empty owner at the end of the results.
// A failing Next ends the results too: its HRESULT is not looked at.
ComPtr<IWbemClassObject> NextObject(IEnumWbemClassObject* results) {
  ComPtr<IWbemClassObject> object;
  ULONG returned = 0;
  results->Next(WBEM_INFINITE, 1, object.Put(), &returned);
  if (returned == 0) return ComPtr<IWbemClassObject>();
  return object;
}

// Appends a card for every Ethernet adapter not made by "Microsoft", and its
// WMI index to `indices`. Other properties are read only for adapters that
// pass the type test.
void ReadAdapters(IEnumWbemClassObject* adapters, NetCardList& cards, IndexList& indices) {
  for (;;) {
    const ComPtr<IWbemClassObject> adapter = NextObject(adapters);
    IWbemClassObject* object = adapter.Get();
    if (object == nullptr) break;
    if (!IsEthernetAdapterType(GetPropertyText(object, L"AdapterType"))) continue;
    if (IsMicrosoftManufacturer(GetPropertyText(object, L"Manufacturer"))) continue;
    NetCardInfo card;
    CopyCardName(GetPropertyText(object, L"Caption"), card.name);
    card.mac = ParseMacText(GetPropertyText(object, L"MACAddress"));
    indices.Add(TextToInt(GetPropertyText(object, L"Index")));
    cards.Add(card);
  }
}

// Position of the first entry equal to `index`, or -1.
int FindIndex(const IndexList& indices, std::int32_t index) {
  for (int i = 0; i < indices.GetCount(); ++i) {
    if (*indices.GetItem(i) == index) return i;
  }
  return -1;
}

// Sets the IPv4 address of each card that a configuration's index names;
// when several configurations name one card, the last one wins.
void ReadConfigurations(IEnumWbemClassObject* configurations, NetCardList& cards,
                        const IndexList& indices, int firstCard) {
  for (;;) {
    const ComPtr<IWbemClassObject> configuration = NextObject(configurations);
    IWbemClassObject* object = configuration.Get();
    if (object == nullptr) break;
    const int position = FindIndex(indices, TextToInt(GetPropertyText(object, L"index")));
    if (position < 0) continue;
    cards.GetItem(firstCard + position)->ip = ParseIpv4Text(GetPropertyText(object, L"IPAddress"));
  }
}

}  // namespace

bool EnumerateNetCards(MachineInfo& collector) {
  const platform::Api& api = platform::Current();

  // Declared first so that COM is left after every interface is released.
  const ComApartment apartment = ComApartment::Enter(COINIT_MULTITHREADED);
  // A thread already in a single-threaded apartment (a GUI thread) can use
  // WMI from there; the guard then leaves that apartment's entry alone.
  if (FAILED(apartment.Result()) && apartment.Result() != RPC_E_CHANGED_MODE) return false;

  // Security already set for the process (by the host or an earlier
  // enumeration) stays in force, and WMI works under it.
  const HRESULT security = InitComSecurity();
  if (FAILED(security) && security != RPC_E_TOO_LATE) return false;

  ComPtr<IWbemLocator> locator;
  if (FAILED(api.CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.Put())))) {
    return false;
  }
  ComPtr<IWbemServices> services;
  if (FAILED(ConnectToCimv2(locator.Get(), services))) return false;
  if (FAILED(api.CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                   RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                   EOAC_NONE))) {
    return false;
  }

  NetCardList& cards = collector.cards;
  const int firstCard = cards.GetCount();
  IndexList indices(kCardListGrowStep);
  {
    ComPtr<IEnumWbemClassObject> adapters;
    if (FAILED(RunQuery(services.Get(), kAdapterQuery, adapters))) return false;
    ReadAdapters(adapters.Get(), cards, indices);
  }

  ComPtr<IEnumWbemClassObject> configurations;
  if (FAILED(RunQuery(services.Get(), kConfigurationQuery, configurations))) {
    // Cards without addresses would look complete: drop them all.
    cards.Clear();
    return false;
  }
  ReadConfigurations(configurations.Get(), cards, indices, firstCard);
  return true;
}

}  // namespace vrel
