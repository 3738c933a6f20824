#include "vrel/cpu/naming_text.h"

#include <cstdio>
#include <cstring>

namespace vrel::naming {

void WorkText::Append(const char* piece) {
  const std::size_t room = kCapacity - 1 - length_;
  std::size_t n = std::strlen(piece);
  if (n > room) n = room;
  std::memcpy(text_ + length_, piece, n);
  length_ += n;
  text_[length_] = '\0';
}

void WorkText::AppendInt(const char* prefix, int value, const char* suffix) {
  char piece[kCapacity];
  std::snprintf(piece, sizeof piece, "%s%i%s", prefix, value, suffix);
  Append(piece);
}

void CopyBounded(char* out, std::size_t size, const char* text) {
  std::size_t n = std::strlen(text);
  if (n > size - 1) n = size - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
}

}  // namespace vrel::naming
