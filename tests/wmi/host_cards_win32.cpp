// Reads the Ethernet adapters through the IP Helper API, which does not go
// through WMI or COM.
#ifdef _WIN32

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <vector>

#include "host_cards.h"

namespace vrel::test {

std::optional<std::vector<HostCard>> ReadHostCards() {
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST,
                                  nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                  &size);
  }
  if (result != NO_ERROR) return std::nullopt;
  std::vector<HostCard> cards;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->IfType != IF_TYPE_ETHERNET_CSMACD) continue;
    HostCard card;
    card.name = adapter->AdapterName;
    for (ULONG i = 0; i < 6 && i < adapter->PhysicalAddressLength; ++i) {
      card.mac[i] = adapter->PhysicalAddress[i];
    }
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const sockaddr* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
      card.ip = ntohl(v4->sin_addr.s_addr);
      break;
    }
    cards.push_back(card);
  }
  return cards;
}

}  // namespace vrel::test

#endif  // _WIN32
