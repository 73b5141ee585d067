// POSIX forms of the current-directory, path, access and file calls. The
// effective user decides access (AT_EACCESS), as the process's token does
// elsewhere. An interrupted system call is repeated here, never reported.
#include "platform/files.h"

#include "platform/environment.h"

#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plat {

namespace {

// The C calls stop at the first NUL; a path with one inside would name another entry.
bool holds_nul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

// Whether every byte of [offset, offset + size) has an off_t offset.
bool offset_fits(std::uint64_t offset, std::size_t size)
{
  constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
  return offset <= max && size <= max - offset;
}

// Calls write_once(bytes, count, bytes done so far) until every byte is written:
// again after an interruption, on with the rest after a short write.
template <class WriteOnce>
bool write_in_turns(const void* data, std::size_t size, WriteOnce write_once)
{
  const auto* p = static_cast<const char*>(data);
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write_once(p + done, size - done, done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;  // no progress and no reason: do not spin
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

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

bool write_all(int fd, const void* data, std::size_t size)
{
  return write_in_turns(data, size,
                        [fd](const char* p, std::size_t n, std::size_t) { return ::write(fd, p, n); });
}

bool pwrite_all(int fd, const void* data, std::size_t size, std::uint64_t offset)
{
  if (!offset_fits(offset, size)) {
    errno = EFBIG;
    return false;
  }
  return write_in_turns(data, size, [fd, offset](const char* p, std::size_t n, std::size_t done) {
    return ::pwrite(fd, p, n, static_cast<off_t>(offset + done));
  });
}

bool pread_all(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t& got)
{
  got = 0;
  if (!offset_fits(offset, size))
    return true;  // nothing lies that far
  auto* p = static_cast<char*>(data);
  while (got < size) {
    const ssize_t n = ::pread(fd, p + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (n == 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

ssize_t read_some(int fd, void* data, std::size_t size)
{
  ssize_t n;
  do
    n = ::read(fd, data, size);
  while (n < 0 && errno == EINTR);
  return n;
}

bool make_folders(std::string_view path, mode_t mode)
{
  if (holds_nul(path)) {
    errno = EINVAL;
    return false;
  }
  const std::string whole(path);
  // Every prefix that ends before a '/', then the whole path; the root needs no making.
  for (std::size_t slash = whole.find('/', 1);; slash = whole.find('/', slash + 1)) {
    const std::string prefix = whole.substr(0, slash);
    if (::mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST)
      return false;
    if (slash == std::string::npos)
      break;
  }
  struct stat info {};
  if (::stat(whole.c_str(), &info) != 0)
    return false;
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

void unique_fd::reset(int fd) noexcept
{
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = fd;
}

bool unique_fd::close() noexcept
{
  if (fd_ < 0)
    return true;
  // Linux frees the descriptor whatever close(2) says, EINTR included: it is never retried.
  return ::close(release()) == 0;
}

private_temp_folder& private_temp_folder::operator=(private_temp_folder&& other) noexcept
{
  if (this != &other) {
    remove();
    path_ = other.release();
  }
  return *this;
}

bool private_temp_folder::create(std::string_view parent, std::string_view prefix)
{
  remove();
  std::string name(parent);
  if (!name.empty() && name.back() != '/')
    name += '/';
  name += prefix;
  name += "XXXXXX";
  if (holds_nul(name)) {
    errno = EINVAL;
    return false;
  }
  // mkdtemp asks for mode 0700: only the owner may enter the folder.
  if (::mkdtemp(name.data()) == nullptr)
    return false;
  path_ = std::move(name);
  return true;
}

void private_temp_folder::remove() noexcept
{
  if (path_.empty())
    return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  path_.clear();
}

std::string private_temp_folder::release() noexcept
{
  std::string path = std::move(path_);
  path_.clear();
  return path;
}

} // namespace plat
