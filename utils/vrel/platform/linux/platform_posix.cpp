// The real platform off Windows: the Windows kernel calls answered from the
// POSIX host, COM and WMI from the stand-in of com_posix.cpp.
#ifndef _WIN32

#include <strings.h>
#include <sys/statvfs.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "vrel/platform/platform.h"
#include "vrel/platform/processor.h"

namespace vrel::platform {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// A Windows process always sees SYSTEMROOT; where the host has none, answer
// the usual Windows directory so that the volume step finds drive C.
constexpr char kDefaultSystemRoot[] = "C:\\WINDOWS";

DWORD GetEnvironmentVariableAPosix(const char* name, char* buffer, DWORD size) {
  const char* value = std::getenv(name);
  if (value == nullptr && strcasecmp(name, "SYSTEMROOT") == 0) value = kDefaultSystemRoot;
  if (value == nullptr) {
    lastError = ERROR_ENVVAR_NOT_FOUND;
    return 0;
  }
  const std::size_t length = std::strlen(value);
  if (length >= size) {
    // Too small: report the size needed, terminator included, copy nothing.
    return static_cast<DWORD>(length + 1);
  }
  std::memcpy(buffer, value, length + 1);
  return static_cast<DWORD>(length);
}

// Drive C is the file system mounted at "/"; its serial number is the low
// 32 bits of that file system's id. Any other root fails as on Windows.
BOOL GetVolumeInformationAPosix(const char* root, char* volumeName, DWORD,
                                DWORD* serial, DWORD* maxComponentLength, DWORD* flags,
                                char* fsName, DWORD) {
  if (strcasecmp(root, "C:\\") != 0) {
    lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  struct statvfs info {};
  if (statvfs("/", &info) != 0) {
    lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  *serial = static_cast<DWORD>(info.f_fsid & 0xFFFFFFFFu);
  *maxComponentLength = static_cast<DWORD>(info.f_namemax);
  *flags = 0;
  volumeName[0] = '\0';  // no label, no file system name
  fsName[0] = '\0';
  return TRUE;
}

DWORD GetLastErrorPosix() { return lastError; }

// Windows 10.0: major version in the low byte, minor in the next.
DWORD GetVersionPosix() { return 10; }

void SleepPosix(DWORD milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  // Only a signal can cut it short (EINTR); then sleep what remains.
  while (nanosleep(&remaining, &remaining) != 0) {
  }
}

}  // namespace

const Api& Real() {
  static const Api api = {
      GetEnvironmentVariableAPosix,
      GetVolumeInformationAPosix,
      GetLastErrorPosix,
      GetVersionPosix,
      SleepPosix,
      ExecuteCpuid,
      ToggleEflagsId,
      ReadTsc,
      ::CoInitializeEx,
      ::CoInitializeSecurity,
      ::CoCreateInstance,
      ::CoSetProxyBlanket,
      ::CoUninitialize,
      QueryMachineRegistryValue,
      ReadSystemFirmwareTable,
      ReadSmallFile,
      ListNetInterfaces,
      ProcessIsElevated,
      CurrentProcessIsWow64,
  };
  return api;
}

}  // namespace vrel::platform

#endif  // !_WIN32
