// Positioned reads and writes of whole buffers, for the compound-file reader and
// writer: an interrupted or short system call is continued, never reported, so a
// failure is always a real one with its errno.
#pragma once

#include "platform/oleaut/hresult.h"

#include <cstddef>
#include <cstdint>

namespace plat::storage {

// Writes all `size` bytes at `offset`; 0, or the errno of the failure.
int write_all_at(int fd, const void* data, std::size_t size, std::uint64_t offset);

// Reads up to `size` bytes at `offset` into `data`; `got` is less than `size`
// only at the end of the file. 0, or the errno of the failure.
int read_all_at(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t& got);

// The result code for a failed write: a full disk or quota (or a file-size
// limit) as STG_E_MEDIUMFULL, anything else as STG_E_WRITEFAULT.
HRESULT write_failure_code(int error);

} // namespace plat::storage
