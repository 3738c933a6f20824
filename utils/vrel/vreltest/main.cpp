// vreltest: prints this machine's identifiers and network cards; with a
// subcommand, its keyed fingerprint (see tool.h).
#include <iostream>

#include "vrel/vreltest/tool.h"

int main(int argc, char* argv[]) { return vrel::RunVreltest(argc, argv, std::cout, std::cerr); }
