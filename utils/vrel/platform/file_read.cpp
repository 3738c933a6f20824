// Reads a small file whole through the C library: the same on every target.
#include <cerrno>
#include <cstdio>
#include <memory>

#include "vrel/platform/identity_sources.h"

namespace vrel::platform {

int ReadSmallFile(const char* path, char* buffer, std::size_t* size) {
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
  if (!file) return errno;  // fopen sets it
  *size = std::fread(buffer, 1, *size, file.get());
  if (!std::ferror(file.get())) return 0;
  return errno != 0 ? errno : EIO;
}

}  // namespace vrel::platform
