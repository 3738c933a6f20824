#include "vrel/wmi/enumerate_net_cards.h"

#include "vrel/identity/machine_info.h"

namespace vrel {

// Not yet connected to WMI: reports a failed enumeration with no cards.
bool EnumerateNetCards(MachineInfo&) { return false; }

}  // namespace vrel
