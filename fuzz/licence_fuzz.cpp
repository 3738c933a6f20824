// The licence file reader on any bytes: it never crashes, and whatever it
// reads as a licence is exactly what the writer makes of the fields it read,
// so that the signed bytes and the fields cannot say two things.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vrel/licence/licence_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vrel::LicenceFileContents read =
      vrel::ReadLicenceFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (read.status == vrel::LicenceReadStatus::kOk &&
      vrel::WriteLicencePayload(read.fields) != read.payload) {
    std::abort();
  }
  return 0;
}
