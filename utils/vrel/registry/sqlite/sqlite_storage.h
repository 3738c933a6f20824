// The registry's SQLite backend: one database file in write-ahead-log mode,
// one writer at a time (BEGIN IMMEDIATE holds the whole file), readers beside
// it. Serves "sqlite:PATH" and plain paths.
#pragma once

#include <memory>
#include <string>

#include "vrel/registry/storage.h"

namespace vrel::registry {

// Opens the database at `path`. A writer waits up to `busyMilliseconds` for
// another process's lock, then fails.
std::unique_ptr<Storage> OpenSqliteStorage(const std::string& path, OpenMode mode,
                                           int busyMilliseconds = 10000);

}  // namespace vrel::registry
