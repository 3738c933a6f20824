// The vreltest command line. With no arguments: the report, byte for byte as
// PrintReport writes it. Subcommands: fingerprint, match, compare,
// components; each takes --json.
#pragma once

#include <iosfwd>

namespace vrel {

// Runs vreltest over main's arguments and returns its exit code: 0 done
// (match: same machine), 1 a different machine, output that could not be
// written whole, or an error the library threw (out of memory), 2 bad input.
// Writes to `out` only once the whole text is ready, then flushes and checks
// it; every message goes to `err` as one "vreltest: ..." line.
int RunVreltest(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

}  // namespace vrel
