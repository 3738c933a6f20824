#include "vrel/registry/tool/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vrel::registry {

bool LineReader::Next(std::string& line, bool& overlong) {
  line.clear();
  overlong = false;
  for (;;) {
    const std::size_t newline = buffer_.find('\n', pos_);
    const std::size_t end = newline == std::string::npos ? buffer_.size() : newline;
    const std::size_t room = maxLine_ + 1 - std::min(line.size(), maxLine_ + 1);
    line.append(buffer_, pos_, std::min(end - pos_, room));
    if (newline != std::string::npos) {
      pos_ = newline + 1;
      break;
    }
    pos_ = buffer_.size();
    if (!Fill()) {
      if (line.empty() && !partial_) return false;
      break;
    }
    partial_ = true;
  }
  partial_ = false;
  overlong = line.size() > maxLine_;
  return true;
}

bool LineReader::Waiting() {
  if (eof_ || buffer_.find('\n', pos_) != std::string::npos) return true;
  pollfd fd{0, POLLIN, 0};
  return poll(&fd, 1, 0) > 0;
}

bool LineReader::Fill() {
  if (eof_) return false;
  buffer_.erase(0, pos_);
  pos_ = 0;
  char block[65536];
  for (;;) {
    const ssize_t n = read(0, block, sizeof block);
    if (n > 0) {
      buffer_.append(block, static_cast<std::size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    eof_ = true;
    return false;
  }
}

}  // namespace vrel::registry
