// The restyling walks INDEX -> first DBCELL -> first ROW -> first cell, so the
// block layout here is fixed: ROW records of the rows with cells, then their
// cells in row order, then the DBCELL whose offsets lead back to them.
#include "platform/dao/excel/biff_sheet.h"

#include "platform/dao/excel/errors.h"

#include <algorithm>

namespace plat::dao::biff {

namespace {

// INDEX and DIMENSIONS give the rows with cells (first, last + 1) in 32 bits
// from BIFF8 on, in 16 bits before.
void put_row_range(byte_buffer& record, bool biff8, std::uint32_t first, std::uint32_t end)
{
  if (biff8) {
    record.u32(first);
    record.u32(end);
  } else {
    record.u16(static_cast<std::uint16_t>(first));
    record.u16(static_cast<std::uint16_t>(end));
  }
}

} // namespace

sheet_writer::sheet_writer(bool biff8, excel_spool& spool) : biff8_(biff8), spool_(spool) {}

void sheet_writer::column_width(std::uint16_t column, std::size_t characters)
{
  // Wide enough for the header with a margin, never below the default 8
  // characters nor above 60, in 1/256 of a character.
  const std::size_t chars = std::min<std::size_t>(std::max<std::size_t>(characters + 2, 8), 60);
  if (chars > 8)
    widths_.emplace_back(column, static_cast<std::uint16_t>(chars * 256));
}

void sheet_writer::begin_row(std::uint32_t row)
{
  if (!rows_.empty() && row / rows_per_block != rows_.front().row / rows_per_block)
    flush_block();
  row_ = row;
  row_open_ = true;
  row_cells_start_ = cells_.size();
  row_first_ = 0xFFFF;
  row_end_ = 0;
}

std::uint8_t* sheet_writer::cell(std::uint16_t type, std::uint16_t size, std::uint16_t column,
                                 std::uint16_t xf)
{
  std::uint8_t* p = cells_.extend(4u + size);
  byte_buffer::put16(p, type);
  byte_buffer::put16(p + 2, size);
  byte_buffer::put16(p + 4, static_cast<std::uint16_t>(row_));
  byte_buffer::put16(p + 6, column);
  byte_buffer::put16(p + 8, xf);
  row_first_ = std::min(row_first_, column);
  row_end_ = std::max(row_end_, static_cast<std::uint16_t>(column + 1));
  return p + 10;
}

void sheet_writer::number(std::uint16_t column, std::uint16_t xf, double value)
{
  std::uint8_t* p = cell(rt_number, 14, column, xf);
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  for (int i = 0; i < 8; ++i)
    p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void sheet_writer::boolean(std::uint16_t column, bool value)
{
  std::uint8_t* p = cell(rt_boolerr, 8, column, xf_general);
  p[0] = value ? 1 : 0;
  p[1] = 0;  // a boolean, not an error code
}

void sheet_writer::shared_label(std::uint16_t column, std::uint16_t xf, std::uint32_t sst_index)
{
  byte_buffer::put32(cell(rt_labelsst, 10, column, xf), sst_index);
}

void sheet_writer::label(std::uint16_t column, std::uint16_t xf, const std::uint8_t* bytes,
                         std::size_t size)
{
  std::uint8_t* p = cell(rt_label, static_cast<std::uint16_t>(8 + size), column, xf);
  byte_buffer::put16(p, static_cast<std::uint16_t>(size));
  if (size != 0)
    std::memcpy(p + 2, bytes, size);
}

void sheet_writer::end_row()
{
  if (!row_open_)
    return;
  row_open_ = false;
  if (cells_.size() == row_cells_start_)
    return;  // no cell, no ROW record
  rows_.push_back({row_, row_first_, row_end_, cells_.size()});
  if (!any_cell_)
    first_row_ = row_;
  any_cell_ = true;
  end_row_ = row_ + 1;
  end_column_ = std::max(end_column_, row_end_);
}

void sheet_writer::flush_block()
{
  if (rows_.empty())
    return;
  block_.clear();
  // Every block between the first and the last row with cells has its DBCELL;
  // one whose rows are all empty says so with a zero offset.
  const std::uint32_t block = rows_.front().row / rows_per_block;
  if (dbcells_.empty())
    next_block_ = block;
  for (; next_block_ < block; ++next_block_) {
    dbcells_.push_back(static_cast<std::uint32_t>(spooled_ + block_.size()));
    block_.u16(rt_dbcell);
    block_.u16(4);
    block_.u32(0);
  }
  ++next_block_;
  for (const row_span& r : rows_) {
    block_.u16(rt_row);
    block_.u16(16);
    block_.u16(static_cast<std::uint16_t>(r.row));
    block_.u16(r.first_column);
    block_.u16(r.end_column);
    block_.u16(0x00FF);  // height: the default 12.75 points
    block_.u32(0);
    block_.u16(0x0100);
    block_.u16(xf_default);
  }
  block_.bytes(cells_.data(), cells_.size());

  // dbRtrw leads back to the first ROW; rgdb[0] from the record after the
  // first ROW to the first cell, then from each row's first cell to the next's.
  const auto n = rows_.size();
  block_.u16(rt_dbcell);
  block_.u16(static_cast<std::uint16_t>(4 + 2 * n));
  block_.u32(static_cast<std::uint32_t>(n * row_record_size + cells_.size()));
  block_.u16(static_cast<std::uint16_t>((n - 1) * row_record_size));
  std::size_t previous = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    // A row of 256 long BIFF5 texts outgrows 16 bits; readers walk on anyway.
    block_.u16(static_cast<std::uint16_t>(std::min<std::size_t>(rows_[i].cells_end - previous, 0xFFFF)));
    previous = rows_[i].cells_end;
  }
  const std::uint64_t dbcell = spooled_ + block_.size() - (4 + 4 + 2 * n);
  dbcells_.push_back(static_cast<std::uint32_t>(dbcell));
  const std::uint64_t at = spool_.size();
  spool_.write(block_.data(), block_.size());
  if (!extents_.empty() && extents_.back().offset + extents_.back().size == at)
    extents_.back().size += block_.size();
  else
    extents_.push_back({at, block_.size()});
  spooled_ += block_.size();
  rows_.clear();
  cells_.clear();
}

void sheet_writer::park()
{
  end_row();
  // An unfinished block stays (a block's rows go out together), at its size.
  cells_.shrink();
  block_ = byte_buffer();
  rows_.shrink_to_fit();
}

std::size_t sheet_writer::head_size() const
{
  const std::size_t bof = biff8_ ? 4 + 16 : 4 + 8;
  const std::size_t index = 4 + (biff8_ ? 16 : 12) + 4 * dbcells_.size();
  const std::size_t dimensions = biff8_ ? 4 + 14 : 4 + 10;
  const std::size_t colinfo = (biff8_ ? 4 + 12 : 4 + 11) * widths_.size();
  return bof + index + (4 + 2) + colinfo + dimensions;
}

std::uint64_t sheet_writer::stream_size()
{
  end_row();
  flush_block();
  const std::size_t window2 = biff8_ ? 4 + 18 : 4 + 10;
  return head_size() + spooled_ + window2 + 4;
}

void sheet_writer::write(byte_sink& out, std::uint64_t position, bool active)
{
  end_row();
  flush_block();
  const std::uint64_t cells_at = position + head_size();
  const std::size_t dimensions = biff8_ ? 4 + 14 : 4 + 10;
  const std::uint64_t defcolwidth_at =
      cells_at - dimensions - (biff8_ ? 4 + 12 : 4 + 11) * widths_.size() - (4 + 2);

  byte_buffer head;
  std::size_t r = head.begin_record(rt_bof);
  head.u16(biff8_ ? bof_biff8 : bof_biff5);
  head.u16(bof_worksheet);
  head.u16(0x0DBB);  // build
  head.u16(0x07CC);  // year
  if (biff8_) {
    head.u32(0);
    head.u32(6);  // lowest version that reads it: BIFF8
  }
  head.end_record(r);

  r = head.begin_record(rt_index);
  head.u32(0);
  put_row_range(head, biff8_, first_row_, end_row_);
  head.u32(static_cast<std::uint32_t>(defcolwidth_at));
  for (const std::uint32_t d : dbcells_)
    head.u32(static_cast<std::uint32_t>(cells_at + d));
  head.end_record(r);
  if (head.size() - r - 4 > (biff8_ ? max_data8 : max_data5))
    excel_errors::raise(excel_errors::cannot_expand);

  r = head.begin_record(rt_defcolwidth);
  head.u16(8);
  head.end_record(r);
  for (const auto& [column, width] : widths_) {
    r = head.begin_record(rt_colinfo);
    head.u16(column);
    head.u16(column);
    head.u16(width);
    head.u16(xf_default);
    head.u16(0);  // shown, no outline
    if (biff8_)
      head.u16(0);
    else
      head.u8(0);
    head.end_record(r);
  }

  r = head.begin_record(rt_dimensions);
  put_row_range(head, biff8_, first_row_, end_row_);
  head.u16(0);
  head.u16(end_column_);
  head.u16(0);
  head.end_record(r);
  out.write(head.data(), head.size());

  std::vector<std::uint8_t> chunk(std::size_t{1} << 16);
  for (const extent& e : extents_) {
    for (std::uint64_t done = 0; done < e.size;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), e.size - done));
      spool_.read_at(e.offset + done, chunk.data(), n);
      out.write(chunk.data(), n);
      done += n;
    }
  }

  byte_buffer tail;
  r = tail.begin_record(rt_window2);
  // Grid lines, headings, zeros, default grid colour, outline symbols; the
  // first sheet also selected and shown.
  tail.u16(static_cast<std::uint16_t>(0x00B6 | (active ? 0x0600 : 0)));
  tail.u16(0);
  tail.u16(0);
  if (biff8_) {
    tail.u32(64);
    tail.u16(0);
    tail.u16(0);
    tail.u32(0);
  } else {
    tail.u32(0);
  }
  tail.end_record(r);
  r = tail.begin_record(rt_eof);
  tail.end_record(r);
  out.write(tail.data(), tail.size());
}

} // namespace plat::dao::biff
