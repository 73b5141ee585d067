// Scratch files of a workbook session: O_TMPFILE where the file system has it,
// else mkstemp and an immediate unlink; either way the file has no name while
// it holds data.
#include "platform/dao/excel/spool.h"

#include "platform/dao/excel/errors.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace plat::dao {

namespace {

constexpr std::size_t buffer_size = std::size_t{1} << 16;

} // namespace

excel_spool::excel_spool(const std::string& folder) : buffer_(new std::uint8_t[buffer_size])
{
  fd_.reset(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (!fd_.valid()) {
    std::string name = folder + "/.qvt_spool_XXXXXX";
    fd_.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd_.valid()) {
      const int error = errno;
      excel_errors::raise_system(error, "Cannot create a scratch file in '" + folder + "'");
    }
    ::unlink(name.c_str());
  }
}

void excel_spool::check() const
{
  if (failed_ != 0)
    excel_errors::raise_system(failed_, "Cannot use a scratch file");
}

void excel_spool::fail(int error, const char* what)
{
  failed_ = error;
  excel_errors::raise_system(error, what);
}

void excel_spool::flush()
{
  if (!write_all(fd_.get(), buffer_.get(), used_))
    fail(errno, "Cannot write a scratch file");
  used_ = 0;
}

void excel_spool::write(const void* data, std::size_t size)
{
  check();
  if (reading_)
    excel_errors::raise(excel_errors::invalid_operation);
  const auto* p = static_cast<const std::uint8_t*>(data);
  size_ += size;
  while (size > 0) {
    if (used_ == buffer_size)
      flush();
    const std::size_t n = std::min(size, buffer_size - used_);
    std::memcpy(buffer_.get() + used_, p, n);
    used_ += n;
    p += n;
    size -= n;
  }
}

void excel_spool::rewind()
{
  check();
  if (!reading_)
    flush();
  reading_ = true;
  used_ = 0;
  offset_ = 0;
  if (::lseek(fd_.get(), 0, SEEK_SET) != 0)
    fail(errno, "Cannot read a scratch file");
}

std::size_t excel_spool::read(void* data, std::size_t size)
{
  check();
  auto* p = static_cast<std::uint8_t*>(data);
  std::size_t given = 0;
  while (given < size) {
    if (offset_ == used_) {
      const ssize_t n = read_some(fd_.get(), buffer_.get(), buffer_size);
      if (n < 0)
        fail(errno, "Cannot read a scratch file");
      if (n == 0)
        break;
      used_ = static_cast<std::size_t>(n);
      offset_ = 0;
    }
    const std::size_t k = std::min(size - given, used_ - offset_);
    std::memcpy(p + given, buffer_.get() + offset_, k);
    offset_ += k;
    given += k;
  }
  return given;
}

void excel_spool::read_at(std::uint64_t offset, void* data, std::size_t size)
{
  check();
  if (reading_ || offset > size_ || size > size_ - offset)
    excel_errors::raise(excel_errors::invalid_operation);
  // The bytes still in the buffer go first; the descriptor's own offset, where
  // the next write lands, is left alone by pread.
  flush();
  std::size_t got = 0;
  if (!pread_all(fd_.get(), data, size, offset, got))
    fail(errno, "Cannot read a scratch file");
  if (got != size)
    fail(EIO, "Cannot read a scratch file");
}

} // namespace plat::dao
