#include "platform/process.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace plat {

std::string executable_path()
{
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0)
      return {};
    if (static_cast<std::size_t>(n) < buffer.size())
      return std::string(buffer.data(), static_cast<std::size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

int last_error() { return errno; }

std::string error_text(int code)
{
  return std::generic_category().message(code);
}

} // namespace plat
