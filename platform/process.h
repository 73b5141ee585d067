// Facts about the running program, the stand-in for GetModuleFileName and
// GetLastError/FormatMessage.
#pragma once

#include <string>
#include <sys/types.h>

namespace plat {

// Absolute path of the running program's file (from /proc/self/exe); empty when
// it cannot be read.
std::string executable_path();

// The calling thread's last system error (errno) and its text.
int last_error();
std::string error_text(int code);

// A file-size limit (ulimit -f) makes a write past it fail with EFBIG, which
// the program reports as the failed write it is, instead of killing the
// process with SIGXFSZ (no report, temporary folders left behind). Children
// inherit the ignored signal.
void take_file_size_limit_as_write_failure() noexcept;

// The process's file-mode creation mask, read without changing it (the kernel
// tells it in /proc/self/status); 022 when it cannot be read.
mode_t process_umask();

} // namespace plat
