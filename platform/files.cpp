// POSIX forms of the current-directory, path and access calls. The effective
// user decides access (AT_EACCESS), as the process's token does elsewhere.
#include "platform/files.h"

#include "platform/environment.h"

#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plat {

namespace {

// The C calls stop at the first NUL; a path with one inside would name another entry.
bool holds_nul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

} // namespace

bool current_dir(std::string& out)
{
  std::vector<char> buffer(max_path_bytes);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      out.assign(buffer.data());
      return true;
    }
    if (errno != ERANGE)
      return false;
    buffer.resize(buffer.size() * 2);
  }
}

bool change_dir(const std::string& folder)
{
  if (holds_nul(folder)) {
    errno = EINVAL;
    return false;
  }
  return ::chdir(folder.c_str()) == 0;
}

bool absolute_path(std::string_view path, std::string& out)
{
  if (holds_nul(path)) {
    errno = EINVAL;
    return false;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
  if (error) {
    errno = error.value();
    return false;
  }
  out = absolute.lexically_normal().string();
  return true;
}

path_status query_path(std::string_view path)
{
  path_status status;
  if (holds_nul(path))
    return status;
  const std::string name(path);
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0)
    return status;
  status.exists = true;
  status.folder = S_ISDIR(info.st_mode);
  status.read_only = (info.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) != 0;
  return status;
}

bool has_access(std::string_view path, bool read, bool write, bool execute)
{
  if (holds_nul(path))
    return false;
  const std::string name(path);
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0)
    return false;
  int mode = 0;
  if (read)
    mode |= R_OK;
  if (write)
    mode |= W_OK;
  if (execute || (write && S_ISDIR(info.st_mode)))
    mode |= X_OK;
  return ::faccessat(AT_FDCWD, name.c_str(), mode == 0 ? F_OK : mode, AT_EACCESS) == 0;
}

std::string xdg_base_folder(const char* variable, const char* fallback_under_home)
{
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/')
    return value;
  const std::string home = home_folder();
  return home.empty() ? std::string() : home + "/" + fallback_under_home;
}

} // namespace plat
