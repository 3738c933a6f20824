// Bounded text assembly for the CPU namers: a fixed working buffer that
// formatted pieces are appended to, and a copy into a caller's buffer of known
// size. Nothing here ever writes past a buffer's end; text that would not fit
// is cut (the caller's sizes are chosen so that it never is).
#pragma once

#include <cstddef>

namespace vrel::naming {

class WorkText {
 public:
  WorkText() { text_[0] = '\0'; }

  // Appends `piece`, or as much of it as fits.
  void Append(const char* piece);

  // Appends prefix, the decimal value and suffix ("%s%i%s").
  void AppendInt(const char* prefix, int value, const char* suffix = "");

  const char* c_str() const { return text_; }

 private:
  static constexpr std::size_t kCapacity = 200;  // characters, NUL included
  char text_[kCapacity];
  std::size_t length_ = 0;
};

// Copies `text` and its NUL into out, cut to size - 1 characters. Bytes of out
// after the NUL are left alone. size must be at least 1.
void CopyBounded(char* out, std::size_t size, const char* text);

}  // namespace vrel::naming
