// Facts about the running program, the stand-in for GetModuleFileName and
// GetLastError/FormatMessage.
#pragma once

#include <string>

namespace plat {

// Absolute path of the running program's file (from /proc/self/exe); empty when
// it cannot be read.
std::string executable_path();

// The calling thread's last system error (errno) and its text.
int last_error();
std::string error_text(int code);

} // namespace plat
