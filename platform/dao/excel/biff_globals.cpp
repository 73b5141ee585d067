// The XF order is a contract with the restyling (biff_records.h): style XFs up
// to xf_default, then the regular cell XFs (the default, the header's, general
// data cells), and (BIFF8) the date and currency formats, which it leaves alone.
#include "platform/dao/excel/biff_globals.h"

#include "platform/dao/excel/biff_sst.h"
#include "platform/dao/excel/biff_text.h"

#include <array>

namespace plat::dao::biff {

namespace {

constexpr std::uint16_t fmt_date_time = 164, fmt_date = 165, fmt_time = 166, fmt_currency = 167;

void put_font(byte_buffer& b, bool biff8)
{
  const std::size_t r = b.begin_record(rt_font);
  b.u16(200);     // 10 points, in twips
  b.u16(0);       // not italic, struck out, outlined or shadowed
  b.u16(0x7FFF);  // the window text colour
  b.u16(400);     // normal weight
  b.u16(0);       // no super- or subscript
  b.u8(0);        // not underlined
  b.u8(2);        // family: swiss
  b.u8(0);        // character set: ANSI
  b.u8(0);
  b.u8(5);
  if (biff8)
    b.u8(0);      // one byte per character
  b.bytes("Arial", 5);
  b.end_record(r);
}

void put_format(byte_buffer& b, std::uint16_t index, const char* text)
{
  const std::size_t r = b.begin_record(rt_format8);
  const std::size_t n = std::char_traits<char>::length(text);
  b.u16(index);
  b.u16(static_cast<std::uint16_t>(n));
  b.u8(0);
  b.bytes(text, n);
  b.end_record(r);
}

void put_xf(byte_buffer& b, bool biff8, bool style, std::uint16_t format)
{
  const std::size_t r = b.begin_record(rt_xf);
  b.u16(0);  // font 0
  b.u16(format);
  // Locked; a style XF has no parent (0xFFF), a cell XF has the Normal style.
  b.u16(style ? 0xFFF5 : 0x0001);
  b.u8(0x20);  // general alignment, bottom
  // The used-attribute bits: cleared for style XFs (all valid); a cell XF marks
  // the number format it sets apart from its style.
  const std::uint8_t used = (!style && format != 0) ? 0x04 : 0x00;
  if (biff8) {
    b.u8(0);  // no rotation
    b.u8(0);  // no indent
    b.u8(used);
    b.zeros(8);   // no borders
    b.u16(0x20C0);  // pattern colours: system foreground and background
  } else {
    b.u8(used);
    b.u16(0x20C0);
    b.zeros(6);
  }
  b.end_record(r);
}

void put_simple(byte_buffer& b, std::uint16_t type, std::uint16_t value)
{
  const std::size_t r = b.begin_record(type);
  b.u16(value);
  b.end_record(r);
}

} // namespace

globals_writer::globals_writer(bool biff8, sst_table* sst) : biff8_(biff8), sst_(sst)
{
  byte_buffer& b = fixed_;
  std::size_t r = b.begin_record(rt_bof);
  b.u16(biff8 ? bof_biff8 : bof_biff5);
  b.u16(bof_globals);
  b.u16(0x0DBB);
  b.u16(0x07CC);
  if (biff8) {
    b.u32(0);
    b.u32(6);
  }
  b.end_record(r);

  put_simple(b, rt_codepage, biff8 ? 1200 : 1252);
  r = b.begin_record(rt_window1);
  b.u16(0);       // window position
  b.u16(0);
  b.u16(0x4000);  // window size
  b.u16(0x2000);
  b.u16(0x0038);  // scroll bars and sheet tabs shown
  b.u16(0);       // the first sheet shown
  b.u16(0);       // the first tab shown
  b.u16(1);       // one sheet selected
  b.u16(600);     // tab bar width ratio, in thousandths
  b.end_record(r);
  put_simple(b, rt_backup, 0);
  put_simple(b, rt_hideobj, 0);
  put_simple(b, rt_datemode, 0);  // the 1900 date system
  put_simple(b, rt_precision, 1);
  put_simple(b, rt_bookbool, 0);

  for (int i = 0; i < 5; ++i)  // fonts 0, 1, 2, 3 and 5: index 4 is never stored
    put_font(b, biff8);
  if (biff8) {
    put_format(b, fmt_date_time, "yyyy\\-mm\\-dd\\ hh:mm:ss");
    put_format(b, fmt_date, "yyyy\\-mm\\-dd");
    put_format(b, fmt_time, "hh:mm:ss");
    put_format(b, fmt_currency, "#,##0.00");
  }
  for (int i = 0; i < xf_default; ++i)
    put_xf(b, biff8, true, 0);
  for (int i = xf_default; i < xf_regular_end8; ++i)
    put_xf(b, biff8, false, 0);
  if (biff8) {
    put_xf(b, biff8, false, fmt_date_time);  // xf_date_time
    put_xf(b, biff8, false, fmt_date);       // xf_date
    put_xf(b, biff8, false, fmt_time);       // xf_time
    put_xf(b, biff8, false, fmt_currency);   // xf_currency
  }
  r = b.begin_record(rt_style);
  b.u16(0x8000);  // built in, XF 0
  b.u8(0);        // Normal
  b.u8(0xFF);
  b.end_record(r);
}

void globals_writer::boundsheets(const std::vector<sheet_entry>& sheets, byte_buffer& out) const
{
  std::array<std::uint8_t, 31> bytes{};
  std::array<char16_t, 31> units{};
  for (const sheet_entry& s : sheets) {
    const std::size_t r = out.begin_record(rt_boundsheet);
    out.u32(static_cast<std::uint32_t>(s.position));
    out.u16(s.options);
    if (biff8_) {
      bool narrow = true;
      const std::size_t n = to_utf16_units(s.name, units.data(), units.size(), narrow);
      out.u8(static_cast<std::uint8_t>(n));
      out.u8(narrow ? 0 : 1);
      for (std::size_t i = 0; i < n; ++i) {
        out.u8(static_cast<std::uint8_t>(units[i]));
        if (!narrow)
          out.u8(static_cast<std::uint8_t>(units[i] >> 8));
      }
    } else {
      const std::size_t n = to_cp1252(s.name, bytes.data(), bytes.size(), '_');
      out.u8(static_cast<std::uint8_t>(n));
      out.bytes(bytes.data(), n);
    }
    out.end_record(r);
  }
}

std::uint64_t globals_writer::stream_size(const std::vector<sheet_entry>& sheets)
{
  byte_buffer run;
  boundsheets(sheets, run);
  return fixed_.size() + run.size() + (sst_ != nullptr ? sst_->stream_size() : 0) + 4;
}

void globals_writer::write(byte_sink& out, const std::vector<sheet_entry>& sheets)
{
  byte_buffer run;
  boundsheets(sheets, run);
  out.write(fixed_.data(), fixed_.size());
  out.write(run.data(), run.size());
  if (sst_ != nullptr)
    sst_->write(out, fixed_.size() + run.size());
  const std::uint8_t eof[4] = {static_cast<std::uint8_t>(rt_eof), 0, 0, 0};
  out.write(eof, 4);
}

} // namespace plat::dao::biff
