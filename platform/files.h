// The file-system calls the toolkit's path and file tests stand on: the current
// directory, absolute paths, what an entry is and what the effective user may do
// with it. Paths are UTF-8 bytes; none of these raises.
#pragma once

#include <string>
#include <string_view>

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

} // namespace plat
