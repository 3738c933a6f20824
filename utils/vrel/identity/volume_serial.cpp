#include <cstring>

#include "vrel/identity/identity_steps.h"
#include "vrel/identity/machine_info.h"
#include "vrel/platform/platform.h"

namespace vrel {
namespace {

constexpr DWORD kBufferSize = 255;

}  // namespace

int ReadSystemVolumeSerial(std::uint32_t& serial, std::uint16_t& shortSerial) {
  serial = 0;
  shortSerial = 0;
  const platform::Api& os = platform::Current();

  char root[kBufferSize] = {};
  const DWORD length = os.GetEnvironmentVariableA("SYSTEMROOT", root, kBufferSize);
  if (length == 0) return static_cast<int>(os.GetLastError());
  // A value that does not fit reports the size it needs; the buffer then
  // holds nothing to read.
  if (length >= kBufferSize) return -1;
  if (root[1] != ':') return 0;  // not a drive path: nothing to query
  root[3] = '\0';                // keep the drive root, such as C:\ .

  char volumeName[kBufferSize] = {};
  char fileSystemName[kBufferSize] = {};
  DWORD volumeSerial = 0;
  DWORD maxComponentLength = 0;
  DWORD fileSystemFlags = 0;
  if (!os.GetVolumeInformationA(root, volumeName, kBufferSize, &volumeSerial, &maxComponentLength,
                                &fileSystemFlags, fileSystemName, kBufferSize)) {
    return -1;
  }
  serial = volumeSerial;
  shortSerial = static_cast<std::uint16_t>((serial ^ (serial >> 16)) & 0xFFFFu);
  return 0;
}

int GetSystemVolumeSerial(std::uint32_t& serial, std::uint16_t& shortSerial) {
  return ReadSystemVolumeSerial(serial, shortSerial);
}

}  // namespace vrel
