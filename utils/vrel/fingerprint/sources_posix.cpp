// os-install and board off Windows: the machine-id file and the kernel's copy
// of the SMBIOS system UUID (readable by root only); the container's marker
// files.
#ifndef _WIN32

#include <cerrno>
#include <string>

#include "vrel/fingerprint/component_text.h"
#include "vrel/fingerprint/sources.h"
#include "vrel/platform/platform.h"

namespace vrel::fingerprint {
namespace {

// A file's text (its first 4 KiB), or the reason it cannot be had.
bool ReadFile(const char* path, std::string& text, std::string& reason) {
  char buffer[4096];
  std::size_t size = sizeof buffer;
  const int error = platform::Current().ReadSmallFile(path, buffer, &size);
  if (error == 0) text.assign(buffer, size);
  if (error == ENOENT) reason = "not present";
  if (error == EACCES || error == EPERM) reason = "needs root";
  if (error != 0 && reason.empty()) reason = "unreadable (error " + std::to_string(error) + ")";
  return error == 0;
}

}  // namespace

// machine-id, else its older copy: the first file's reason stands unless that
// file is not there.
ComponentValue ReadOsInstall() {
  std::string reason;
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::string text;
    std::string why;
    if (ReadFile(path, text, why)) {
      const ComponentValue id = InstallIdComponent(text.data(), text.size());
      if (id.available) return id;
      why = id.reason;
    }
    if (reason.empty() || reason == "not present") reason = why;
  }
  return Unavailable(reason);
}

ComponentValue ReadBoard() {
  std::string text;
  std::string reason;
  if (!ReadFile("/sys/class/dmi/id/product_uuid", text, reason)) return Unavailable(reason);
  return UuidComponent(text.data(), text.size());
}

std::string ReadContainer() {
  // A marker file counts when it is there, readable or not.
  const auto exists = [](const char* path) {
    char byte;
    std::size_t size = 0;
    const int error = platform::Current().ReadSmallFile(path, &byte, &size);
    return error != ENOENT && error != ENOTDIR;
  };
  ContainerMarkers markers;
  markers.dockerEnv = exists("/.dockerenv");
  markers.containerEnv = exists("/run/.containerenv");
  std::string reason;
  ReadFile("/run/systemd/container", markers.managerName, reason);
  ReadFile("/proc/1/cgroup", markers.initCgroups, reason);
  ReadFile("/proc/sys/kernel/osrelease", markers.kernelRelease, reason);
  return ContainerKind(markers);
}

}  // namespace vrel::fingerprint

#endif  // !_WIN32
