// The worksheet part writer and the shared-string table: the exact part text,
// cell references, numbers that read back exactly, escaping that keeps every
// character XML allows, the true dimension, titles, and write failures.
#include "book_test_support.h"
#include "support/temp_dir.h"

#include "TK/tk_exception.h"
#include "xlsx/part_folder.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_file_writer.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>

using XlsxBook::CellDataDbl;
using XlsxBook::CellDataStr;
using XlsxBook::CFileWriter;
using XlsxBook::CSharedStrings;
using XlsxBook::CWorksheet;
using XlsxBook::CXmlEmitter;
using XlsxBook::WritePartFile;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

class SheetTest : public ::testing::Test {
protected:
  std::unique_ptr<CWorksheet> NewSheet(std::uint32_t number = 1,
                                       const std::vector<XlsxBook::ColumnWidth>& widths = {})
  {
    auto sheet = std::make_unique<CWorksheet>(number, widths, dir_.path().wstring());
    sheet->m_sharedStrings = &strings_;
    return sheet;
  }
  std::string PartPath(std::uint32_t number = 1) const
  {
    return dir_.file("xl/worksheets/sheet" + std::to_string(number) + ".xml");
  }
  std::string Part(std::uint32_t number = 1) const { return read_file(PartPath(number)); }
  // The text from <sheetData to the end of sheetData.
  std::string SheetData(std::uint32_t number = 1) const
  {
    const std::string part = Part(number);
    const auto begin = part.find("<sheetData");
    auto end = part.find("</sheetData>");
    end = end == std::string::npos ? part.find("/>", begin) + 2 : end + 12;
    return part.substr(begin, end - begin);
  }
  std::string Dimension(std::uint32_t number = 1) const
  {
    const std::string part = Part(number);
    const auto begin = part.find("<dimension");
    return part.substr(begin, part.find("/>", begin) + 2 - begin);
  }
  // The shared-strings part as the table writes it.
  std::string Sst() const
  {
    const std::string path = dir_.file("sst.xml");
    std::string error;
    EXPECT_TRUE(WritePartFile(wide(path), [this](CXmlEmitter& xml) { strings_.WritePart(xml); },
                              error))
        << error;
    return read_file(path);
  }

  temp_dir dir_;
  CSharedStrings strings_;
};

} // namespace

TEST_F(SheetTest, OneRowGivesTheExactPart)
{
  auto sheet = NewSheet();
  sheet->OpenRow();
  sheet->AddCell(CellDataStr{L"a"});
  sheet->AddCell(CellDataDbl{1.5});
  sheet->CloseRow();
  ASSERT_TRUE(sheet->Save());
  EXPECT_EQ(Part(),
            kDecl +
                "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
                "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
                "mc:Ignorable=\"x14ac\" "
                "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\">"
                "<dimension ref=\"A1:B1\"/>" +
                std::string(8, ' ') +
                "<sheetViews><sheetView tabSelected=\"0\" workbookViewId=\"0\"/></sheetViews>"
                "<sheetFormatPr defaultRowHeight=\"15\" x14ac:dyDescent=\"0.25\"/>"
                "<sheetData><row r=\"1\" x14ac:dyDescent=\"0.25\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                "<c r=\"B1\"><v>1.5</v></c></row></sheetData>"
                "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
                "header=\"0.3\" footer=\"0.3\"/><pageSetup paperSize=\"9\" "
                "orientation=\"portrait\"/></worksheet>");
}

TEST_F(SheetTest, ColumnWidthsRowHeightsAndStylesAreWritten)
{
  auto sheet = NewSheet(1, {{0, 2, 12.5f}});
  sheet->OpenRow(30);
  sheet->AddCell(CellDataDbl{1, 2});
  sheet->AddCell(CellDataStr{L"x", 3});
  ASSERT_TRUE(sheet->Save());
  const std::string part = Part();
  EXPECT_NE(part.find("<cols><col min=\"1\" max=\"3\" width=\"12.5\"/></cols><sheetData>"),
            std::string::npos);
  EXPECT_NE(part.find("<row r=\"1\" x14ac:dyDescent=\"0.25\" ht=\"30\" customHeight=\"1\">"
                      "<c r=\"A1\" s=\"2\"><v>1</v></c><c r=\"B1\" s=\"3\" t=\"s\"><v>0</v></c>"),
            std::string::npos);
}

TEST(CellReference, ColumnsAreBijectiveBase26)
{
  const struct {
    std::uint32_t column, row;
    const wchar_t* ref;
  } cases[] = {{0, 1, L"A1"},       {25, 1, L"Z1"},      {26, 2, L"AA2"},
               {27, 3, L"AB3"},     {701, 1, L"ZZ1"},    {702, 1, L"AAA1"},
               {16383, 1, L"XFD1"}, {0, 1048576, L"A1048576"}};
  for (const auto& c : cases)
    EXPECT_EQ(CWorksheet::MakeCellRef(c.column, c.row), c.ref) << c.column;
  EXPECT_EQ(CWorksheet::MakeCellRef((std::uint64_t{27} << 32) | 9), L"AB9");
  char buffer[CWorksheet::kCellRefMax];
  EXPECT_EQ(CWorksheet::MakeCellRef(0xFFFFFFFFu, 0xFFFFFFFFu, buffer), CWorksheet::kCellRefMax);
}

TEST_F(SheetTest, EmptyTextWritesNoCellButTakesItsColumn)
{
  auto sheet = NewSheet();
  sheet->OpenRow();
  sheet->AddCell(CellDataStr{L"a"});
  sheet->AddCell(CellDataStr{L""});
  sheet->AddCell(CellDataStr{std::wstring_view(L"\0hidden", 7)});  // empty up to its NUL
  sheet->AddCell(CellDataStr{L"b"});
  ASSERT_TRUE(sheet->Save());
  EXPECT_EQ(SheetData(), "<sheetData><row r=\"1\" x14ac:dyDescent=\"0.25\">"
                         "<c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"D1\" t=\"s\"><v>1</v></c>"
                         "</row></sheetData>");
  EXPECT_EQ(strings_.Size(), 2u);
}

TEST_F(SheetTest, SheetWithoutRowsAndRowWithoutCellsAreEmptyElements)
{
  auto empty = NewSheet(1);
  ASSERT_TRUE(empty->Save());
  EXPECT_EQ(SheetData(1), "<sheetData/>");
  EXPECT_EQ(Dimension(1), "<dimension ref=\"A1\"/>");

  auto rows = NewSheet(2);
  rows->OpenRow();
  rows->OpenRow();
  rows->AddCell(CellDataDbl{7});
  ASSERT_TRUE(rows->Save());
  EXPECT_EQ(SheetData(2), "<sheetData><row r=\"1\" x14ac:dyDescent=\"0.25\"/>"
                          "<row r=\"2\" x14ac:dyDescent=\"0.25\"><c r=\"A2\"><v>7</v></c></row>"
                          "</sheetData>");
  EXPECT_EQ(Dimension(2), "<dimension ref=\"A1:A2\"/>");
}

TEST_F(SheetTest, NumbersReadBackAsTheSameDouble)
{
  const struct {
    double value;
    const char* text;  // null: no cell
  } cases[] = {
      {1234567, "1234567"},
      {0.1, "0.1"},
      {-2.5, "-2.5"},
      {9007199254740993.0, "9007199254740992"},
      {1e21, "1e+21"},
      {1.0 / 3, "0.3333333333333333"},
      {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::nan(""), nullptr},
      {std::numeric_limits<double>::infinity(), nullptr},
      {-std::numeric_limits<double>::infinity(), nullptr},
  };
  auto sheet = NewSheet();
  for (const auto& c : cases) {
    sheet->OpenRow();
    sheet->AddCell(CellDataDbl{c.value});
    sheet->AddCell(CellDataDbl{1});  // the column after a refused value still advances
  }
  ASSERT_TRUE(sheet->Save());
  const std::string data = SheetData();
  std::uint32_t row = 0;
  for (const auto& c : cases) {
    ++row;
    const std::string r = std::to_string(row);
    const std::string first = "<c r=\"A" + r + "\"><v>" + (c.text ? c.text : "") + "</v></c>";
    EXPECT_EQ(data.find(first) != std::string::npos, c.text != nullptr) << row;
    EXPECT_NE(data.find("<c r=\"B" + r + "\"><v>1</v></c>"), std::string::npos) << row;
  }
}

TEST_F(SheetTest, SaveClosesAnOpenRowAndASecondSaveWritesNothing)
{
  auto sheet = NewSheet();
  sheet->OpenRow();
  sheet->AddCell(CellDataDbl{1});
  ASSERT_TRUE(sheet->Save());  // the row is still open
  const std::string first = Part();
  EXPECT_NE(first.find("</c></row></sheetData><pageMargins"), std::string::npos);
  EXPECT_TRUE(book_test::xml_well_formed(PartPath()));

  EXPECT_TRUE(sheet->Save());
  sheet->OpenRow();
  sheet->AddCell(CellDataDbl{2});
  EXPECT_EQ(Part(), first);
}

TEST_F(SheetTest, ColumnsPastXfdAreNotWritten)
{
  auto sheet = NewSheet();
  sheet->OpenRow();
  for (std::uint32_t i = 0; i <= XlsxBook::kMaxSheetColumns; ++i)
    sheet->AddCell(CellDataDbl{static_cast<double>(i)});
  ASSERT_TRUE(sheet->Save());
  const std::string part = Part();
  EXPECT_NE(part.find("<c r=\"XFD1\"><v>16383</v></c></row>"), std::string::npos);
  EXPECT_EQ(Dimension(), "<dimension ref=\"A1:XFD1\"/>");
}

TEST_F(SheetTest, DimensionIsFilledInAfterTheHeadReachedTheDisk)
{
  auto sheet = NewSheet();
  for (int r = 0; r < 60000; ++r) {  // a few megabytes: the head is flushed long before Save
    sheet->OpenRow();
    sheet->AddCell(CellDataDbl{static_cast<double>(r)});
    sheet->AddCell(CellDataStr{L"text"});
    sheet->AddCell(CellDataDbl{0.5});
  }
  sheet->OpenRow();  // a last row without cells does not widen the range
  ASSERT_TRUE(sheet->Save());
  EXPECT_GT(std::filesystem::file_size(PartPath()), std::size_t{2} << 20);
  EXPECT_EQ(Dimension(), "<dimension ref=\"A1:C60000\"/>");
  EXPECT_TRUE(book_test::xml_well_formed(PartPath()));
}

TEST_F(SheetTest, TitlesAreCutTo31Utf16UnitsWithoutSplittingAPair)
{
  const std::wstring emoji(1, static_cast<wchar_t>(0x1F600));
  const struct {
    std::wstring title, stored;
  } cases[] = {
      {std::wstring(31, L'a'), std::wstring(31, L'a')},
      {std::wstring(32, L'b'), std::wstring(31, L'b')},
      {std::wstring(30, L'c') + emoji, std::wstring(30, L'c')},
      {std::wstring(29, L'd') + emoji, std::wstring(29, L'd') + emoji},
      {std::wstring(L"ab\0cd", 5), L"ab"},
  };
  auto sheet = NewSheet();
  for (const auto& c : cases) {
    sheet->AssignTitle(c.title);
    EXPECT_EQ(sheet->GetTitle(), c.stored);
  }
  sheet->AssignTitle(L"Tom & Jerry's <list>");
  EXPECT_EQ(sheet->GetSafeTitle(), L"Tom &amp; Jerry&#39;s &lt;list&gt;");
}

TEST(SafeString, EscapesMarkupAndDropsOnlyWhatXmlForbids)
{
  const std::wstring emoji(1, static_cast<wchar_t>(0x1F600));
  const struct {
    std::wstring in, out;
  } cases[] = {
      {L"Tom & Jerry's", L"Tom &amp; Jerry&#39;s"},
      {L"a<b>c", L"a&lt;b&gt;c"},
      {L"say \"hi\"", L"say &quot;hi&quot;"},
      {L"&amp;", L"&amp;amp;"},
      {L"a/b\\c", L"a&#47;b&#92;c"},
      {L"Price: $5 {x} | y ~", L"Price: $5 {x} | y ~"},
      {L"\u20AC10 \u2013 \u2019\u00A0\u201C\u2026", L"\u20AC10 \u2013 \u2019\u00A0\u201C\u2026"},
      {L"\u0416\u65E5\u672C" + emoji, L"\u0416\u65E5\u672C" + emoji},
      {L"a\tb\nc\rd", L"a&#9;b&#10;c&#13;d"},
      {std::wstring(L"x\u0001\u001F\uFFFE\uFFFFy") + static_cast<wchar_t>(0xD800) +
           static_cast<wchar_t>(0x110000) + std::wstring(1, L'\0') + L"z",
       L"xyz"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CWorksheet::get_safe_string(c.in), c.out) << plat::to_utf8(c.in);
}

TEST_F(SheetTest, PartThatCannotBeCreatedRaisesALevel1Error)
{
  std::filesystem::create_directories(dir_.path() / "xl/worksheets/sheet1.xml");
  try {
    NewSheet();
    FAIL() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1u);
    EXPECT_NE(std::string(e.what()).find("Cannot create temporary file '"), std::string::npos)
        << e.what();
  }
}

TEST_F(SheetTest, WriteFailureMakesSaveFailAndKeepsFailing)
{
  std::filesystem::create_directories(dir_.path() / "xl/worksheets");
  std::filesystem::create_symlink("/dev/full", PartPath());
  auto sheet = NewSheet();
  sheet->OpenRow();
  sheet->AddCell(CellDataDbl{1});
  EXPECT_FALSE(sheet->Save());
  EXPECT_NE(sheet->GetLastError().find("No space left on device"), std::string::npos)
      << sheet->GetLastError();
  EXPECT_FALSE(sheet->Save());
}

TEST_F(SheetTest, SameTextInTwoSheetsSharesOneIndex)
{
  auto one = NewSheet(1);
  auto two = NewSheet(2);
  for (CWorksheet* sheet : {one.get(), two.get()}) {
    sheet->OpenRow();
    sheet->AddCell(CellDataStr{L"first"});
    sheet->AddCell(CellDataStr{sheet == one.get() ? L"only one" : L"first"});
    ASSERT_TRUE(sheet->Save());
  }
  EXPECT_NE(SheetData(1).find("<c r=\"B1\" t=\"s\"><v>1</v></c>"), std::string::npos);
  EXPECT_NE(SheetData(2).find("<c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>0</v></c>"),
            std::string::npos);
  EXPECT_EQ(Sst(), kDecl +
                       "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                       "count=\"2\" uniqueCount=\"2\"><si><t>first</t></si><si><t>only "
                       "one</t></si></sst>");
}

TEST_F(SheetTest, SharedTextsAreEscapedWhenWrittenAndKeepEveryAllowedCharacter)
{
  const std::wstring emoji(1, static_cast<wchar_t>(0x1F600));
  const struct {
    std::wstring text;
    std::string item;
  } cases[] = {
      {L"x & y", "<si><t>x &amp; y</t></si>"},
      {L"<>&\"'/\\", "<si><t>&lt;&gt;&amp;&quot;&#39;&#47;&#92;</t></si>"},
      {L"  indented", "<si><t xml:space=\"preserve\">  indented</t></si>"},
      {L"line\n", "<si><t xml:space=\"preserve\">line\n</t></si>"},
      {L"a\tb", "<si><t>a\tb</t></si>"},
      {L"ab", "<si><t>ab</t></si>"},
      {L"a\r\nb", "<si><t>a&#13;\nb</t></si>"},
      {L"\u00C4\u00D6", "<si><t>\xC3\x84\xC3\x96</t></si>"},
      {L"\u20AC\u4E2D" + emoji, "<si><t>\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80</t></si>"},
      {L"_x0041_ a_b _x41_", "<si><t>_x005F_x0041_ a_b _x41_</t></si>"},
      {L"\u0001\u0002", "<si><t></t></si>"},
      {L"x\u0007y", "<si><t>xy</t></si>"},
  };
  for (const auto& c : cases)
    strings_.Add(c.text);
  ASSERT_EQ(strings_.Size(), std::size(cases));  // "a\tb" and "ab" stay distinct
  const std::string sst = Sst();
  std::string items;
  for (const auto& c : cases)
    items += c.item;
  EXPECT_NE(sst.find("uniqueCount=\"12\">" + items + "</sst>"), std::string::npos) << sst;

  const std::string path = dir_.file("sst.xml");
  EXPECT_TRUE(book_test::xml_well_formed(path));
}

TEST_F(SheetTest, TextsAreCutAtExcels32767Units)
{
  const std::wstring emoji(1, static_cast<wchar_t>(0x1F600));
  EXPECT_EQ(strings_.At(strings_.Add(std::wstring(40000, L'a'))).size(), 32767u);
  // An emoji that would need units 32,767 and 32,768 is left out whole.
  EXPECT_EQ(strings_.At(strings_.Add(std::wstring(32766, L'b') + emoji)),
            std::string(32766, 'b'));
  EXPECT_EQ(strings_.At(strings_.Add(std::wstring(32765, L'c') + emoji)).size(), 32765u + 4);
  EXPECT_EQ(strings_.Add(std::wstring(32767, L'a')), 0u);  // the cut text is the same text
}

TEST(SharedStrings, ManyDistinctTextsKeepTheirFirstIndex)
{
  CSharedStrings strings;
  constexpr int n = 200000;
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(strings.Add(L"t" + std::to_wstring(i)), static_cast<std::uint64_t>(i));
  EXPECT_EQ(strings.Add(L""), static_cast<std::uint64_t>(n));
  for (int i = n - 1; i >= 0; i -= 997)
    ASSERT_EQ(strings.Add(L"t" + std::to_wstring(i)), static_cast<std::uint64_t>(i));
  EXPECT_EQ(strings.Size(), static_cast<std::size_t>(n) + 1);
  EXPECT_EQ(strings.At(12345), "t12345");
  EXPECT_EQ(strings.At(n), "");
}
