// The registry's tables in SQLite, the one place they are defined.
#pragma once

#include <string>

namespace vrel::registry {

// The statements that make an empty database a registry of kSchemaVersion
// (its user_version), run inside one transaction.
std::string SqliteSchema();
// What schema 2 adds to schema 1, its version included.
std::string SqliteLicenceSchema();

}  // namespace vrel::registry
