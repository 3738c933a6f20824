// The registry's SQLite backend: one database file in write-ahead-log mode.
#pragma once

#include <memory>
#include <string>

#include "vrel/registry/storage.h"

namespace vrel::registry {

// Opens (with `create`, makes) the database at `path`. A writer waits up to
// `busyMilliseconds` for another process's lock, then fails.
std::unique_ptr<Storage> OpenSqliteStorage(const std::string& path, bool create,
                                           int busyMilliseconds = 10000);

}  // namespace vrel::registry
