// The .xlsx destination recordset: header row, the kind of cell each value
// becomes, and the row limit as an ordinary, reported condition.
#include "book_test_support.h"
#include "support/temp_dir.h"

#include "UDB/udb_field.h"
#include "UDB/udb_schema.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xlsx_worksheet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <limits>
#include <memory>
#include <string>

using XlsxBook::CSharedStrings;
using XlsxBook::CWorksheet;

// Every allocation of the test program is counted, so that a test can prove a
// stretch of work allocates nothing.
namespace {
std::atomic<std::size_t> allocations{0};
}

void* operator new(std::size_t size)
{
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size != 0 ? size : 1))
    return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
  return operator new(size, tag);
}
// The replaced pair matches (malloc, free); g++ cannot see that through inlining.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
  std::free(p);
}
void operator delete[](void* p) noexcept
{
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
  std::free(p);
}
#pragma GCC diagnostic pop

namespace {

udb_schema Schema(std::initializer_list<std::wstring> names)
{
  udb_schema schema;
  for (const std::wstring& name : names)
    schema.emplace_back().name = name;
  return schema;
}

void Add(udb_record& record, const ole_variant& value)
{
  record.emplace_back(L"f", 0u, value, false, false);
}

// A field as an engine may give it: its column's type reported for a NULL, or
// a text conversion that fails.
class engine_field : public udb_field {
public:
  engine_field(const ole_variant& value, VARTYPE column_type, bool text_fails)
      : udb_field(L"e", 0, value, false, false), column_type_(column_type), text_fails_(text_fails)
  {
  }
  VARTYPE get_type() const override { return column_type_; }
  std::wstring to_wstring() const override
  {
    if (text_fails_)
      throw tk_exception(std::string("Cannot convert"), tk_level_recoverable);
    return udb_field::to_wstring();
  }

private:
  VARTYPE column_type_;
  bool text_fails_;
};

class WorksheetTest : public ::testing::Test {
protected:
  WorksheetTest() : sheet_(1, {}, dir_.path().wstring()) { sheet_.m_sharedStrings = &strings_; }

  std::string Part() const { return read_file(dir_.file("xl/worksheets/sheet1.xml")); }
  // The cells of one row, as written.
  std::string Row(std::uint32_t r) const
  {
    const std::string part = Part();
    const std::string open = "<row r=\"" + std::to_string(r) + "\"";
    const auto begin = part.find(open);
    if (begin == std::string::npos)
      return "(no row)";
    const auto head_end = part.find('>', begin);
    if (part[head_end - 1] == '/')
      return "";
    return part.substr(head_end + 1, part.find("</row>", head_end) - head_end - 1);
  }
  std::string Text(std::uint32_t column, std::uint32_t row, std::string_view text)
  {
    const std::uint64_t index = strings_.Add(wide(text));
    return "<c r=\"" + plat::to_utf8(CWorksheet::MakeCellRef(column, row)) + "\" t=\"s\"><v>" +
           std::to_string(index) + "</v></c>";
  }
  static std::string Number(std::uint32_t column, std::uint32_t row, std::string_view v)
  {
    return "<c r=\"" + plat::to_utf8(CWorksheet::MakeCellRef(column, row)) + "\"><v>" +
           std::string(v) + "</v></c>";
  }

  temp_dir dir_;
  CSharedStrings strings_;
  CWorksheet sheet_;
};

} // namespace

TEST_F(WorksheetTest, HeaderRowKeepsColumnsAlignedPastEmptyNames)
{
  {
    xlsx_worksheet table(L"t", &sheet_, Schema({L"id", L"", std::wstring(L"na\0me", 5), L"x"}));
    EXPECT_EQ(table.get_schema().size(), 4u);
    table.save();
  }
  EXPECT_EQ(Row(1), Text(0, 1, "id") + Text(2, 1, "na") + Text(3, 1, "x"));
}

TEST_F(WorksheetTest, EachValueBecomesANumberOrATextCellByItsType)
{
  udb_record record;
  const ole_variant date(ole_date(std::wstring(L"2024-01-31 10:20:30")));
  const struct {
    ole_variant value;
    const char* number;  // the <v> of a number cell
    bool text;           // else a text cell of to_wstring, else no cell
  } cases[] = {
      {ole_variant(0), "0", false},
      {ole_variant(2.5), "2.5", false},
      {ole_variant(1.1f), "1.1", false},
      {ole_variant(static_cast<short>(-7)), "-7", false},
      {ole_variant(static_cast<unsigned char>(255)), "255", false},
      {ole_variant(std::int64_t{-9007199254740993}), "-9007199254740992", false},
      {ole_variant(std::numeric_limits<std::uint64_t>::max()), "18446744073709551616", false},
      {ole_variant::from_wstring(L"123.45", VT_DECIMAL), "123.45", false},
      {ole_variant::from_wstring(L"12.3456", VT_CY), "12.3456", false},
      {ole_variant(true), "1", false},
      {date, nullptr, true},
      {ole_variant(ole_date(std::wstring(L"2024-02-29 23:59:58.123456"))), nullptr, true},
      {ole_variant(ole_date(std::wstring(L"2024-02-29"))), nullptr, true},
      {ole_variant(ole_date(std::wstring(L"07:08:09"))), nullptr, true},
      {ole_variant(L"0"), nullptr, true},
      {ole_variant(ole_variant::byte_vector{0xAB, 0x01}), nullptr, true},
      {ole_variant(), nullptr, false},
      {ole_variant::from_wstring(L"", VT_NULL), nullptr, false},
      {ole_variant(L"Tom & Jerry's\t<x>"), nullptr, true},
  };
  for (const auto& c : cases)
    Add(record, c.value);
  {
    xlsx_worksheet table(L"t", &sheet_, Schema({}));
    table.append_record(record, 0);
    EXPECT_EQ(table.get_rows(), 1u);
    EXPECT_EQ(table.get_record_count(), 1u);
    table.save();
  }
  std::string expected;
  std::uint32_t column = 0;
  for (const auto& c : cases) {
    if (c.number)
      expected += Number(column, 2, c.number);
    else if (c.text)
      expected += Text(column, 2, plat::to_utf8(c.value.to_wstring()));
    ++column;
  }
  EXPECT_EQ(Row(2), expected);
}

TEST_F(WorksheetTest, NullInANumericColumnGivesNoCell)
{
  udb_record record;
  record.emplace_back<engine_field>(ole_variant::from_wstring(L"", VT_NULL), VT_I4, false);
  record.emplace_back<engine_field>(ole_variant(5), VT_I4, false);
  xlsx_worksheet table(L"t", &sheet_, Schema({L"a", L"b"}));
  table.append_record(record, 2);
  table.save();
  EXPECT_EQ(Row(2), Number(1, 2, "5"));
}

TEST_F(WorksheetTest, NoColumnsAndRecordsOfAnyLength)
{
  {
    xlsx_worksheet table(L"t", &sheet_, Schema({}));
    udb_record none;
    table.append_record(none, 0);
    udb_record three;
    for (int i = 1; i <= 3; ++i)
      Add(three, ole_variant(i));
    table.append_record(three, 3);
    table.save();
  }
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(Row(2), "");
  EXPECT_EQ(Row(3), Number(0, 3, "1") + Number(1, 3, "2") + Number(2, 3, "3"));
}

TEST_F(WorksheetTest, RowLimitStopsTheSheetAndReportsOnce)
{
  xlsx_worksheet table(L"orders", &sheet_, Schema({L"n"}), 3);
  udb_record record;
  Add(record, ole_variant(1));
  for (int i = 0; i < 3; ++i)
    table.append_record(record, 1);
  try {
    table.append_record(record, 1);
    FAIL() << "no exception";
  } catch (const xlsx_row_limit_exception& e) {
    EXPECT_EQ(e.get_level(), 0u);
    EXPECT_EQ(e.get_records_written(), 3u);
    EXPECT_EQ(e.get_table(), L"orders");
    EXPECT_EQ(std::string(e.what()),
              "Table 'orders' truncated: maximum number of rows (1,048,576) reached after 3 "
              "records");
  }
  EXPECT_EQ(table.get_rows(), 3u);
  table.save();
  EXPECT_EQ(Row(5), "(no row)");
  EXPECT_TRUE(book_test::xml_well_formed(dir_.file("xl/worksheets/sheet1.xml")));
}

TEST_F(WorksheetTest, RowLeftHalfWrittenByAFailedRecordCountsTowardsTheLimit)
{
  xlsx_worksheet table(L"t", &sheet_, Schema({L"n"}), 3);
  udb_record good;
  Add(good, ole_variant(1));
  udb_record bad;
  Add(bad, ole_variant(2));
  bad.emplace_back<engine_field>(ole_variant(L"x"), VT_BSTR, false);
  bad.emplace_back<engine_field>(ole_variant(ole_date(std::wstring(L"2024-01-31"))), VT_DATE,
                                 true);
  table.append_record(good, 1);
  EXPECT_THROW(table.append_record(bad, 3), tk_exception);
  table.append_record(good, 1);  // row 4 of the sheet; the half row 3 stays
  EXPECT_THROW(table.append_record(good, 1), xlsx_row_limit_exception);
  EXPECT_EQ(table.get_rows(), 2u);
  table.save();
  EXPECT_EQ(Row(3), Number(0, 3, "2") + Text(1, 3, "x"));
  EXPECT_EQ(Row(4), Number(0, 4, "1"));
  EXPECT_TRUE(book_test::xml_well_formed(dir_.file("xl/worksheets/sheet1.xml")));
}

TEST_F(WorksheetTest, TheLastRowOfTheGridIsWrittenAndTheNextRefused)
{
  xlsx_worksheet table(L"t", &sheet_, Schema({L"n"}));
  udb_record record;
  Add(record, ole_variant(7));
  for (std::uint32_t i = 0; i < xlsx_worksheet::max_data_rows; ++i)
    table.append_record(record, 1);
  EXPECT_THROW(table.append_record(record, 1), xlsx_row_limit_exception);
  table.save();
  // The head and the tail of a part of some 50 megabytes.
  std::ifstream file(dir_.file("xl/worksheets/sheet1.xml"), std::ios::binary);
  std::string head(4096, '\0');
  std::string tail(4096, '\0');
  file.read(head.data(), 4096);
  file.seekg(-4096, std::ios::end);
  file.read(tail.data(), 4096);
  EXPECT_NE(head.find("<dimension ref=\"A1:A1048576\"/>"), std::string::npos);
  EXPECT_NE(tail.find("<row r=\"1048576\" x14ac:dyDescent=\"0.25\"><c r=\"A1048576\"><v>7</v>"
                      "</c></row></sheetData>"),
            std::string::npos);
}

TEST_F(WorksheetTest, SaveThatCannotWriteThePartRaisesALevel1Error)
{
  temp_dir other;
  std::filesystem::create_directories(other.path() / "xl/worksheets");
  std::filesystem::create_symlink("/dev/full", other.file("xl/worksheets/sheet1.xml"));
  CWorksheet full(1, {}, other.path().wstring());
  full.m_sharedStrings = &strings_;
  xlsx_worksheet table(L"t", &full, Schema({L"n"}));
  try {
    table.save();
    FAIL() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1u);
    EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos);
  }
}

TEST_F(WorksheetTest, CellsOfKnownTextsNumbersAndNullsAllocateNothing)
{
  xlsx_worksheet table(L"t", &sheet_, Schema({L"a", L"b", L"c", L"d", L"e"}));
  udb_record record;
  Add(record, ole_variant(42));
  Add(record, ole_variant(L"Tom & Jerry's \u20AC"));
  Add(record, ole_variant(-0.125));
  Add(record, ole_variant());
  Add(record, ole_variant(std::wstring(300, L'x')));
  table.append_record(record, 5);  // first use: the texts enter the table
  const std::size_t before = allocations.load();
  for (int i = 0; i < 50000; ++i)
    table.append_record(record, 5);
  EXPECT_EQ(allocations.load() - before, 0u);
  table.save();
}
