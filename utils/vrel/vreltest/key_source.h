// Where vreltest takes the application's key from: --key, --key-file (a file,
// or "-" for standard input) or the environment variable VREL_FINGERPRINT_KEY,
// used only when neither option is given. A key on the command line is seen by
// every user of the machine (the process list); a file or the variable is not.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace vrel {

constexpr char kKeyVariable[] = "VREL_FINGERPRINT_KEY";
// A key file larger than this is refused: keys are short secrets.
constexpr std::size_t kMaxKeyFileSize = 64 * 1024;

struct KeyOptions {
  std::optional<std::string> key;      // --key
  std::optional<std::string> keyFile;  // --key-file
};

// The key, or a one-line message saying why there is none: both options given,
// a file that cannot be read, is too large or is empty, an empty key, no key at
// all. A file's bytes are the key, one trailing "\n" or "\r\n" dropped, so a
// file written on either system gives the same key.
bool ResolveKey(const KeyOptions& options, std::string& key, std::string& error);

}  // namespace vrel
