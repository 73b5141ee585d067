// One new worksheet's substream. Each block of 32 rows (ROW records, cells,
// DBCELL) spools to the workbook's scratch file once the next block starts, so
// one block at most is in memory (a parked sheet holds its unfinished one at
// its size only); BOF, INDEX and DIMENSIONS are written when the place is
// known. Sheets share the scratch file: each keeps where its own blocks lie in it.
#pragma once

#include "platform/dao/excel/biff_records.h"
#include "platform/dao/excel/spool.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plat::dao::biff {

class sheet_writer {
public:
  // `spool` is borrowed: it must outlive the writer.
  sheet_writer(bool biff8, excel_spool& spool);

  // A column wider than the default, in characters (the header's length).
  void column_width(std::uint16_t column, std::size_t characters);

  // Rows come in ascending order; cells of a row in ascending columns.
  void begin_row(std::uint32_t row);
  void number(std::uint16_t column, std::uint16_t xf, double value);
  void boolean(std::uint16_t column, bool value);
  // BIFF8: a cell pointing at a shared string.
  void shared_label(std::uint16_t column, std::uint16_t xf, std::uint32_t sst_index);
  // BIFF5: a text of at most 255 code page bytes.
  void label(std::uint16_t column, std::uint16_t xf, const std::uint8_t* bytes, std::size_t size);
  void end_row();
  // The sheet takes no rows for a while: its buffers give back their room
  // beyond what its unfinished block holds. Rows may follow later.
  void park();

  // Bytes of the whole substream, BOF to EOF.
  std::uint64_t stream_size();
  // Writes the substream, which starts at `position` of the stream; `active`
  // for the sheet the workbook opens on.
  void write(byte_sink& out, std::uint64_t position, bool active);

private:
  struct row_span {
    std::uint32_t row;
    std::uint16_t first_column, end_column;
    std::size_t cells_end;  // in cells_
  };

  void flush_block();
  std::size_t head_size() const;
  std::uint8_t* cell(std::uint16_t type, std::uint16_t size, std::uint16_t column, std::uint16_t xf);

  // A run of this sheet's bytes in the scratch file.
  struct extent {
    std::uint64_t offset;
    std::uint64_t size;
  };

  bool biff8_;
  excel_spool& spool_;
  std::vector<extent> extents_;
  std::uint64_t spooled_ = 0;      // this sheet's bytes in the scratch file
  byte_buffer cells_;              // the current block's cells
  byte_buffer block_;              // a block on its way to the spool
  std::vector<row_span> rows_;     // the current block's rows with cells
  std::uint32_t row_ = 0;
  std::size_t row_cells_start_ = 0;
  std::uint16_t row_first_ = 0, row_end_ = 0;
  bool row_open_ = false;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> widths_;  // column, width in 1/256 characters
  std::vector<std::uint32_t> dbcells_;  // DBCELL offsets among this sheet's spooled bytes
  std::uint32_t next_block_ = 0;        // the block whose DBCELL comes next
  std::uint32_t first_row_ = 0, end_row_ = 0;  // rows with cells: first, last + 1
  std::uint16_t end_column_ = 0;
  bool any_cell_ = false;
};

} // namespace plat::dao::biff
