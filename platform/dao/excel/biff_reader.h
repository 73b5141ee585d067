// What a reopened workbook keeps: the sheet list, the BIFF8 shared strings, and
// each sheet's byte range, INDEX records and row count; cells are never loaded.
// Anything that does not parse as a workbook of the expected version is 3274.
#pragma once

#include "platform/dao/excel/biff_records.h"

#include <cstddef>
#include <cstdint>
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
