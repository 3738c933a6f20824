// Writing a file so that a reader never sees half of it: the text goes to a
// new file beside it, which is then renamed over the old one. Internal to
// the licence libraries (the state file, a licence file fetched at activation).
#pragma once

#include <string>
#include <string_view>

namespace vrel {

// False when the text cannot be written whole; the old file is then left as it was.
bool WriteFileWhole(const std::string& path, std::string_view text);

}  // namespace vrel
