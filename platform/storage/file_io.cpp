// Positioned whole-buffer I/O: EINTR and short transfers are continued until the
// buffer is done, the end of the file is met (reads) or a real error comes.
#include "platform/storage/file_io.h"

#include "platform/storage/storage.h"

#include <cerrno>
#include <limits>

#include <unistd.h>

namespace plat::storage {

namespace {

bool offset_fits(std::uint64_t offset, std::size_t size)
{
  constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
  return offset <= max && size <= max - offset;
}

} // namespace

int write_all_at(int fd, const void* data, std::size_t size, std::uint64_t offset)
{
  if (!offset_fits(offset, size))
    return EFBIG;
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    if (n == 0)
      return EIO;  // no progress and no reason: do not spin
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return 0;
}

int read_all_at(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t& got)
{
  got = 0;
  if (!offset_fits(offset, size))
    return 0;  // nothing lies that far: the end of the file
  auto* p = static_cast<char*>(data);
  while (got < size) {
    const ssize_t n = ::pread(fd, p + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    if (n == 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  return 0;
}

HRESULT write_failure_code(int error)
{
  return error == ENOSPC || error == EDQUOT || error == EFBIG ? STG_E_MEDIUMFULL
                                                              : STG_E_WRITEFAULT;
}

} // namespace plat::storage
