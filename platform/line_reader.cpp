// The bounded line reader over read(2): a line grows only while it is within its
// bound (plus one byte for a CR that may precede the LF), so a file without line
// ends (/dev/zero, a binary file) costs one buffer, not its size.
#include "platform/line_reader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace plat {

line_reader::line_reader(const std::string& path)
{
  if (path.find('\0') != std::string::npos) {
    error_ = ENOENT;
    return;
  }
  fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd_.valid())
    error_ = errno;
}

bool line_reader::fill()
{
  const ssize_t n = read_some(fd_.get(), buffer_.data(), buffer_.size());
  if (n < 0) {
    error_ = errno;
    return false;
  }
  begin_ = 0;
  end_ = static_cast<std::size_t>(n);
  at_end_ = n == 0;
  return true;
}

line_reader::result line_reader::next(std::string& line, std::size_t max_bytes)
{
  line.clear();
  if (!fd_.valid())
    return result::failed;
  const std::size_t room = max_bytes + 1;  // a CR before the LF is no part of the line
  bool any = false;
  for (;;) {
    if (begin_ == end_) {
      if (!at_end_ && !fill())
        return result::failed;
      if (at_end_) {
        if (!any)
          return result::end;
        break;
      }
    }
    any = true;
    const char* const from = buffer_.data() + begin_;
    const std::size_t available = end_ - begin_;
    const void* found = std::memchr(from, '\n', available);
    const std::size_t take =
        found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - from) : available;
    if (line.size() + take > room)
      return result::too_long;
    line.append(from, take);
    begin_ += take;
    if (found != nullptr) {
      ++begin_;
      break;
    }
  }
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  return line.size() > max_bytes ? result::too_long : result::line;
}

} // namespace plat
