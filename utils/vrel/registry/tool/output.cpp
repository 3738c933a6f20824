#include "vrel/registry/tool/output.h"

#include <algorithm>
#include <cstdio>

#include "vrel/base/white_space.h"

namespace vrel::registry {

void Print(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (std::fputs(line.c_str(), stdout) < 0 || std::fputc('\n', stdout) == EOF) break;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw OutputError("cannot write the results");
}

void Print(const std::string& line) { Print(std::vector<std::string>(1, line)); }

bool IsBlank(const std::string& line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return IsCLocaleSpace(c); });
}

}  // namespace vrel::registry
