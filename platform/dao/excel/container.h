// The compound file around a workbook stream ("Book" for BIFF5, "Workbook" for
// BIFF8): reading the stream of an existing file, writing a new file with that
// one stream, and opening the stream of a written file for changes in place.
// Storage failures of the driver's own reads and writes come out as DAO errors.
#pragma once

#include "platform/dao/excel/biff_reader.h"
#include "platform/dao/excel/biff_records.h"

#include "platform/storage/storage.h"

#include <cstdint>
#include <memory>
#include <string>

namespace plat::dao {

// The workbook stream of an existing file, read through a window so that a
// record walk costs few storage reads.
class container_reader final : public biff::byte_source {
public:
  // Raises 3274 when the file is no compound file or lacks the stream.
  container_reader(const std::string& path, bool biff8);
  ~container_reader();
  container_reader(const container_reader&) = delete;
  container_reader& operator=(const container_reader&) = delete;

  std::size_t read_at(std::uint64_t position, void* data, std::size_t size) override;

private:
  class impl;
  std::unique_ptr<impl> impl_;
};

// A new compound file on `fd` (borrowed) holding the workbook stream; bytes are
// gathered into large writes.
class container_writer final : public biff::byte_sink {
public:
  container_writer(int fd, bool biff8);
  ~container_writer();
  container_writer(const container_writer&) = delete;
  container_writer& operator=(const container_writer&) = delete;

  void write(const void* data, std::size_t size) override;
  std::uint64_t position() const { return position_; }
  // Completes the file and flushes it to its disk.
  void finish();

private:
  class impl;
  std::unique_ptr<impl> impl_;
  std::uint64_t position_ = 0;
};

// The workbook stream of the file at `path` ("Book", else "Workbook") opened
// for reading and writing in place, with the file held exclusively until the
// holder goes: the way in for what restyles a written workbook.
class workbook_stream_file {
public:
  enum class state { open, not_a_compound_file, no_workbook_stream };

  explicit workbook_stream_file(const std::wstring& path);
  ~workbook_stream_file();
  workbook_stream_file(const workbook_stream_file&) = delete;
  workbook_stream_file& operator=(const workbook_stream_file&) = delete;

  state status() const { return state_; }
  // Null unless the state is open.
  IStream* stream() const { return stream_; }

private:
  state state_ = state::not_a_compound_file;
  IStorage* storage_ = nullptr;
  IStream* stream_ = nullptr;
};

} // namespace plat::dao
