// export and import: a registry's machines as JSON Lines, one machine with
// its history a line, and back.
#pragma once

#include "vrel/registry/storage.h"

namespace vrel::registry {

// Machines per page of export, and per batch written by import.
constexpr std::size_t kExportPage = 1000;
constexpr std::size_t kImportBatch = 2000;

// Every machine, lowest id first, from one snapshot, a page at a time.
void Export(Storage& storage);

// An export's lines from standard input into an empty registry, all or
// nothing: one transaction that shuts other writers out, written in large
// batches; a bad line stops everything from being stored. Prints each bad
// line's error, then one summary line; returns whether every line was a machine.
bool Import(Storage& storage);

}  // namespace vrel::registry
