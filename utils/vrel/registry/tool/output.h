// The tool's results on standard output, and the errors that choose its exit code.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vrel::registry {

// Exit 2: a bad command line.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Exit 3: standard output could not take the results.
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Writes each line and flushes; throws OutputError when any of it failed.
void Print(const std::vector<std::string>& lines);
void Print(const std::string& line);

// Nothing but the C locale's white space.
bool IsBlank(const std::string& line);

}  // namespace vrel::registry
