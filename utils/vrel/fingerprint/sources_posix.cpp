// os-install and board off Windows: the machine-id file and the kernel's copy
// of the SMBIOS system UUID (readable by root only).
#ifndef _WIN32

#include <cerrno>
#include <string>

#include "vrel/fingerprint/component_text.h"
#include "vrel/fingerprint/sources.h"
#include "vrel/platform/platform.h"

namespace vrel::fingerprint {
namespace {

// A file's text, or the reason it cannot be had.
bool ReadFile(const char* path, std::string& text, std::string& reason) {
  char buffer[128];
  std::size_t size = sizeof buffer;
  const int error = platform::Current().ReadSmallFile(path, buffer, &size);
  if (error == 0) text.assign(buffer, size);
  if (error == ENOENT) reason = "not present";
  if (error == EACCES || error == EPERM) reason = "needs root";
  if (error != 0 && reason.empty()) reason = "unreadable (error " + std::to_string(error) + ")";
  return error == 0;
}

}  // namespace

ComponentValue ReadOsInstall() {
  std::string reason;
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::string text;
    reason.clear();
    if (!ReadFile(path, text, reason)) continue;
    const ComponentValue id = Available(InstallIdText(text.data(), text.size()), "malformed");
    if (id.available) return id;
    reason = id.reason;
  }
  return Unavailable(reason);
}

ComponentValue ReadBoard() {
  std::string text;
  std::string reason;
  if (!ReadFile("/sys/class/dmi/id/product_uuid", text, reason)) return Unavailable(reason);
  return Available(UuidText(text.data(), text.size()), "UUID not set");
}

}  // namespace vrel::fingerprint

#endif  // !_WIN32
