// The record vocabulary of BIFF5 and BIFF8 streams, the cell-format (XF) layout
// that the driver writes and the restyling rewrites, and the little-endian byte
// buffer records are built in. A record is a 2-byte type, a 2-byte data length
// and the data; every number in it is little-endian whatever the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

namespace plat::dao::biff {

enum record_type : std::uint16_t {
  rt_eof = 0x000A,
  rt_datemode = 0x0022,
  rt_precision = 0x000E,
  rt_format5 = 0x001E,
  rt_font = 0x0031,
  rt_continue = 0x003C,
  rt_window1 = 0x003D,
  rt_backup = 0x0040,
  rt_codepage = 0x0042,
  rt_defcolwidth = 0x0055,
  rt_boundsheet = 0x0085,
  rt_hideobj = 0x008D,
  rt_bookbool = 0x00DA,
  rt_dbcell = 0x00D7,
  rt_xf = 0x00E0,
  rt_sst = 0x00FC,
  rt_labelsst = 0x00FD,
  rt_extsst = 0x00FF,
  rt_colinfo = 0x007D,
  rt_dimensions = 0x0200,
  rt_number = 0x0203,
  rt_label = 0x0204,
  rt_boolerr = 0x0205,
  rt_row = 0x0208,
  rt_index = 0x020B,
  rt_window2 = 0x023E,
  rt_style = 0x0293,
  rt_format8 = 0x041E,
  rt_bof = 0x0809,
  // Cell records the driver does not write but the restyling meets in a
  // workbook of another writer.
  rt_formula = 0x0006,
  rt_rstring = 0x00D6,
  rt_blank = 0x0201,
  rt_rk = 0x027E,
};

// Records of one cell, whose XF index is at data offset 4.
constexpr bool is_single_cell(std::uint16_t type)
{
  switch (type) {
  case rt_label: case rt_labelsst: case rt_number: case rt_rk:
  case rt_blank: case rt_boolerr: case rt_rstring: case rt_formula:
    return true;
  default:
    return false;
  }
}

inline constexpr std::uint16_t bof_biff5 = 0x0500, bof_biff8 = 0x0600;
inline constexpr std::uint16_t bof_globals = 0x0005, bof_worksheet = 0x0010;

// Longest record data of each version.
inline constexpr std::size_t max_data5 = 2080, max_data8 = 8224;

// Rows go in blocks of this many, each closed by a DBCELL.
inline constexpr std::uint32_t rows_per_block = 32;

// Sizes, header included, of the fixed-size records of the cell area.
inline constexpr std::size_t row_record_size = 4 + 16;
inline constexpr std::size_t number_record_size = 4 + 14;
inline constexpr std::size_t boolerr_record_size = 4 + 8;
inline constexpr std::size_t labelsst_record_size = 4 + 10;

// Cell formats (XF indexes) the writer uses. 15 is the default cell format and
// 16 the header's; data cells use 21.
inline constexpr std::uint16_t xf_default = 15, xf_header = 16, xf_general = 21;
inline constexpr std::uint16_t xf_date_time = 24, xf_date = 25, xf_time = 26, xf_currency = 27;

// The restyling: the fourth FONT (index 3) becomes bold, XF xf_header takes
// that font, and the regular formats (xf_default, and xf_general up to the
// last regular one: the last XF in BIFF5, xf_regular_end8 - 1 in BIFF8) are
// rewritten to number format 0. So a format a value needs lives from
// xf_regular_end8 on, and BIFF5 holds none (its dates are written as text).
inline constexpr std::uint16_t header_font = 3;
inline constexpr std::uint16_t xf_regular_end8 = 24;

static_assert(xf_header == xf_default + 1 && xf_general > xf_header, "the restyled XFs keep their places");
static_assert(xf_date_time >= xf_regular_end8 && xf_date >= xf_regular_end8 && xf_time >= xf_regular_end8 &&
                  xf_currency >= xf_regular_end8,
              "a number format below xf_regular_end8 is lost to the restyling");
static_assert(xf_general < xf_regular_end8, "data cells must be restyled with the others");
static_assert(xf_date_time == xf_regular_end8 && xf_date == xf_date_time + 1 && xf_time == xf_date + 1 &&
                  xf_currency == xf_time + 1,
              "the writer puts the value formats in this order right after the regular ones");

// A growing byte buffer with little-endian writers. clear() keeps the room, so
// a buffer reused per row or block stops allocating once it has grown.
class byte_buffer {
public:
  void clear() noexcept { size_ = 0; }
  std::size_t size() const noexcept { return size_; }
  const std::uint8_t* data() const noexcept { return bytes_.data(); }
  std::uint8_t* data() noexcept { return bytes_.data(); }

  // Room for n more bytes; returns where they go.
  std::uint8_t* extend(std::size_t n)
  {
    if (size_ + n > bytes_.size())
      bytes_.resize(std::max(size_ + n, bytes_.size() * 2 + 256));
    std::uint8_t* at = bytes_.data() + size_;
    size_ += n;
    return at;
  }
  void u8(std::uint8_t v) { *extend(1) = v; }
  void u16(std::uint16_t v) { put16(extend(2), v); }
  void u32(std::uint32_t v) { put32(extend(4), v); }
  void bytes(const void* p, std::size_t n)
  {
    if (n != 0)
      std::memcpy(extend(n), p, n);
  }
  void zeros(std::size_t n) { std::memset(extend(n), 0, n); }
  // Gives back the room beyond the bytes held.
  void shrink()
  {
    bytes_.resize(size_);
    bytes_.shrink_to_fit();
  }
  // A record header whose length is set by end_record(start).
  std::size_t begin_record(std::uint16_t type)
  {
    const std::size_t start = size_;
    u16(type);
    u16(0);
    return start;
  }
  void end_record(std::size_t start)
  {
    put16(bytes_.data() + start + 2, static_cast<std::uint16_t>(size_ - start - 4));
  }

  static void put16(std::uint8_t* p, std::uint16_t v)
  {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
  }
  static void put32(std::uint8_t* p, std::uint32_t v)
  {
    for (int i = 0; i < 4; ++i)
      p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }

private:
  std::vector<std::uint8_t> bytes_;
  std::size_t size_ = 0;
};

inline std::uint16_t get16(const std::uint8_t* p)
{
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get32(const std::uint8_t* p)
{
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace plat::dao::biff

namespace plat::dao::biff {

// Where a stream's bytes go, in order.
class byte_sink {
public:
  virtual void write(const void* data, std::size_t size) = 0;

protected:
  ~byte_sink() = default;
};

} // namespace plat::dao::biff
