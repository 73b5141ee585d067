// A private scratch file in the destination's folder, unlinked at once: it takes
// room only on the workbook's disk and nothing is left whatever way the process
// ends. A spool that failed once fails every later use, so it never reaches a file.
// Writes append; what was written can be read back sequentially from the start
// (rewind, read) or at any offset (read_at) while writing goes on.
#pragma once

#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat::dao {

class excel_spool {
public:
  // Raises dao_error when the folder takes no new file.
  explicit excel_spool(const std::string& folder);
  excel_spool(const excel_spool&) = delete;
  excel_spool& operator=(const excel_spool&) = delete;

  void write(const void* data, std::size_t size);
  // Bytes written so far.
  std::uint64_t size() const { return size_; }

  // Ends writing and starts reading at byte 0 (again). read fills up to `size`
  // bytes and returns how many it gave, 0 at the end.
  void rewind();
  std::size_t read(void* data, std::size_t size);
  // Fills `data` with the `size` bytes written at `offset`, which must all have
  // been written; writing may go on afterwards.
  void read_at(std::uint64_t offset, void* data, std::size_t size);

private:
  void flush();
  void check() const;
  [[noreturn]] void fail(int error, const char* what);

  unique_fd fd_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0;    // writing: bytes waiting; reading: bytes held
  std::size_t offset_ = 0;  // reading: next byte of the buffer
  std::uint64_t size_ = 0;
  bool reading_ = false;
  int failed_ = 0;  // the system error that broke the spool
};

} // namespace plat::dao
