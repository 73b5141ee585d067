// One new worksheet's substream. Cells arrive row by row; each block of 32 rows
// (its ROW records, its cells, its DBCELL) spools to a scratch file as soon as
// the next block starts, so only one block is ever in memory. The parts with
// absolute positions (BOF, INDEX, DIMENSIONS) are written at close, when the
// sheet's place in the stream is known.
#pragma once

#include "platform/dao/biff_records.h"
#include "platform/dao/excel_spool.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::dao::biff {

class sheet_writer {
public:
  sheet_writer(bool biff8, const std::string& scratch_folder);

  // Rows come in ascending order; cells of a row in ascending columns.
  void begin_row(std::uint32_t row);
  void number(std::uint16_t column, std::uint16_t xf, double value);
  void boolean(std::uint16_t column, bool value);
  // BIFF8: a cell pointing at a shared string.
  void shared_label(std::uint16_t column, std::uint16_t xf, std::uint32_t sst_index);
  // BIFF5: a text of at most 255 code page bytes.
  void label(std::uint16_t column, std::uint16_t xf, const std::uint8_t* bytes, std::size_t size);
  void end_row();

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

  bool biff8_;
  excel_spool spool_;
  byte_buffer cells_;              // the current block's cells
  byte_buffer block_;              // a block on its way to the spool
  std::vector<row_span> rows_;     // the current block's rows with cells
  std::uint32_t row_ = 0;
  std::size_t row_cells_start_ = 0;
  std::uint16_t row_first_ = 0, row_end_ = 0;
  bool row_open_ = false;
  std::vector<std::uint32_t> dbcells_;  // DBCELL offsets in the spool
  std::uint32_t first_row_ = 0, end_row_ = 0;  // rows with cells: first, last + 1
  std::uint16_t end_column_ = 0;
  bool any_cell_ = false;
};

} // namespace plat::dao::biff
