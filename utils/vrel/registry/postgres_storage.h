// The registry's PostgreSQL backend over libpq: one database shared by many
// servers, written by several at once.
#pragma once

#include <memory>
#include <string>

#include "vrel/registry/storage.h"

namespace vrel::registry {

// Connects to `uri` (libpq's URI: a unix socket, a password file and TLS
// work as libpq documents) and uses the registry's tables in the first schema
// of the role's search path; with `create`, makes them on first use.
std::unique_ptr<Storage> OpenPostgresStorage(const std::string& uri, bool create);

}  // namespace vrel::registry
