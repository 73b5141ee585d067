// The restyling walk: the workbook globals record by record (FONT, XF,
// BOUNDSHEET), then each sheet from its BOF through INDEX and the first DBCELL to
// the cells of row 0, read through the excel driver's record cursor. The walk
// only plans its writes; they are made once the whole stream has passed every
// check, so a refused stream keeps every byte.
#include "common/xls_restyle.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "base/format.h"
#include "platform/dao/excel/biff_reader.h"
#include "platform/dao/excel/biff_records.h"
#include "platform/storage/storage.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using namespace plat::dao::biff;

constexpr std::array<std::uint8_t, 12> bold_font = {0xC8, 0x00, 0x01, 0x00, 0xFF, 0x7F,
                                                      0xBC, 0x02, 0x00, 0x00, 0x00, 0x02};

// What differs between the two BIFF versions.
struct biff_layout {
  std::uint16_t version;
  const char* format_name;
  const char* sheet_log;
  std::uint16_t xf_size;
  // The fixed part of a FONT record (up to and including its name's length).
  std::uint16_t font_min;
  std::uint16_t boundsheet_min;
  // Data offset of the first DBCELL position in INDEX.
  std::uint16_t index_dbcells;
  // The regular XFs (counted from 1) reach to the last record in BIFF5, to
  // xf_regular_end8 in BIFF8, whose later XFs hold the value formats.
  std::uint32_t last_regular_xf;
  std::array<std::uint8_t, 20> header_xf;
  std::array<std::uint8_t, 10> regular_xf;
};

// The header XF's font is the fourth FONT record (index 3), the one made bold
// above; index 4 names no FONT record at all, and readers disagree on it.
biff_layout layout_of(xls_biff version, bool wrap)
{
  constexpr auto font_byte = static_cast<std::uint8_t>(header_font);
  const std::uint8_t h = wrap ? 0x1A : 0x12;
  const std::uint8_t r = wrap ? 0x18 : 0x10;
  if (version == xls_biff::biff5)
    return {bof_biff5, "Excel 5.0 (BIFF5)", "xls_engine::patch_sheet(%X)", 16, 15, 7, 12, 0xFFFFFFFFu,
            {font_byte, 0x00, 0x00, 0x00, 0x09, 0x00, h, 0x70, 0x16, 0x20, 0x41, 0x80, 0x49, 0x80, 0x40, 0x20},
            {0x00, 0x00, 0x00, 0x00, 0x09, 0x00, r, 0x10, 0xC0, 0x20}};
  return {bof_biff8, "Excel 2000 (BIFF8)", "xls_engine_80::patch_sheet(%X)", 20, 16, 8, 16, xf_regular_end8,
          {font_byte, 0x00, 0x00, 0x00, 0x01, 0x00, h, 0x00, 0x00, 0x78,
           0x11, 0x11, 0x40, 0x20, 0x40, 0x20, 0x00, 0x04, 0x16, 0x20},
          {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, r, 0x00, 0x00, 0x10}};
}

[[noreturn]] void damaged(const char* what, std::uint64_t position)
{
  throw tk_exception(base::sprintf("Damaged workbook: %s at offset %X", what, position), tk_level_error);
}

// What the walk keeps of a record once the cursor has moved on.
struct record_header {
  std::uint64_t position = 0;
  std::uint16_t type = 0;
  std::uint16_t size = 0;
  std::uint64_t data() const { return position + 4; }
  std::uint64_t next() const { return position + 4 + size; }
};

// The workbook stream as the record cursor reads it; a failed read is no
// damage but a failure of its own.
class stream_bytes final : public byte_source {
public:
  explicit stream_bytes(IStream& stream) : stream_(stream) {}

  std::size_t read_at(std::uint64_t position, void* data, std::size_t size) override
  {
    ULONG got = 0;
    if (FAILED(stream_.Seek(LARGE_INTEGER{static_cast<LONGLONG>(position)}, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream_.Read(data, static_cast<ULONG>(size), &got)))
      throw tk_exception(base::sprintf("Failed to read the workbook stream at offset %X", position), tk_level_error);
    return got;
  }

private:
  IStream& stream_;
};

struct planned_write {
  std::uint64_t position;
  std::array<std::uint8_t, 20> bytes;
  std::size_t size;
};

class restyle_walk {
public:
  restyle_walk(IStream& stream, const biff_layout& layout)
      : stream_(stream), bytes_(stream), records_(bytes_, 0), layout_(layout)
  {
  }

  void run()
  {
    const std::vector<std::uint32_t> sheets = walk_globals();
    for (const std::uint32_t sheet : sheets)
      patch_sheet(sheet);
    for (const planned_write& w : writes_)
      write(w);
  }

private:
  std::vector<std::uint32_t> walk_globals()
  {
    tk_log_message(1, "Current position: %X", 0);
    const record_header bof = header_at(0);
    const std::span<const std::uint8_t> bof_body = records_.record().body;
    if (bof.type != rt_bof || bof.size < 4 || get16(bof_body.data() + 2) != bof_globals)
      throw tk_exception("Not an Excel workbook: the stream does not start with a workbook BOF record",
                         tk_level_error);
    if (get16(bof_body.data()) != layout_.version)
      throw tk_exception(base::sprintf("Not an %s workbook: its BIFF version is %04X", layout_.format_name,
                                       get16(bof_body.data())),
                         tk_level_error);

    std::uint32_t fonts = 0;
    std::uint32_t xfs = 0;
    bool in_sheet_list = false;
    std::vector<std::uint32_t> sheets;
    for (record_header r = bof;;) {
      tk_log_message(1, "BIFF record: (%02X, %02X)", r.type, r.size);
      switch (r.type) {
      case rt_font:
        if (r.size < layout_.font_min)
          damaged("FONT record too short", r.position);
        if (++fonts == header_font + 1u) {
          tk_log_message(2, "Got font descr. #3 (offset=%X)", r.position);
          plan(r.data(), bold_font.data(), bold_font.size());
        }
        break;
      case rt_xf:
        if (r.size != layout_.xf_size)
          damaged("XF record of a wrong length", r.position);
        ++xfs;
        if (xfs == xf_header + 1u) {
          tk_log_message(2, "Got header XF (offset=%X)", r.position);
          plan(r.data(), layout_.header_xf.data(), layout_.xf_size);
        } else if (xfs == xf_default + 1u || (xfs >= xf_general + 1u && xfs <= layout_.last_regular_xf)) {
          tk_log_message(2, "Got regular XF (offset=%X)", r.position);
          plan(r.data(), layout_.regular_xf.data(), layout_.regular_xf.size());
        }
        break;
      case rt_boundsheet: {
        if (r.size < layout_.boundsheet_min)
          damaged("BOUNDSHEET record too short", r.position);
        const std::uint32_t sheet = get32(records_.record().body.data());
        tk_log_message(2, "Got sheet offset=%X", sheet);
        sheets.push_back(sheet);
        break;
      }
      default:
        break;
      }
      // BIFF8 globals go on after the sheet list (shared strings and more)
      // with nothing the restyling changes.
      const bool last =
          r.type == rt_eof || (layout_.version == bof_biff8 && in_sheet_list && r.type != rt_boundsheet);
      in_sheet_list = in_sheet_list || r.type == rt_boundsheet;
      if (last) {
        for (const std::uint32_t sheet : sheets)
          if (sheet < r.next())
            damaged("sheet position inside the workbook globals", sheet);
        return sheets;
      }
      tk_log_message(1, "Current position: %X", r.next());
      r = header_at(r.next(), "workbook globals without an end");
    }
  }

  void patch_sheet(std::uint32_t position)
  {
    tk_log_message(1, layout_.sheet_log, position);
    const record_header bof = header_at(position);
    const std::span<const std::uint8_t> bof_body = records_.record().body;
    if (bof.type != rt_bof || bof.size < 4 || get16(bof_body.data()) != layout_.version ||
        get16(bof_body.data() + 2) != bof_worksheet)
      damaged("sheet that does not start with a worksheet BOF record", position);
    const record_header index = header_at(bof.next());
    if (index.type != rt_index || index.size < layout_.index_dbcells || (index.size - layout_.index_dbcells) % 4 != 0)
      damaged("sheet without its INDEX record", index.position);
    if (index.size == layout_.index_dbcells) {
      tk_log_message(2, "Empty sheet");
      check_sheet_end(index);
      return;
    }
    std::vector<std::uint32_t> dbcells((index.size - layout_.index_dbcells) / 4u);
    for (std::size_t i = 0; i < dbcells.size(); ++i)
      dbcells[i] = get32(records_.record().body.data() + layout_.index_dbcells + 4 * i);
    tk_log_message(2, "Got DBCELL offset: %X", dbcells.front());
    if (dbcells.front() == 0) {
      check_sheet_end(index);
      return;
    }
    std::uint64_t previous = index.next();
    record_header last;
    for (const std::uint32_t at : dbcells) {
      if (at < previous)
        damaged("DBCELL position out of order", index.position);
      last = header_at(at);
      if (last.type != rt_dbcell || last.size < 4 || last.size % 2 != 0)
        damaged("DBCELL position that does not lead to a DBCELL record", at);
      previous = last.next();
    }

    const record_header first_dbcell = header_at(dbcells.front());
    if (first_dbcell.size < 6)
      damaged("DBCELL record too short", first_dbcell.position);
    const std::uint32_t distance = get32(records_.record().body.data());
    const std::uint16_t first_cell_offset = get16(records_.record().body.data() + 4);
    if (distance == 0 || distance > first_dbcell.position - index.next())
      damaged("DBCELL whose first row lies outside its sheet", first_dbcell.position);
    const record_header row = header_at(first_dbcell.position - distance);
    if (row.type != rt_row)
      damaged("DBCELL that does not lead to a ROW record", first_dbcell.position);
    std::uint64_t cell = row.next() + first_cell_offset;
    if (cell > first_dbcell.position)
      damaged("first cell offset outside its row block", first_dbcell.position);
    tk_log_message(2, "Got 1st cell offset: %X", cell);

    for (std::uint16_t column = 0; cell + 4 <= first_dbcell.position; ++column) {
      const record_header r = header_at(cell);
      if (r.next() > first_dbcell.position)
        damaged("cell record that crosses its DBCELL", r.position);
      // A record of several cells (MULRK, MULBLANK) ends the header row, since
      // one write would restyle only its first cell.
      if (!is_single_cell(r.type) || r.size < 6)
        break;
      const std::uint8_t* place = records_.record().body.data();  // row, then column
      if (get16(place) != 0 || get16(place + 2) != column)
        break;
      const std::uint8_t xf[2] = {static_cast<std::uint8_t>(xf_header & 0xFF), static_cast<std::uint8_t>(xf_header >> 8)};
      plan(r.data() + 4, xf, sizeof xf);
      cell = r.next();
    }
    check_sheet_end(last);
  }

  // The records after `from` reach the sheet's EOF inside the stream: a sheet
  // cut short is refused before anything is written.
  void check_sheet_end(const record_header& from)
  {
    for (record_header r = from; r.type != rt_eof;) {
      r = header_at(r.next(), "sheet without its EOF record");
      if (r.type == rt_bof)
        damaged("sheet without its EOF record", r.position);
    }
  }

  // The record at `position`, which must lie whole in the stream; its body
  // stays in the cursor until the next record is read. A stream that ends
  // where the record should start is `missing`.
  record_header header_at(std::uint64_t position, const char* missing = "record past the end of the stream")
  {
    switch (records_.next_at(position)) {
    case record_cursor::status::ok: break;
    case record_cursor::status::end:
    case record_cursor::status::header_cut: damaged(missing, position);
    case record_cursor::status::body_cut: damaged("record cut short by the end of the stream", position);
    }
    const record_view& r = records_.record();
    return {r.position, r.type, static_cast<std::uint16_t>(r.body.size())};
  }

  void plan(std::uint64_t position, const std::uint8_t* bytes, std::size_t size)
  {
    planned_write w{position, {}, size};
    std::copy(bytes, bytes + size, w.bytes.begin());
    writes_.push_back(w);
  }

  void write(const planned_write& w)
  {
    ULONG written = 0;
    if (FAILED(stream_.Seek(LARGE_INTEGER{static_cast<LONGLONG>(w.position)}, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream_.Write(w.bytes.data(), static_cast<ULONG>(w.size), &written)) || written != w.size)
      throw tk_exception(base::sprintf("Failed to write the workbook stream at offset %X", w.position),
                         tk_level_error);
  }

  IStream& stream_;
  stream_bytes bytes_;
  record_cursor records_;
  const biff_layout& layout_;
  std::vector<planned_write> writes_;
};

} // namespace

void xls_restyle_stream(IStream& stream, xls_biff version, bool wrap)
{
  const biff_layout layout = layout_of(version, wrap);
  restyle_walk(stream, layout).run();
}
