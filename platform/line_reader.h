// Reads a text file line by line as Windows text mode did (CR LF and LF end a
// line alike) while holding at most one line of a bound the caller chooses: a
// longer line is refused as soon as it passes the bound, never read to its end.
#pragma once

#include "platform/files.h"

#include <array>
#include <cstddef>
#include <string>

namespace plat {

class line_reader {
public:
  enum class result { line, end, too_long, failed };

  // Opens the file (UTF-8 path); is_open() tells, error() says why not.
  explicit line_reader(const std::string& path);
  line_reader(const line_reader&) = delete;
  line_reader& operator=(const line_reader&) = delete;

  bool is_open() const { return fd_.valid(); }
  // The errno of the failed open or read.
  int error() const { return error_; }

  // The next line without its line end. too_long when it holds more than
  // max_bytes bytes (its line end not counted); failed on a read error. After
  // anything but line, the reader stays where it stopped.
  result next(std::string& line, std::size_t max_bytes);

private:
  bool fill();

  unique_fd fd_;
  int error_ = 0;
  std::array<char, 16384> buffer_{};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
};

} // namespace plat
