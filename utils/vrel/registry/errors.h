// The errors of the registry's storage, every backend's alike.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vrel::registry {

class StorageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A writing transaction lost a race with another writer (a key it needed was
// claimed); the backend rolled it back, and running it again may succeed.
class RetryableError : public StorageError {
 public:
  using StorageError::StorageError;
};

// A registry URI that names no backend (a misspelled scheme, say).
class UriError : public StorageError {
 public:
  using StorageError::StorageError;
};

// "machine ID: what", the error every backend gives about one machine.
inline StorageError MachineError(std::int64_t id, const std::string& what) {
  return StorageError("machine " + std::to_string(id) + ": " + what);
}

}  // namespace vrel::registry
