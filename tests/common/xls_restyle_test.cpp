// The .xls restyling read back by xlrd and LibreOffice: bold centred column
// names, wrapping as the flag says, values and date formats as written; a file
// that is not exactly a workbook of the format keeps every byte; the numbered
// loop opens exactly the files of the run.
#include "platform/dao/excel/excel_test_support.h"

#include "common/xls_conv.h"
#include "TK/tk_exception.h"
#include "common/xls_engi.h"
#include "platform/dao/excel/container.h"
#include "platform/storage/storage.h"
#include "support/libreoffice_profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <sstream>

using namespace excel_test;
using plat::dao::excel_workbook;
namespace dao = plat::dao;

namespace {

std::wstring wide(const std::string& path)
{
  std::wstring out;
  plat::utf8_to_wide(path, out);
  return out;
}

// Four sheets: numbers, dates and texts; a single text column; no columns; and
// enough rows for several row blocks and a stream past the mini stream's 4,096
// bytes.
void write_workbook(const std::string& path, biff_version version)
{
  excel_workbook book(path, version);
  const std::size_t first = book.add_sheet(
      L"Orders", {{L"id", dao::db_long}, {L"price", dao::db_double}, {L"day", dao::db_date},
                  {L"note", dao::db_memo}, {L"paid", dao::db_currency}});
  append(book, first, {i4(1), r8(2.5), date(45000), text(L"caf\u00e9"), r8(3.25)});
  append(book, first, {i4(-7), null(), date(45000.75), text(L"a,b"), r8(0)});
  append(book, first, {null(), r8(1e-3), date(0.5), text(L"long text"), null()});
  const std::size_t second = book.add_sheet(L"Notes", {{L"text", dao::db_text}});
  append(book, second, {text(L"one")});
  append(book, second, {text(L"two")});
  book.add_sheet(L"Nothing", {});
  const std::size_t many = book.add_sheet(L"Many", {{L"n", dao::db_long}, {L"t", dao::db_text}});
  for (int r = 0; r < 200; ++r)
    append(book, many, {i4(r), text(L"row " + std::to_wstring(r))});
  book.close();
}

// One line per non-empty cell: sheet, row, column, bold, wrap, horizontal
// alignment, and whether xlrd takes it for a date.
constexpr const char* format_script = R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for sheet in book.sheets():
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            xf = book.xf_list[cell.xf_index]
            print(sheet.name, r, c, book.font_list[xf.font_index].bold, xf.alignment.text_wrapped,
                  xf.alignment.hor_align, int(cell.ctype == xlrd.XL_CELL_DATE))
)";

struct cell_format {
  std::string sheet;
  int row = 0, column = 0, bold = 0, wrap = 0, align = 0, is_date = 0;
};

std::vector<cell_format> formats_of(const std::string& path)
{
  std::istringstream lines(python(format_script, path));
  std::vector<cell_format> cells;
  for (cell_format f; lines >> f.sheet >> f.row >> f.column >> f.bold >> f.wrap >> f.align >> f.is_date;)
    cells.push_back(f);
  return cells;
}

// The (type, length) of every record: an overrun would change the next header.
std::vector<std::pair<unsigned, unsigned>> record_headers(const std::string& s)
{
  std::vector<std::pair<unsigned, unsigned>> headers;
  for (std::size_t p = 0; p + 4 <= s.size();) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(s[i])); };
    const unsigned type = byte(p) | byte(p + 1) << 8, size = byte(p + 2) | byte(p + 3) << 8;
    headers.emplace_back(type, size);
    p += 4 + size;
  }
  return headers;
}

// A new compound file holding `stream` under the name of its version.
void write_compound(const std::string& path, biff_version version, const std::string& stream)
{
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  {
    plat::storage::compound_file_writer writer(fd, version == biff_version::biff8 ? u"Workbook" : u"Book");
    writer.write(stream.data(), stream.size());
    writer.finish();
  }
  ::close(fd);
}

std::unique_ptr<xls_engine> engine_of(biff_version version)
{
  if (version == biff_version::biff5)
    return std::make_unique<xls_engine_50>();
  return std::make_unique<xls_engine_80>();
}

struct restyle_case {
  biff_version version;
  bool wrap;
};

class XlsRestyle : public testing::TestWithParam<restyle_case> {};

TEST_P(XlsRestyle, HeaderBoldAndCentredWrapAsSetValuesAndDatesKept)
{
  const auto [version, wrap] = GetParam();
  const temp_dir dir;
  const std::string path = dir.file("book.xls");
  write_workbook(path, version);
  const std::string cells_before = xlrd_cells(path);
  const std::string stream_before = stream_of(path, version);
  for (const cell_format& f : formats_of(path))
    EXPECT_EQ(f.bold, 0) << f.sheet << " " << f.row << "," << f.column;

  const auto engine = engine_of(version);
  engine->wrap = wrap;
  std::string error;
  ASSERT_TRUE(engine->patch(wide(path), &error)) << error;

  EXPECT_EQ(xlrd_cells(path), cells_before);
  const std::string stream_after = stream_of(path, version);
  EXPECT_EQ(stream_after.size(), stream_before.size());
  EXPECT_EQ(record_headers(stream_after), record_headers(stream_before));

  const std::vector<cell_format> cells = formats_of(path);
  ASSERT_EQ(cells.size(), (5u + 3 * 5 - 3) + 3u + (2u + 200 * 2));
  EXPECT_GT(stream_before.size(), 4096u);
  int dates = 0;
  for (const cell_format& f : cells) {
    const std::string where = f.sheet + " " + std::to_string(f.row) + "," + std::to_string(f.column);
    if (f.row == 0) {
      EXPECT_EQ(f.bold, 1) << where;
      EXPECT_EQ(f.align, 2) << where;  // centred
      EXPECT_EQ(f.wrap, int(wrap)) << where;
      continue;
    }
    EXPECT_EQ(f.bold, 0) << where;
    // Dates and currency keep their own formats (BIFF8); everything else wraps as set.
    const bool own_format = version == biff_version::biff8 && f.sheet == "Orders" && (f.column == 2 || f.column == 4);
    if (!own_format) {
      EXPECT_EQ(f.wrap, int(wrap)) << where;
    }
    dates += f.is_date;
  }
  EXPECT_EQ(dates, version == biff_version::biff8 ? 3 : 0);  // Excel 5.0 keeps dates as text
}

INSTANTIATE_TEST_SUITE_P(common, XlsRestyle,
                         testing::Values(restyle_case{biff_version::biff5, false},
                                         restyle_case{biff_version::biff5, true},
                                         restyle_case{biff_version::biff8, false},
                                         restyle_case{biff_version::biff8, true}),
                         [](const auto& p) {
                           return std::string(name_of(p.param.version)) + (p.param.wrap ? "_wrap" : "_nowrap");
                         });

TEST(XlsRestyleLibreOffice, ShowsTheSameValuesAfterRestyling)
{
  const temp_dir dir;
  for (const biff_version version : {biff_version::biff5, biff_version::biff8}) {
    const std::string name = name_of(version);
    write_workbook(dir.file(name + "-plain.xls"), version);
    write_workbook(dir.file(name + "-styled.xls"), version);
    const auto engine = engine_of(version);
    engine->wrap = true;
    ASSERT_TRUE(engine->patch(wide(dir.file(name + "-styled.xls"))));
  }
  const std::string home = dir.path().string();
  int status = 0;
  test_support::command_output("cd '" + home + "' && HOME='" + home + "' soffice -env:UserInstallation=" +
          test_support::libreoffice_profile(home) + " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir '" + home +
          "/out' *.xls >/dev/null 2>&1",
      &status);
  for (const std::string name : {"biff5", "biff8"}) {
    const std::string plain = read_file(dir.file("out/" + name + "-plain.csv"));
    EXPECT_NE(plain.find("id,price,day,note,paid\n"), std::string::npos) << name << ": " << plain;
    EXPECT_EQ(read_file(dir.file("out/" + name + "-styled.csv")), plain) << name;
  }
}

// What a refused file looks like: every byte kept, the reason named.
struct refusal_case {
  const char* what;
  biff_version written;           // the workbook the file starts from
  biff_version engine;            // the descriptor that restyles it
  std::function<void(const std::string& path, biff_version)> spoil;
  const char* error;
};

void set_u32(std::string& s, std::size_t at, std::uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// The data position of the first record of `type` at or after `from`.
std::size_t find_record(const std::string& s, unsigned type, std::size_t from = 0)
{
  std::size_t p = 0;
  for (const auto& [t, size] : record_headers(s)) {
    if (t == type && p >= from)
      return p + 4;
    p += 4 + size;
  }
  return std::string::npos;
}

// Rewrites the workbook's stream through `change`.
auto rewrite(std::function<void(std::string&)> change)
{
  return [change](const std::string& path, biff_version version) {
    std::string s = stream_of(path, version);
    change(s);
    write_compound(path, version, s);
  };
}

const refusal_case refusals[] = {
    {"other version, Excel 2000 given to Excel 5.0", biff_version::biff8, biff_version::biff5, nullptr,
     "Not an Excel 5.0 (BIFF5) workbook: its BIFF version is 0600"},
    {"other version, Excel 5.0 given to Excel 2000", biff_version::biff5, biff_version::biff8, nullptr,
     "Not an Excel 2000 (BIFF8) workbook: its BIFF version is 0500"},
    {"not a compound file", biff_version::biff8, biff_version::biff8,
     [](const std::string& path, biff_version) { write_file(path, "id,name\n1,x\n"); },
     "Failed to open OLE document"},
    {"compound file without a workbook stream", biff_version::biff8, biff_version::biff8,
     [](const std::string& path, biff_version) {
       const int fd = ::open(path.c_str(), O_RDWR | O_TRUNC);
       plat::storage::compound_file_writer writer(fd, u"Contents");
       writer.write("abc", 3);
       writer.finish();
       ::close(fd);
     },
     "Stream not found"},
    {"foreign stream", biff_version::biff5, biff_version::biff5,
     rewrite([](std::string& s) { s.replace(0, 8, "PK\x03\x04zip!"); }),
     "Not an Excel workbook: the stream does not start with a workbook BOF record"},
    {"workbook cut inside its last sheet", biff_version::biff8, biff_version::biff8,
     rewrite([](std::string& s) { s.resize(s.size() - 30); }), nullptr},
    {"workbook cut inside its globals", biff_version::biff5, biff_version::biff5,
     rewrite([](std::string& s) { s.resize(find_record(s, 0x00E0) + 3); }), nullptr},
    {"file cut short", biff_version::biff8, biff_version::biff8,
     [](const std::string& path, biff_version) {
       std::string bytes = read_file(path);
       bytes.resize(bytes.size() - 1024);
       write_file(path, bytes);
     },
     "Failed to open OLE document"},
    {"third sheet position points off its BOF", biff_version::biff8, biff_version::biff8,
     rewrite([](std::string& s) {
       const std::size_t third = find_record(s, 0x0085, find_record(s, 0x0085, find_record(s, 0x0085) + 1) + 1);
       set_u32(s, third, static_cast<std::uint32_t>(find_record(s, 0x020B)));
     }),
     nullptr},
    {"XF record of a foreign length", biff_version::biff5, biff_version::biff5,
     rewrite([](std::string& s) {
       const std::size_t xf = find_record(s, 0x00E0);
       s[xf - 2] = 12;  // 16 bytes become 12 + a 4-byte record of type 0
       s[xf + 12] = 0;
       s[xf + 13] = 0;
       s[xf + 14] = 0;
       s[xf + 15] = 0;
     }),
     "Damaged workbook: XF record of a wrong length at offset"},
    {"DBCELL pointing before its sheet", biff_version::biff5, biff_version::biff5,
     rewrite([](std::string& s) { set_u32(s, find_record(s, 0x00D7), 0x7FFFFFFF); }),
     "Damaged workbook: DBCELL whose first row lies outside its sheet"},
};

TEST(XlsRestyleRefusal, LeavesTheFileByteForByteAndNamesTheFault)
{
  for (const refusal_case& c : refusals) {
    SCOPED_TRACE(c.what);
    const temp_dir dir;
    const std::string path = dir.file("refused.xls");
    write_workbook(path, c.written);
    if (c.spoil)
      c.spoil(path, c.written);
    const std::string before = read_file(path);
    std::string error;
    EXPECT_FALSE(engine_of(c.engine)->patch(wide(path), &error));
    EXPECT_EQ(read_file(path), before);
    const std::string expected = c.error != nullptr ? c.error : "Damaged workbook:";
    EXPECT_EQ(error.substr(0, expected.size()), expected) << error;
  }
}

TEST(XlsRestyleRefusal, AMissingOrLockedFileFails)
{
  const temp_dir dir;
  const std::string path = dir.file("locked.xls");
  std::string error;
  EXPECT_FALSE(xls_engine_80().patch(wide(path), &error));
  EXPECT_EQ(error, "Failed to open OLE document");
  write_workbook(path, biff_version::biff8);
  {
    const excel_workbook session(path, biff_version::biff8);  // holds the lock
    EXPECT_FALSE(xls_engine_80().patch(wide(path), &error));
    EXPECT_EQ(error, "Failed to open OLE document");
  }
  EXPECT_TRUE(xls_engine_80().patch(wide(path), &error)) << error;
}

struct loop_case {
  const char* what;
  std::uint32_t format;
  std::int32_t tables;
  bool split;
  std::uint32_t files;
  std::vector<std::string> restyled;  // of shop.xls, shop(1).xls, shop(2).xls, shop(3).xls
};

TEST(XlsConverterDoPatch, RestylesExactlyTheFilesTheRunWrote)
{
  const std::vector<std::string> names = {"shop.xls", "shop(1).xls", "shop(2).xls", "shop(3).xls"};
  const loop_case cases[] = {
      {"split run of three files", 1, 2, true, 3, {"shop.xls", "shop(1).xls", "shop(2).xls"}},
      {"split run of two files beside a user's shop(2) and shop(3)", 1, 2, true, 2, {"shop.xls", "shop(1).xls"}},
      {"run without split", 0, 1, false, 3, {"shop.xls"}},
      {"queries only", 1, 0, true, 3, {}},
      {".xlsx run", 2, 1, true, 3, {}},
  };
  for (const loop_case& c : cases) {
    SCOPED_TRACE(c.what);
    const temp_dir dir;
    std::vector<std::string> before;
    for (const std::string& name : names) {
      write_workbook(dir.file(name), c.format == 0 ? biff_version::biff5 : biff_version::biff8);
      before.push_back(read_file(dir.file(name)));
    }
    xls_converter converter(qvt_program::console);
    converter.format_version = c.format;
    converter.table_count = c.tables;
    converter.split_data = c.split;
    converter.do_patch(wide(dir.file("shop.xls")), c.files);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const bool restyled = std::find(c.restyled.begin(), c.restyled.end(), names[i]) != c.restyled.end();
      EXPECT_EQ(read_file(dir.file(names[i])) != before[i], restyled) << names[i];
    }
  }
}

TEST(XlsConverterDoPatch, NumberedNamesGoBeforeTheExtension)
{
  EXPECT_EQ(xls_converter::numbered_path(L"/out/shop.xls", 2), L"/out/shop(2).xls");
  EXPECT_EQ(xls_converter::numbered_path(L"/out/my.shop.xls", 10), L"/out/my.shop(10).xls");
  EXPECT_EQ(xls_converter::numbered_path(L"/out.d/shop", 1), L"/out.d/shop(1)");
}

TEST(XlsEmptyWorkbook, TheTemplateIsAWorkbookTheRestyleAccepts)
{
  const temp_dir dir;
  for (const biff_version version : {biff_version::biff5, biff_version::biff8}) {
    const std::string path = dir.file(std::string(name_of(version)) + "-empty.xls");
    const auto engine = engine_of(version);
    engine->write_empty_xls(wide(path));
    EXPECT_EQ(read_file(path).size(), engine->get_template_size());
    EXPECT_EQ(xlrd_cells(path), "S \"Sheet1\" 0 0\n");
    EXPECT_TRUE(engine->patch(wide(path)));
  }
  try {
    xls_engine_50().write_empty_xls(wide(dir.file("no-such-folder/empty.xls")));
    ADD_FAILURE() << "no error";
  } catch (const tk_exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open destination file for writing.");
    EXPECT_EQ(e.get_level(), 1u);
  }
  EXPECT_EQ(xls_engine_2010().get_template(), nullptr);
}

} // namespace

// A hand-made stream, so the counts and gaps the driver never writes can be
// set: FONT and XF records, one sheet whose row 0 has cells at chosen columns.
struct crafted_case {
  const char* what;
  bool biff8;
  int fonts, xfs;
  std::vector<std::uint16_t> header_columns;
  enum { blocks, no_blocks, zero_dbcell } index;
  std::uint16_t cell_xf;
  // Changed records (by their order in the stream, from 0) ...
  std::vector<int> changed_records;
  // ... of which these are cells, now with XF 16.
  std::vector<int> header_cells;
};

class crafted_stream {
public:
  explicit crafted_stream(const crafted_case& c)
  {
    const std::uint16_t version = c.biff8 ? 0x0600 : 0x0500;
    record(0x0809, u16(version) + u16(0x0005) + std::string(c.biff8 ? 12 : 4, '\0'));
    for (int i = 0; i < c.fonts; ++i)
      record(0x0031, u16(200) + std::string(10, '\0') + std::string(c.biff8 ? "\0\0\x05\0" : "\0\0\x05", c.biff8 ? 4 : 3) + "Arial");
    for (int i = 0; i < c.xfs; ++i)
      record(0x00E0, std::string(c.biff8 ? 20 : 16, '\0'));
    const std::size_t sheet_entry = record(0x0085, u32(0) + std::string(c.biff8 ? "\0\0\x01\0S" : "\0\0\x01S", c.biff8 ? 5 : 4)) + 4;
    record(0x000A, "");
    set_u32(s, sheet_entry, static_cast<std::uint32_t>(s.size()));

    record(0x0809, u16(version) + u16(0x0010) + std::string(c.biff8 ? 12 : 4, '\0'));
    const std::string rows = c.biff8 ? u32(0) + u32(2) : u16(0) + u16(2);
    const std::size_t index = record(0x020B, u32(0) + rows + u32(0) + (c.index == crafted_case::no_blocks ? "" : u32(0))) + 4;
    if (c.index == crafted_case::no_blocks) {
      record(0x000A, "");
      return;
    }
    const std::size_t row = record(0x0208, u16(0) + std::string(14, '\0'));
    record(0x0208, u16(1) + std::string(14, '\0'));
    std::size_t first_cell = s.size();
    for (const std::uint16_t column : c.header_columns)
      record(0x0203, u16(0) + u16(column) + u16(c.cell_xf) + std::string(8, '\0'));
    record(0x0203, u16(1) + u16(0) + u16(c.cell_xf) + std::string(8, '\0'));
    const std::size_t dbcell = record(0x00D7, u32(0) + u16(0) + u16(0));
    set_u32(s, dbcell + 4, static_cast<std::uint32_t>(dbcell - row));
    s[dbcell + 8] = static_cast<char>(first_cell - (row + 20));
    if (c.index == crafted_case::blocks)
      set_u32(s, index + (c.biff8 ? 16 : 12), static_cast<std::uint32_t>(dbcell));
    record(0x000A, "");
  }

  std::string s;

private:
  std::size_t record(std::uint16_t type, const std::string& data)
  {
    const std::size_t at = s.size();
    s += u16(type) + u16(static_cast<std::uint16_t>(data.size())) + data;
    return at;
  }
  static std::string u16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
  static std::string u32(std::uint32_t v)
  {
    return u16(static_cast<std::uint16_t>(v & 0xFFFF)) + u16(static_cast<std::uint16_t>(v >> 16));
  }
};

TEST(XlsRestyleWalk, WritesExactlyTheRecordsItsCountsReach)
{
  // Records: BOF, the FONTs, the XFs, BOUNDSHEET, EOF, sheet BOF, INDEX, two
  // ROWs, the header cells, one data cell, DBCELL, EOF.
  const crafted_case cases[] = {
      {"BIFF5, 30 XFs, a gap after column 2", false, 5, 30, {0, 1, 2, 4}, crafted_case::blocks, 15,
       {4, 21, 22, 27, 28, 29, 30, 31, 32, 33, 34, 35, 42, 43, 44}, {42, 43, 44}},
      {"BIFF8, 30 XFs: the regular writes stop at the 24th", true, 5, 30, {0, 1, 2}, crafted_case::blocks, 15,
       {4, 21, 22, 27, 28, 29, 42, 43, 44}, {42, 43, 44}},
      {"three fonts and 16 XFs: only the writes reached", false, 3, 16, {0, 1}, crafted_case::blocks, 15,
       {19, 26, 27}, {26, 27}},
      {"the header XF index is written whole", true, 4, 17, {0}, crafted_case::blocks, 0x0120,
       {4, 20, 21, 28}, {28}},
      {"row 0 not starting at column 0", false, 4, 17, {1, 2}, crafted_case::blocks, 15, {4, 20, 21}, {}},
      {"a sheet without row blocks", true, 4, 17, {}, crafted_case::no_blocks, 15, {4, 20, 21}, {}},
      {"a first DBCELL position of 0", false, 4, 17, {0, 1}, crafted_case::zero_dbcell, 15, {4, 20, 21}, {}},
  };
  for (const crafted_case& c : cases) {
    SCOPED_TRACE(c.what);
    const biff_version version = c.biff8 ? biff_version::biff8 : biff_version::biff5;
    const temp_dir dir;
    const std::string path = dir.file("crafted.xls");
    const std::string before = crafted_stream(c).s;
    write_compound(path, version, before);
    std::string error;
    ASSERT_TRUE(engine_of(version)->patch(wide(path), &error)) << error;
    const std::string after = stream_of(path, version);
    ASSERT_EQ(after.size(), before.size());

    std::vector<int> changed;
    int index = 0;
    for (std::size_t p = 0; p < before.size(); ++index) {
      const std::size_t size =
          4u + static_cast<unsigned char>(before[p + 2]) + 256u * static_cast<unsigned char>(before[p + 3]);
      const std::string was = before.substr(p, size), now = after.substr(p, size);
      if (was != now) {
        changed.push_back(index);
        const bool header_cell = std::find(c.header_cells.begin(), c.header_cells.end(), index) != c.header_cells.end();
        if (header_cell) {
          EXPECT_EQ(now.substr(0, 8) + now.substr(10), was.substr(0, 8) + was.substr(10)) << index;
          EXPECT_EQ(now.substr(8, 2), std::string("\x10\0", 2)) << index;
        }
        if (was[0] == '\x31' && was[1] == '\0') {  // a FONT keeps its name
          EXPECT_EQ(now.substr(16), was.substr(16));
        }
      }
      p += size;
    }
    EXPECT_EQ(changed, c.changed_records);
  }
}
