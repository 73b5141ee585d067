#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
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

void take_file_size_limit_as_write_failure() noexcept
{
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

mode_t process_umask()
{
  // umask(2) can only be read by setting it, which would race with any other
  // thread creating a file meanwhile.
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) != 0)
      continue;
    mode_t mask = 0;
    for (const char c : line.substr(6)) {
      if (c >= '0' && c <= '7')
        mask = static_cast<mode_t>(mask * 8 + static_cast<mode_t>(c - '0'));
    }
    return mask & 0777;
  }
  return 022;
}

} // namespace plat
