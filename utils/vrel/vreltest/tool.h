// The vreltest command line. With no arguments: the report, byte for byte as
// PrintReport writes it. Subcommands: fingerprint, match, components.
#pragma once

namespace vrel {

// Runs the tool and returns its exit code: 0 done (match: same machine),
// 1 different machine or output that could not be written whole, 2 bad input.
// Writes to std::cout only once the whole text is ready, then flushes
// and checks it. Exceptions of the library (out of memory) pass through.
int RunTool(int argc, const char* const argv[]);

}  // namespace vrel
