// POSIX forms of the current-directory, path, access and file calls. The
// effective user decides access (AT_EACCESS), as the process's token does
// elsewhere. An interrupted system call is repeated here, never reported.
#include "platform/files.h"

#include "platform/environment.h"
#include "platform/process.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <new>
#include <string_view>
#include <stdlib.h>
#include <sys/file.h>
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
    path_ = other.path_;
    other.path_.clear();
    lock_ = std::move(other.lock_);
  }
  return *this;
}

namespace {

// Takes the folder's lock without waiting; false when another process holds
// it or the file system has no locks. The descriptor is held by `lock`.
bool lock_folder(const std::string& path, unique_fd& lock)
{
  lock.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!lock.valid())
    return false;
  while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) {
      lock.reset();
      return false;
    }
  }
  return true;
}

} // namespace

bool private_temp_folder::create(std::string_view parent, std::string_view prefix, bool locked)
{
  remove();
  std::string pattern(parent);
  if (!pattern.empty() && pattern.back() != '/')
    pattern += '/';
  pattern += prefix;
  pattern += "XXXXXX";
  if (holds_nul(pattern)) {
    errno = EINVAL;
    return false;
  }
  // A folder that a sweep of abandoned folders locked and removed between its
  // making and its locking here is made again under another name.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = pattern;
    // mkdtemp asks for mode 0700: only the owner may enter the folder.
    if (::mkdtemp(name.data()) == nullptr)
      return false;
    if (!locked) {
      path_ = std::move(name);
      return true;
    }
    unique_fd lock;
    struct stat info {};
    if (lock_folder(name, lock)) {
      if (::fstat(lock.get(), &info) == 0 && info.st_nlink > 0) {
        path_ = std::move(name);
        lock_ = std::move(lock);
        return true;
      }
      continue;  // removed by a sweep: the name is free again
    }
    // A sweep holds it (and removes it) or has removed it already.
    if (errno == EWOULDBLOCK || errno == ENOENT)
      continue;
    // At the descriptor limit: a folder made now could not even be removed
    // (reading it takes a descriptor), so it is not made.
    if (errno == EMFILE || errno == ENFILE) {
      const int cause = errno;
      ::rmdir(name.c_str());
      errno = cause;
      return false;
    }
    // No locks on this file system: the folder is kept unlocked, and no sweep
    // can ever take it for abandoned.
    path_ = std::move(name);
    return true;
  }
  errno = EEXIST;
  return false;
}

namespace {

// Removes a folder tree holding one descriptor at a time: a folder is read
// whole and closed before its subfolders are entered, so that the removal
// works for a process at its descriptor limit. 0 or the first errno.
int remove_tree(const std::string& path)
{
  std::vector<std::string> names;
  {
    // A link in the folder's place goes itself; what it names is never entered.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0 && (errno == ENOTDIR || errno == ELOOP))
      return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
    if (descriptor < 0)
      return errno == ENOENT ? 0 : errno;
    DIR* const folder = ::fdopendir(descriptor);
    if (folder == nullptr) {
      const int cause = errno;
      ::close(descriptor);
      return cause;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
      const std::string_view name(entry->d_name);
      if (name != "." && name != "..")
        names.emplace_back(name);
      errno = 0;
    }
    const int read_error = errno;
    ::closedir(folder);
    if (read_error != 0)
      return read_error;
  }
  int first = 0;
  for (const std::string& name : names) {
    const std::string inner = path + "/" + name;
    struct stat info {};
    int error = 0;
    if (::lstat(inner.c_str(), &info) != 0)
      error = errno == ENOENT ? 0 : errno;
    else if (S_ISDIR(info.st_mode))
      error = remove_tree(inner);
    else if (::unlink(inner.c_str()) != 0 && errno != ENOENT)
      error = errno;
    if (first == 0)
      first = error;
  }
  if (::rmdir(path.c_str()) != 0 && errno != ENOENT && first == 0)
    first = errno;
  return first;
}

} // namespace

bool private_temp_folder::remove() noexcept
{
  if (path_.empty())
    return true;
  int error = 0;
  try {
    error = remove_tree(path_);
    // At the descriptor limit the lock's own descriptor is the one to spare.
    if ((error == EMFILE || error == ENFILE) && lock_.valid()) {
      lock_.reset();
      error = remove_tree(path_);
    }
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  path_.clear();
  lock_.reset();
  errno = error;
  return error == 0;
}

std::string private_temp_folder::release() noexcept
{
  std::string path = std::move(path_);
  path_.clear();
  lock_.reset();
  return path;
}

void private_temp_folder::remove_abandoned(std::string_view parent, std::string_view prefix) noexcept
{
  if (holds_nul(parent) || holds_nul(prefix) || prefix.empty())
    return;
  const std::string folder = parent.empty() ? std::string(".") : std::string(parent);
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error)
    return;
  const uid_t me = ::geteuid();
  // Advanced with an error code: the folder may change while it is read.
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::filesystem::directory_entry& entry = *entries;
    const std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    const std::string path = entry.path().string();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != me)
      continue;
    // The lock is held while the folder goes, so a maker that locks it only
    // afterwards finds it gone and makes another.
    unique_fd lock;
    if (!lock_folder(path, lock))
      continue;
    // What cannot be removed now is left to a later sweep.
    remove_tree(path);
  }
}

bool take_mode_of_replaced(const std::string& file, const std::string& replaced)
{
  if (holds_nul(file) || holds_nul(replaced)) {
    errno = EINVAL;
    return false;
  }
  struct stat old {};
  if (::stat(replaced.c_str(), &old) != 0) {
    if (errno != ENOENT)
      return false;
    return ::chmod(file.c_str(), 0666 & ~process_umask()) == 0;
  }
  // The group first: changing it may clear the set-group bit the mode then sets.
  if (::chown(file.c_str(), static_cast<uid_t>(-1), old.st_gid) != 0 && errno != EPERM)
    return false;
  return ::chmod(file.c_str(), old.st_mode & 07777) == 0;
}

bool may_replace_with_file(const std::string& target)
{
  if (holds_nul(target)) {
    errno = EINVAL;
    return false;
  }
  struct stat entry {};
  if (::lstat(target.c_str(), &entry) != 0)
    return errno == ENOENT;
  if (S_ISDIR(entry.st_mode)) {
    errno = EISDIR;
    return false;
  }
  const std::string folder = std::filesystem::path(target).parent_path().string();
  struct stat parent {};
  if (::stat(folder.empty() ? "." : folder.c_str(), &parent) != 0)
    return false;
  const uid_t me = ::geteuid();
  // Root's CAP_FOWNER passes the sticky rule; a rename that still fails is
  // the caller's to undo.
  if ((parent.st_mode & S_ISVTX) != 0 && me != 0 && entry.st_uid != me && parent.st_uid != me) {
    errno = EPERM;
    return false;
  }
  return true;
}

} // namespace plat
