// A checker program kept running for the length of a test: it reads one request
// a line on its standard input and answers each with lines ending in a line that
// starts with the end marker. One process serves every question a test asks, so
// a test that looks at many elements starts its reader once.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace test_support {

class reader_process {
public:
  // argv[0] is the program's path; the process starts at once.
  explicit reader_process(const std::vector<std::string>& argv);
  ~reader_process();
  reader_process(const reader_process&) = delete;
  reader_process& operator=(const reader_process&) = delete;

  // Sends one request line (no line feed in it) and returns the answer up to the
  // marker line; *status gets the number after the marker, or -1 when the
  // reader is gone.
  std::string ask(const std::string& request, int* status);

  static constexpr const char* end_marker = "@@end ";

private:
  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string pending_;  // read past the last answer
};

} // namespace test_support
