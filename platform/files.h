// The file-system calls the rest of the tree stands on: the current directory,
// absolute paths, what an entry is and what the effective user may do with it,
// whole-buffer reads and writes, folders, owned descriptors and private
// temporary folders. Paths are UTF-8 bytes; none of these raises, a failure is
// a false result with errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace plat {

// Longest path, terminator included, that the system accepts.
inline constexpr std::size_t max_path_bytes = 4096;

// The current directory; false (errno set) when it cannot be read.
bool current_dir(std::string& out);
// Changes the process's current directory; false (errno set) on failure.
bool change_dir(const std::string& folder);

// The absolute, lexically normal form of the path, relative to the current
// directory; no link is resolved and the entry need not exist. False when the
// current directory cannot be read or the path holds a NUL byte.
bool absolute_path(std::string_view path, std::string& out);

struct path_status {
  bool exists = false;
  bool folder = false;
  // No write bit in the mode, or the effective user may not write it: a 0444
  // file counts as read-only for root too.
  bool read_only = false;
};
// What the path names, links followed. A path holding a NUL byte names nothing.
path_status query_path(std::string_view path);

// Whether the effective user may read, write or run/enter the entry (every asked
// kind at once). Writing into a folder needs entering it as well.
bool has_access(std::string_view path, bool read, bool write, bool execute);

// A per-user base folder by the XDG rules: the variable's value when it is an
// absolute path, else the fallback under the home folder ($HOME, else the
// password entry); empty when there is no home. xdg_base_folder("XDG_CACHE_HOME",
// ".cache") gives the cache folder.
std::string xdg_base_folder(const char* variable, const char* fallback_under_home);

// Writes all `size` bytes: an interrupted or short write is continued, so a false
// result (errno set) is always a real failure. A write that moves nothing and
// reports nothing fails with EIO rather than spinning.
bool write_all(int fd, const void* data, std::size_t size);
inline bool write_all(int fd, std::string_view bytes) { return write_all(fd, bytes.data(), bytes.size()); }

// The same at a file offset, the descriptor's own offset untouched; EFBIG when
// the range reaches past the largest offset the system takes.
bool pwrite_all(int fd, const void* data, std::size_t size, std::uint64_t offset);

// Reads up to `size` bytes at `offset`; `got` falls short of `size` only at the
// end of the file (a range past the largest offset reads as the end). False
// (errno set) on a failure, with `got` counting what was read before it.
bool pread_all(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t& got);

// One read(2), repeated while a signal interrupts it: the bytes read, 0 at the
// end, -1 with errno set.
ssize_t read_some(int fd, void* data, std::size_t size);

// Creates every missing folder of the path with the given mode (less the umask);
// folders that exist already are left as they are. True when the path names a
// folder in the end (through links too); false with errno set otherwise,
// ENOTDIR when something else stands where a folder should be.
bool make_folders(std::string_view path, mode_t mode);

// Owns one file descriptor and closes it when dropped. close() is the way to
// learn the outcome: the destructor and reset() drop it.
class unique_fd {
public:
  unique_fd() noexcept = default;
  explicit unique_fd(int fd) noexcept : fd_(fd) {}
  ~unique_fd() { reset(); }
  unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
  unique_fd& operator=(unique_fd&& other) noexcept
  {
    if (this != &other)
      reset(other.release());
    return *this;
  }

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  // Hands the descriptor over: the holder is empty afterwards.
  int release() noexcept
  {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held, if any, and holds `fd` instead.
  void reset(int fd = -1) noexcept;
  // Closes the descriptor now. False (errno set) when close(2) reported a
  // failure, which may be a write that never reached the disk; the descriptor
  // is gone either way. True when nothing was held.
  bool close() noexcept;

private:
  int fd_ = -1;
};

// A private folder: a fresh, unique name of mode 0700, so no other user can
// enter it or plant entries in it. It is removed with everything in it when its
// holder lets go of it, unless released first. Removal never follows a link: a
// link inside is removed itself, not what it names. A folder made with `locked`
// is held under an exclusive lock (flock) for as long as it is held, so that
// remove_abandoned can tell it from the folder of a holder that is gone.
class private_temp_folder {
public:
  private_temp_folder() noexcept = default;
  ~private_temp_folder() { remove(); }
  private_temp_folder(private_temp_folder&& other) noexcept
      : path_(other.path_), lock_(std::move(other.lock_))
  {
    other.path_.clear();
  }
  private_temp_folder& operator=(private_temp_folder&& other) noexcept;
  private_temp_folder(const private_temp_folder&) = delete;
  private_temp_folder& operator=(const private_temp_folder&) = delete;

  // Makes the folder <parent>/<prefix><six unique characters> (no '/' is added
  // after a parent that ends in one; an empty parent is the current folder). A
  // folder held before is removed first. False (errno set) when it cannot be made.
  bool create(std::string_view parent, std::string_view prefix, bool locked = false);

  // The folder's path; empty while none is held.
  const std::string& path() const noexcept { return path_; }
  bool empty() const noexcept { return path_.empty(); }

  // Removes the folder and its contents now (also at the descriptor limit)
  // and gives it up either way. False (errno set) when some of it stays
  // behind, which the caller reports; true when no folder is held.
  bool remove() noexcept;
  // Keeps the folder on disk and gives up holding it (and its lock): its path
  // is returned.
  std::string release() noexcept;

  // Removes the folders <parent>/<prefix>* of the effective user that were made
  // locked and whose holder is gone (a process killed or crashed): only a folder
  // whose lock can be taken goes, so one still in use never does. A file
  // system without locks keeps them all.
  static void remove_abandoned(std::string_view parent, std::string_view prefix) noexcept;

private:
  std::string path_;
  unique_fd lock_;
};

// Gives `file` the permission bits of `replaced`, the file it is about to
// replace, and its group where the effective user may set it; with no file at
// `replaced`, the mode a new file gets (0666 less the process's umask). False
// (errno set) when the mode cannot be set; a group that cannot be set is kept.
bool take_mode_of_replaced(const std::string& file, const std::string& replaced);

// Whether a rename may put a file at `target`, as far as can be told without
// trying: nothing is there, or an entry the effective user may replace. A
// folder is in the way (EISDIR), and in a sticky folder (/tmp) only the owner
// of the entry or of the folder may replace it (EPERM). False with errno set.
bool may_replace_with_file(const std::string& target);

} // namespace plat
