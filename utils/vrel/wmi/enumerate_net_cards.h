// Discovery of the machine's Ethernet cards through WMI.
#pragma once

#include "vrel/platform/com_api.h"

namespace vrel {

class MachineInfo;

// Appends one record per Ethernet card that WMI reports to collector.cards
// (which must be empty) and returns true when both WMI queries ran to their
// end, whether or not a card was found; false when COM, the security set-up,
// the connection or a query failed. Called by MachineInfo only.
bool EnumerateNetCards(MachineInfo& collector);

// Sets the process-wide COM security and returns CoInitializeSecurity's result.
HRESULT InitComSecurity();

}  // namespace vrel
