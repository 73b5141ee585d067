// A buffered record walker over the old stream, and a shared-string decoder
// that follows strings across CONTINUE records (a character run restarts with
// its flags byte there; rich-text runs and phonetic blocks are skipped).
#include "platform/dao/excel/biff_reader.h"

#include "platform/dao/excel/biff_sst.h"
#include "platform/dao/excel/biff_text.h"
#include "platform/dao/excel/errors.h"
#include "platform/text_codec.h"

#include <algorithm>

namespace plat::dao::biff {

namespace {

[[noreturn]] void bad_format()
{
  excel_errors::raise(excel_errors::not_expected_format);
}

// The cursor for the reader's own walks, where every fault is 3274.
class record_reader {
public:
  record_reader(byte_source& source, std::uint64_t position) : cursor_(source, position) {}

  // The next record's header and data; false at the end of the stream.
  bool next()
  {
    const record_cursor::status got = cursor_.next();
    if (got == record_cursor::status::end)
      return false;
    if (got != record_cursor::status::ok)
      bad_format();
    return true;
  }
  void require_next()
  {
    if (!next())
      bad_format();
  }
  std::uint16_t type() const { return cursor_.record().type; }
  std::span<const std::uint8_t> data() const { return cursor_.record().body; }
  std::uint64_t position() const { return cursor_.record().position; }
  std::uint64_t end() const { return cursor_.record().next(); }

private:
  record_cursor cursor_;
};

// Reads an SST's strings from its record and the CONTINUEs after it.
class sst_decoder {
public:
  explicit sst_decoder(record_reader& records) : records_(records), data_(records.data()), at_(8) {}

  void string(std::vector<char16_t>& units)
  {
    const std::uint16_t count = u16();
    std::uint8_t flags = u8();
    const std::uint16_t runs = (flags & 0x08) ? u16() : 0;
    const std::uint32_t ext = (flags & 0x04) ? u32() : 0;
    units.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      if (at_ == data_.size()) {
        continue_record();
        flags = u8();  // a character run restarts with its own flags
      }
      if (flags & 0x01) {
        const std::uint8_t lo = u8();
        units[i] = static_cast<char16_t>(lo | (u8() << 8));
      } else {
        units[i] = u8();
      }
    }
    skip(std::size_t{4} * runs + ext);
  }

private:
  void continue_record()
  {
    records_.require_next();
    if (records_.type() != rt_continue)
      bad_format();
    data_ = records_.data();
    at_ = 0;
  }
  std::uint8_t u8()
  {
    while (at_ == data_.size())
      continue_record();
    return data_[at_++];
  }
  std::uint16_t u16()
  {
    const std::uint8_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }
  std::uint32_t u32()
  {
    const std::uint32_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
  }
  void skip(std::size_t n)
  {
    while (n > 0) {
      if (at_ == data_.size())
        continue_record();
      const std::size_t k = std::min(n, data_.size() - at_);
      at_ += k;
      n -= k;
    }
  }

  record_reader& records_;
  std::span<const std::uint8_t> data_;  // the current record's, until the next is read
  std::size_t at_;
};

void read_sst(record_reader& records, sst_table& sst)
{
  const std::span<const std::uint8_t> d = records.data();
  if (d.size() < 8)
    bad_format();
  const std::uint32_t references = get32(d.data());
  const std::uint32_t unique = get32(d.data() + 4);
  sst_decoder decoder(records);
  std::vector<char16_t> units;
  for (std::uint32_t i = 0; i < unique; ++i) {
    decoder.string(units);
    bool narrow = true;
    for (const char16_t u : units)
      narrow = narrow && u < 0x100;
    sst.keep(units.data(), units.size(), narrow);
  }
  sst.add_kept_references(references);
}

old_sheet read_boundsheet(std::span<const std::uint8_t> d, bool biff8)
{
  old_sheet s;
  if (d.size() < 7)
    bad_format();
  s.start = get32(d.data());
  s.options = get16(d.data() + 4);
  const std::size_t n = d[6];
  if (biff8) {
    if (d.size() < 8)
      bad_format();
    const bool wide = (d[7] & 0x01) != 0;
    if (d.size() < 8 + n * (wide ? 2 : 1))
      bad_format();
    std::u16string units(n, u'\0');
    for (std::size_t i = 0; i < n; ++i)
      units[i] = wide ? static_cast<char16_t>(get16(d.data() + 8 + 2 * i)) : d[8 + i];
    s.name = from_utf16(units);
  } else {
    if (d.size() < 7 + n)
      bad_format();
    s.name = from_cp1252(d.data() + 7, n);
  }
  return s;
}

// Walks one sheet from its BOF to the EOF that closes it.
void read_sheet(byte_source& source, old_sheet& sheet, std::uint16_t version)
{
  record_reader records(source, sheet.start);
  records.require_next();
  if (records.type() != rt_bof || records.data().size() < 4 || get16(records.data().data()) != version)
    bad_format();
  const bool biff8 = version == bof_biff8;
  int depth = 1;
  while (depth > 0) {
    records.require_next();
    const std::span<const std::uint8_t> d = records.data();
    switch (records.type()) {
    case rt_bof: ++depth; break;
    case rt_eof: --depth; break;
    case rt_index:
      if (depth == 1)
        sheet.index_records.push_back(records.position());
      break;
    case rt_dimensions:
      if (depth == 1 && d.size() >= (biff8 ? 8u : 4u)) {
        const std::uint32_t end_row = biff8 ? get32(d.data() + 4) : get16(d.data() + 2);
        sheet.data_rows = end_row > 0 ? end_row - 1 : 0;
      }
      break;
    default: break;
    }
  }
  sheet.end = records.end();
}

} // namespace

record_cursor::status record_cursor::next()
{
  record_ = record_view{next_, 0, {}};
  std::uint8_t head[4];
  const std::size_t n = source_.read_at(next_, head, 4);
  if (n == 0)
    return status::end;
  if (n < 4)
    return status::header_cut;
  record_.type = get16(head);
  buffer_.resize(get16(head + 2));  // keeps its room: no allocation once the largest record is seen
  if (source_.read_at(next_ + 4, buffer_.data(), buffer_.size()) != buffer_.size())
    return status::body_cut;
  record_.body = buffer_;
  next_ = record_.next();
  return status::ok;
}

std::vector<old_sheet> read_workbook(byte_source& source, bool biff8, sst_table* sst)
{
  const std::uint16_t version = biff8 ? bof_biff8 : bof_biff5;
  record_reader records(source, 0);
  records.require_next();
  if (records.type() != rt_bof || records.data().size() < 4 ||
      get16(records.data().data()) != version || get16(records.data().data() + 2) != bof_globals)
    bad_format();
  std::vector<old_sheet> sheets;
  for (;;) {
    records.require_next();
    if (records.type() == rt_eof)
      break;
    if (records.type() == rt_boundsheet)
      sheets.push_back(read_boundsheet(records.data(), biff8));
    else if (records.type() == rt_sst && biff8 && sst != nullptr)
      read_sst(records, *sst);
  }
  for (old_sheet& s : sheets)
    read_sheet(source, s, version);
  return sheets;
}

void copy_sheet(byte_source& source, const old_sheet& sheet, std::int64_t delta, bool biff8,
                byte_sink& out)
{
  std::vector<std::uint8_t> chunk(std::size_t{1} << 16);
  std::uint64_t at = sheet.start;
  auto copy_to = [&](std::uint64_t end) {
    while (at < end) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), end - at));
      if (source.read_at(at, chunk.data(), n) != n)
        bad_format();
      out.write(chunk.data(), n);
      at += n;
    }
  };
  for (const std::uint64_t index : sheet.index_records) {
    copy_to(index);
    record_reader records(source, index);
    records.require_next();
    std::vector<std::uint8_t> d(records.data().begin(), records.data().end());
    // DEFCOLWIDTH's position, then one per DBCELL; zero means none.
    for (std::size_t off = biff8 ? 12 : 8; off + 4 <= d.size(); off += 4) {
      const std::uint32_t old = get32(d.data() + off);
      if (old != 0)
        byte_buffer::put32(d.data() + off, static_cast<std::uint32_t>(static_cast<std::int64_t>(old) + delta));
    }
    const std::uint8_t head[4] = {static_cast<std::uint8_t>(rt_index), static_cast<std::uint8_t>(rt_index >> 8),
                                  static_cast<std::uint8_t>(d.size()), static_cast<std::uint8_t>(d.size() >> 8)};
    out.write(head, 4);
    out.write(d.data(), d.size());
    at = records.end();
  }
  copy_to(sheet.end);
}

} // namespace plat::dao::biff
