// The registry's tables in PostgreSQL, the one place they are defined.
#pragma once

#include <string>

namespace vrel::registry {

// The statements that make the tables of kSchemaVersion in the first schema
// of the role's search path, run as one transaction.
std::string PostgresSchema();
// What schema 2 adds to schema 1, its version number included.
std::string PostgresLicenceSchema();

}  // namespace vrel::registry
