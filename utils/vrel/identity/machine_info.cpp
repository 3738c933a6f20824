#include "vrel/identity/machine_info.h"

#include "vrel/cpu/cpuid.h"
#include "vrel/identity/identity_steps.h"
#include "vrel/wmi/enumerate_net_cards.h"

namespace vrel {

const NetCardInfo* FindFirstNonLoopback(const NetCardList& cards) {
  for (int i = 0; i < cards.GetCount(); ++i) {
    const NetCardInfo* card = cards.GetItem(i);
    if ((card->ip >> 24) != 127) return card;
  }
  return nullptr;
}

MachineInfo::~MachineInfo() { cards.Clear(); }

int MachineInfo::Enumerate() {
  EnsureEnumerated();
  return 0;
}

bool MachineInfo::EnsureEnumerated() {
  if (enumerated) return true;
  try {
    status = EnumerateNetCards(*this);
  } catch (...) {
    // Out of memory mid-way: drop what was appended so that the collector is
    // as constructed, and a later query starts a clean enumeration.
    cards.Clear();
    status = false;
    throw;
  }
  enumerated = true;
  return status;
}

int MachineInfo::GetIds(MachineIds& ids) {
  int missing = 0;

  ids.mac = MacAddress();
  EnsureEnumerated();
  if (cards.GetCount() > 0) {
    ids.mac = cards.GetItem(0)->mac;
  } else {
    missing |= MISSING_MAC;
  }

  std::uint32_t serial = 0;
  std::uint16_t shortSerial = 0;
  ids.volumeSerial = 0;
  ids.shortVolumeSerial = 0;
  const int volumeResult = ReadSystemVolumeSerial(serial, shortSerial);
  ids.volumeSerial = serial;
  ids.shortVolumeSerial = shortSerial;
  if (volumeResult != 0) missing |= MISSING_VOLUME_SERIAL;

  ids.cpuSignature = 0;
  if (CpuidSupported() == 0) {
    missing |= MISSING_CPU_SIGNATURE;
  } else {
    ids.cpuSignature = ReadCpuSignature();
  }

  ids.ip = 0;
  ids.ipReserved = 0;
  EnsureEnumerated();
  const NetCardInfo* card = FindFirstNonLoopback(cards);
  if (card != nullptr) {
    ids.ip = ReverseBytes(card->ip);
  } else {
    missing |= MISSING_IP;
  }
  return missing;
}

int MachineInfo::GetFirstIp(std::uint32_t destination[2]) {
  destination[0] = 0;
  destination[1] = 0;
  EnsureEnumerated();
  const NetCardInfo* card = FindFirstNonLoopback(cards);
  if (card == nullptr) return -1;
  destination[0] = ReverseBytes(card->ip);
  return 0;
}

int MachineInfo::GetMac(MacAddress& mac, int index) {
  mac = MacAddress();
  EnsureEnumerated();
  if (index < 0 || index >= cards.GetCount()) return -1;
  mac = cards.GetItem(index)->mac;
  return 0;
}

int MachineInfo::FindMac(const MacAddress& mac) {
  EnsureEnumerated();
  for (int i = 0; i < cards.GetCount(); ++i) {
    if (cards.GetItem(i)->mac == mac) return i;
  }
  return -1;
}

int MachineInfo::GetCardCount() {
  EnsureEnumerated();
  return cards.GetCount();
}

bool MachineInfo::CopyNetCards(NetCardList& list) {
  EnsureEnumerated();
  list.SetSize(0);
  const int base = list.GetCount();
  list.SetSize(base + cards.GetCount());
  for (int i = 0; i < cards.GetCount(); ++i) *list.GetItem(base + i) = *cards.GetItem(i);
  return status;
}

}  // namespace vrel
