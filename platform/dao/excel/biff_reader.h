// What a reopened workbook keeps: the sheet list, the BIFF8 shared strings, and
// each sheet's byte range, INDEX records and row count; cells are never loaded.
// Anything that does not parse as a workbook of the expected version is 3274.
// The record cursor beneath it is shared with whatever else walks a stream.
#pragma once

#include "platform/dao/excel/biff_records.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace plat::dao::biff {

class sst_table;

// Where the bytes of an existing stream come from.
class byte_source {
public:
  // Up to `size` bytes from `position`; fewer only at the end of the stream.
  virtual std::size_t read_at(std::uint64_t position, void* data, std::size_t size) = 0;

protected:
  ~byte_source() = default;
};

// One record of a stream: where its header starts, its number and its body.
struct record_view {
  std::uint64_t position = 0;
  std::uint16_t type = 0;
  std::span<const std::uint8_t> body;
  std::uint64_t data() const { return position + 4; }
  std::uint64_t next() const { return position + 4 + body.size(); }
};

// Walks a stream record by record, each read whole into one buffer that every
// record reuses. A record the stream does not hold whole is reported, never
// raised, so that each caller names the fault in its own terms.
class record_cursor {
public:
  enum class status {
    ok,
    end,         // the stream ends where the record would start
    header_cut,  // the stream ends inside the record's four-byte header
    body_cut,    // the stream ends inside the record's body
  };

  record_cursor(byte_source& source, std::uint64_t position) : source_(source), next_(position) {}

  // Reads the record at the cursor; when it is whole, the cursor moves past it.
  status next();
  // Reads the record at `position` and goes on from there.
  status next_at(std::uint64_t position)
  {
    next_ = position;
    return next();
  }
  // The record last read: its body only after `ok`, its position after any
  // status (where the faulty record starts).
  const record_view& record() const { return record_; }

private:
  byte_source& source_;
  std::uint64_t next_;
  record_view record_;
  std::vector<std::uint8_t> buffer_;
};

struct old_sheet {
  std::wstring name;
  std::uint16_t options = 0;
  std::uint64_t start = 0, end = 0;  // BOF to past its EOF
  std::vector<std::uint64_t> index_records;  // positions of INDEX records
  std::uint32_t data_rows = 0;
};

// Reads the globals and every sheet's extent; old strings go to `sst` (BIFF8).
std::vector<old_sheet> read_workbook(byte_source& source, bool biff8, sst_table* sst);

// Copies a sheet's bytes to `out`, its INDEX positions moved by `delta`.
void copy_sheet(byte_source& source, const old_sheet& sheet, std::int64_t delta, bool biff8,
                byte_sink& out);

} // namespace plat::dao::biff
