// MachineInfo: the identity collector. It enumerates the network cards once,
// on the first query that needs them, and answers every query from that cache.
#pragma once

#include <cstdint>

#include "vrel/identity/machine_ids.h"
#include "vrel/identity/net_card.h"

namespace vrel {

class MachineInfo {
 public:
  // The cached cards, in enumeration order (grow step 100).
  NetCardList cards{kCardListGrowStep};
  // What the enumeration returned; false until it has run.
  bool status = false;
  // True once the enumeration has run, whatever its outcome; never reset.
  bool enumerated = false;

  // Empty, not yet enumerated. Construction does not enumerate.
  MachineInfo() = default;
  MachineInfo(const MachineInfo&) = delete;
  MachineInfo& operator=(const MachineInfo&) = delete;
  ~MachineInfo();

  // Every query below first runs the enumeration if it has not run yet. It runs
  // at most once per object; a failed enumeration is not retried. The
  // enumeration enters COM on the calling thread for its duration.

  // Enumerates now if not yet done. Returns 0.
  int Enumerate();
  // True without enumerating when already enumerated (whatever its outcome);
  // otherwise enumerates and returns the outcome.
  bool EnsureEnumerated();

  // Fills every field of `ids` (zero where an identifier is missing) and
  // returns the MISSING_* bits of what it could not obtain; never fails as a
  // whole. The MAC comes from the first card; the address from the first card
  // whose address does not start with 127 (an address of 0 qualifies).
  int GetIds(MachineIds& ids);

  // Writes the first non-loopback address in network byte order to
  // destination[0] and 0 to destination[1]; 0 when found, -1 (both words 0)
  // when no card qualifies.
  int GetFirstIp(std::uint32_t destination[2]);

  // Copies the MAC of card `index`: 0, or -1 with a zero MAC for an index
  // outside 0..count-1.
  int GetMac(MacAddress& mac, int index);

  // Index of the first card whose MAC equals `mac`, or -1.
  int FindMac(const MacAddress& mac);

  // Number of cached cards.
  int GetCardCount();

  // Replaces the contents of `list` with a copy of the cached cards, in
  // order, keeping the list's storage where it is large enough. Returns the
  // enumeration's outcome (the cards are copied either way).
  bool CopyNetCards(NetCardList& list);
};

// Fills `signature` with the packed processor signature: the vendor string's
// first character (sign-extended) in bits 16-31, family, model, stepping and
// type in four-bit fields below it. 0, or -1 with 0 when there is no CPUID.
int GetCpuSignature(std::uint32_t& signature);

// Fills `serial` with the serial number of the volume holding the Windows
// directory (found through SYSTEMROOT) and `shortSerial` with its 16-bit fold.
// Returns 0 on success and also when SYSTEMROOT is not a drive path (both 0);
// the system's error code when SYSTEMROOT cannot be read (for a missing
// variable ERROR_ENVVAR_NOT_FOUND); -1 when the value does not fit its
// 255-byte buffer or the volume cannot be queried. Both outputs are 0 unless
// the result is 0 and a serial was read.
int GetSystemVolumeSerial(std::uint32_t& serial, std::uint16_t& shortSerial);

}  // namespace vrel
