// Runs a command line of the tests' own making (fixed programs, quoted paths
// from the test's folder) through the shell and collects its standard output.
#pragma once

#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace test_support {

// The command's standard output; *status (when given) gets its exit status, or
// -1 when it could not be run or did not exit on its own.
inline std::string command_output(const std::string& command, int* status = nullptr)
{
  std::string out;
  if (status != nullptr)
    *status = -1;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr)
    return out;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    out.append(buffer, n);
  const int rc = ::pclose(pipe);
  if (status != nullptr)
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

} // namespace test_support
