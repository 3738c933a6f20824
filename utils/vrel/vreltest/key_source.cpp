#include "vrel/vreltest/key_source.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace vrel {
namespace {

// Reads at most kMaxKeyFileSize + 1 bytes of `file`; 0 or the errno value.
int ReadAll(std::FILE* file, std::string& bytes) {
  char buffer[4096];
  errno = 0;
  while (bytes.size() <= kMaxKeyFileSize) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (!std::ferror(file)) return 0;
  return errno != 0 ? errno : EIO;
}

bool ReadKeyFile(const std::string& path, std::string& key, std::string& error) {
  const std::string name = path == "-" ? "standard input" : "the key file " + path;
  std::string bytes;
  int status = 0;
  if (path == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);  // the key's bytes as they are, "\r" included
#endif
    status = ReadAll(stdin, bytes);
  } else {
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                                 std::fclose);
    status = file ? ReadAll(file.get(), bytes) : (errno != 0 ? errno : ENOENT);
  }
  if (status != 0) {
    error = "cannot read " + name + ": " + std::strerror(status);
    return false;
  }
  if (bytes.size() > kMaxKeyFileSize) {
    error = name + " is larger than " + std::to_string(kMaxKeyFileSize) + " bytes: not a key";
    return false;
  }
  if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  if (bytes.empty()) {
    error = name + " holds no key";
    return false;
  }
  key = std::move(bytes);
  return true;
}

}  // namespace

bool ResolveKey(const KeyOptions& options, std::string& key, std::string& error) {
  if (options.key && options.keyFile) {
    error = "give the key once: --key or --key-file, not both";
    return false;
  }
  if (options.keyFile) return ReadKeyFile(*options.keyFile, key, error);
  if (options.key) {
    key = *options.key;
  } else if (const char* value = std::getenv(kKeyVariable)) {
    key = value;
  } else {
    error =
        std::string("no key: give --key-file PATH, set ") + kKeyVariable + ", or give --key KEY";
    return false;
  }
  if (key.empty()) {
    error = "the key is empty";
    return false;
  }
  return true;
}

}  // namespace vrel
