// The WMI stand-in off Windows: a locator whose services answer the two
// network-adapter queries from the host's interfaces.
#pragma once

#include "vrel/platform/com_api.h"

#ifndef _WIN32

namespace vrel::platform {

// Creates the stand-in IWbemLocator and returns it through *object when `iid`
// is IID_IWbemLocator or IID_IUnknown; E_NOINTERFACE otherwise.
HRESULT CreateHostWbemLocator(REFIID iid, void** object);

}  // namespace vrel::platform

#endif
