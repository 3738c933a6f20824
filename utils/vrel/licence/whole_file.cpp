#include "vrel/licence/whole_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace vrel {

bool WriteFileWhole(const std::string& path, std::string_view text) {
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);  // replaces the old file on Windows too
  if (!error) return true;
  std::filesystem::remove(temporary, error);
  return false;
}

}  // namespace vrel
