// Clearing memory that held secrets, in a way the compiler keeps even when
// the memory is not read again. Internal to the library.
#pragma once

#include <cstddef>

namespace vrel {

inline void Wipe(void* data, std::size_t size) {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

}  // namespace vrel
