// vreltest: prints this machine's identifiers and network cards; with a
// subcommand, its keyed fingerprint (see tool.h).
#include <cstdint>
#include <exception>
#include <iostream>

#include "vrel/platform/com_api.h"
#include "vrel/vreltest/tool.h"

int main(int argc, char* argv[]) {
  try {
    return vrel::RunTool(argc, argv);
  } catch (const std::exception& error) {
    // Out of memory inside the library: say so rather than die silently.
    std::cerr << "vreltest: " << error.what() << '\n';
    return 1;
  } catch (const _com_error& error) {
    // A BSTR that could not be allocated.
    std::cerr << "vreltest: COM error 0x" << std::hex << static_cast<std::uint32_t>(error.Error())
              << '\n';
    return 1;
  }
}
