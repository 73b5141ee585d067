// An open compound file for the storage objects: its descriptor and lock, and
// the allocation tables, checked at open. Every sector a stream maps to has been
// checked to lie in the file and to belong to a chain without cycles, so no
// read or write through a stream_map can land outside it.
#pragma once

#include "platform/files.h"
#include "platform/oleaut/hresult.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat::storage {

// Where a stream's bytes lie: its sectors in order, regular ones or mini
// sectors of the mini stream.
struct stream_map {
  std::uint64_t size = 0;
  bool mini = false;
  std::vector<std::uint32_t> sectors;
};

class compound_file {
public:
  // The descriptor is adopted (closed with the object, which drops its lock).
  // On failure `out` stays empty and the result says why.
  static HRESULT open(unique_fd fd, std::shared_ptr<compound_file>& out);
  ~compound_file();
  compound_file(const compound_file&) = delete;
  compound_file& operator=(const compound_file&) = delete;

  // A stream of the root storage, its name compared without case.
  // STG_E_FILENOTFOUND when there is none, STG_E_DOCFILECORRUPT when the
  // directory or the stream's chain is damaged.
  HRESULT find_stream(std::wstring_view name, stream_map& out) const;

  // `size` bytes of the stream from `position`, which the caller keeps within
  // the stream; `done` counts the bytes moved, also on failure.
  HRESULT read(const stream_map& stream, std::uint64_t position, void* data, std::size_t size,
               std::size_t& done) const;
  HRESULT write(const stream_map& stream, std::uint64_t position, const void* data, std::size_t size,
                std::size_t& done);

private:
  explicit compound_file(unique_fd fd) : fd_(std::move(fd)) {}

  void parse();
  std::vector<std::uint32_t> chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                   std::uint64_t limit, std::uint64_t needed) const;
  void read_sector(std::uint32_t sector, unsigned char* out) const;
  std::uint64_t sector_offset(std::uint32_t sector) const
  {
    return (std::uint64_t{sector} + 1) * sector_size_;
  }
  // The file offset of a stream position and the bytes that follow it there.
  std::uint64_t locate(const stream_map& stream, std::uint64_t position, std::size_t want,
                       std::size_t& run) const;

  unique_fd fd_;
  bool written_ = false;
  std::uint32_t sector_size_ = 512;
  bool version4_ = false;
  std::uint64_t sector_count_ = 0;  // sectors after the header, a last partial one included
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<std::uint32_t> mini_stream_;  // the root entry's sectors
  std::uint64_t mini_sector_count_ = 0;
  std::vector<unsigned char> directory_;
};

} // namespace plat::storage
