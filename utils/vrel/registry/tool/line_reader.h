// Lines of standard input, read in blocks, for the tool's batches: each line
// bounded, and whether more is waiting right now.
#pragma once

#include <cstddef>
#include <string>

namespace vrel::registry {

class LineReader {
 public:
  explicit LineReader(std::size_t maxLine) : maxLine_(maxLine) {}
  // False at the end. `overlong` when the line passed maxLine (its start is kept).
  bool Next(std::string& line, bool& overlong);
  // A whole line is buffered, or the input has more (or its end) ready now.
  bool Waiting();

 private:
  bool Fill();
  std::size_t maxLine_;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  bool partial_ = false;
};

}  // namespace vrel::registry
