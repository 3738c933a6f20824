// vrel-registry's licence commands: licence create, show, list and revoke;
// activate and deactivate. Each returns the exit code: 0 done, 1 a refusal
// (activate, deactivate), 2 a bad line or an unknown licence.
#pragma once

#include "vrel/registry/tool/commands.h"

namespace vrel::registry {

int LicenceCreate(const ToolOptions& options, Registry& registry);
int LicenceShow(const ToolOptions& options, Registry& registry);
int LicenceList(const ToolOptions& options, Registry& registry);
int LicenceRevoke(const ToolOptions& options, Registry& registry);
int ActivateTokens(const ToolOptions& options, Registry& registry);
int DeactivateMachine(const ToolOptions& options, Registry& registry);

}  // namespace vrel::registry
