// Which components count towards the registry's verdict: the one place that
// says so, so that it can follow the component table.
#pragma once

#include "vrel/fingerprint/fingerprint.h"

namespace vrel::registry {

// Every component but the processor identifies a machine; the processor is
// reported but never counts (many machines share a model).
constexpr bool IsStrong(ComponentId id) { return id != ComponentId::Cpu; }

}  // namespace vrel::registry
