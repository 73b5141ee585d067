// The format's limits: sheet names (code page or UTF-16, cut to 31 units and
// kept unique), text lengths at the cut, the last row of each version, and the
// container at both ends (mini stream under 4,096 bytes, DIFAT past ~7 MB).
#include "excel_test_support.h"

using namespace excel_test;
using plat::dao::excel_column;
using plat::dao::excel_workbook;
namespace dao = plat::dao;

namespace {

// One line per sheet name as xlrd reads them.
std::string sheet_names(const std::string& path)
{
  return python("import sys, xlrd\n"
                "for s in xlrd.open_workbook(sys.argv[1]).sheets(): print(s.name)\n",
                path);
}

class ExcelLimits : public testing::TestWithParam<biff_version> {};

TEST_P(ExcelLimits, SheetNamesAreCutToThirtyOneUnitsAndKeptUnique)
{
  const std::wstring long_name(40, L'x');
  const std::wstring pair_at_cut = std::wstring(30, L'p') + L"\U0001F600tail";
  const struct {
    biff_version version;
    std::vector<std::wstring> given;
    std::string expected;  // UTF-8, one name a line
  } cases[] = {
      {biff_version::biff8,
       {L"\u00dcber \u540d\u524d", long_name, long_name + L"Y", L"a/b", pair_at_cut, L"",
        L"Sat\u0131\u015f", L"SATI\u015e", L"\ufb01", L"fi"},
       "Über 名前\n" + std::string(31, 'x') + "\n" + std::string(29, 'x') + "~1\na_b\n" +
           std::string(30, 'p') + "\nSheet6\nSatış\nSATIŞ~1\nﬁ\nfi~1\n"},
      {biff_version::biff5,
       {L"\u00dcber \u540d\u524d", L"\u20acuro", long_name, L"X" + std::wstring(30, L'x') + L"Z",
        L"Stra\u00dfe", L"STRASSE"},
       "Über __\n€uro\n" + std::string(31, 'x') + "\nX" + std::string(28, 'x') + "~1\nStraße\nSTRASSE~1\n"},
  };
  for (const auto& c : cases) {
    if (c.version != GetParam())
      continue;
    const temp_dir dir;
    const std::string path = dir.file("names.xls");
    {
      excel_workbook book(path, c.version);
      for (const std::wstring& name : c.given)
        book.add_sheet(name, {{L"c", dao::db_text}});
      // The full names stay the session's names; a taken one is refused.
      EXPECT_EQ(book.sheet_name(1), c.given[1]);
      EXPECT_EQ(book.find_sheet(c.given[1]), 1);
      EXPECT_EQ(dao_error_of([&] { book.add_sheet(L"\u00fcBER \u540d\u524d", {}); }), 3010);
      book.close();
    }
    EXPECT_EQ(sheet_names(path), c.expected);
  }
}

TEST_P(ExcelLimits, TextsAreCutAtTheFormatsLimitNeverInsideAPair)
{
  const std::wstring smile = L"\U0001F600";
  const struct {
    biff_version version;
    std::wstring given;
    std::string expected;  // length in units and the last unit, as xlrd reads
  } cases[] = {
      {biff_version::biff5, std::wstring(254, L'a'), "254 97"},
      {biff_version::biff5, std::wstring(255, L'b'), "255 98"},
      {biff_version::biff5, std::wstring(254, L'a') + L"\u00e9z", "255 233"},
      {biff_version::biff8, std::wstring(32766, L'a'), "32766 97"},
      {biff_version::biff8, std::wstring(32765, L'a') + smile, "32767 56832"},   // the pair fits
      {biff_version::biff8, std::wstring(32766, L'a') + smile, "32766 97"},      // it would not
      {biff_version::biff8, std::wstring(32765, L'\u4e2d') + L"abc", "32767 98"},
      {biff_version::biff8, std::wstring(40000, L'b'), "32767 98"},
  };
  const biff_version version = GetParam();
  {
    const temp_dir dir;
    const std::string path = dir.file("texts.xls");
    std::string expected;
    {
      excel_workbook book(path, version);
      const std::size_t sheet = book.add_sheet(L"T", {{L"memo", dao::db_memo}});
      for (const auto& c : cases) {
        if (c.version != version)
          continue;
        append(book, sheet, {text(c.given)});
        expected += c.expected + "\n";
      }
      book.close();
    }
    // Python counts code points; the UTF-16 form is what the file holds.
    EXPECT_EQ(python("import sys, xlrd\n"
                     "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                     "for r in range(1, s.nrows):\n"
                     "    u = s.cell_value(r, 0).encode('utf-16-le')\n"
                     "    print(len(u) // 2, int.from_bytes(u[-2:], 'little'))\n",
                     path),
              expected);
  }
}

// The last row of each version, the one after refused; the big one takes the
// container past 109 FAT sectors (DIFAT), which olefile and gsf must follow.
TEST_P(ExcelLimits, TheLastRowIsTheFormatsLastAndTheNextIsRefused)
{
  const struct {
    biff_version version;
    std::uint32_t data_rows;
    const char* stream;
  } cases[] = {{biff_version::biff5, 16383, "Book"}, {biff_version::biff8, 65535, "Workbook"}};
  for (const auto& c : cases) {
    if (c.version != GetParam())
      continue;
    const temp_dir dir;
    const std::string path = dir.file("full.xls");
    std::vector<excel_column> columns;
    for (int i = 0; i < 7; ++i)
      columns.push_back({L"n" + std::to_wstring(i), dao::db_double});
    {
      excel_workbook book(path, c.version);
      const std::size_t sheet = book.add_sheet(L"Full", columns);
      std::vector<value> row(7);
      for (std::uint32_t r = 1; r <= c.data_rows; ++r) {
        for (int i = 0; i < 7; ++i)
          row[static_cast<std::size_t>(i)] = r8(r + i / 10.0);
        append(book, sheet, row);
      }
      EXPECT_EQ(dao_error_of([&] { append(book, sheet, row); }), 3434);
      EXPECT_EQ(book.sheet_rows(sheet), c.data_rows);
      book.close();
    }
    EXPECT_EQ(python("import sys, xlrd\n"
                     "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                     "print(s.nrows, s.cell_value(s.nrows - 1, 6))\n",
                     path),
              std::to_string(c.data_rows + 1) + " " + std::to_string(c.data_rows) + ".6\n");
    if (c.version == biff_version::biff8) {
      EXPECT_GT(std::filesystem::file_size(path), 7u << 20);
    }
    EXPECT_EQ(python("import sys, olefile\n"
                     "o = olefile.OleFileIO(sys.argv[1])\n"
                     "print(o.listdir(), o.get_size(o.listdir()[0][0]) > 4096)\n",
                     path),
              std::string("[['") + c.stream + "']] True\n");
  }
}

TEST_P(ExcelLimits, ASmallWorkbookLivesInTheMiniStream)
{
  const biff_version version = GetParam();
  {
    const temp_dir dir;
    const std::string path = dir.file("small.xls");
    {
      excel_workbook book(path, version);
      const std::size_t sheet = book.add_sheet(L"Small", {{L"a", dao::db_long}, {L"b", dao::db_text}});
      append(book, sheet, {i4(1), text(L"one")});
      book.close();
    }
    const char* stream = version == biff_version::biff8 ? "Workbook" : "Book";
    EXPECT_EQ(python("import sys, olefile\n"
                     "o = olefile.OleFileIO(sys.argv[1])\n"
                     "n = o.listdir()[0][0]\n"
                     "print(n, o.get_size(n) < 4096, o.openstream(n).read(2) == b'\\x09\\x08')\n",
                     path),
              std::string(stream) + " True True\n");
    const std::string listed = test_support::command_output("gsf list '" + path + "' 2>&1");
    EXPECT_NE(listed.find(stream), std::string::npos) << listed;
    EXPECT_NE(xlrd_cells(path).find("1,1 s \"one\""), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(dao, ExcelLimits, testing::Values(biff_version::biff5, biff_version::biff8),
                         [](const auto& p) { return name_of(p.param); });

} // namespace
