// Every kind of value the driver writes, read back by xlrd from BIFF5 and BIFF8
// workbooks, with the refusals that leave a row unwritten.
#include "excel_test_support.h"

#include <sstream>

using namespace excel_test;
using plat::dao::excel_column;
using plat::dao::excel_workbook;
namespace dao = plat::dao;

namespace {

value cy(long long ten_thousandths)
{
  value x;
  x.v.vt = VT_CY;
  x.v.cyVal.int64 = ten_thousandths;
  return x;
}

value decimal(const wchar_t* digits)
{
  value x;
  const value t = text(digits);
  EXPECT_EQ(VariantChangeType(&x.v, &t.v, 0, VT_DECIMAL), S_OK);
  return x;
}

value i8(long long n)
{
  value x;
  x.v.vt = VT_I8;
  x.v.llVal = n;
  return x;
}

const std::vector<excel_column> columns = {
    {L"Long", dao::db_long},     {L"Double", dao::db_double}, {L"Money", dao::db_currency},
    {L"Flag", dao::db_boolean},  {L"When", dao::db_date},     {L"WhenText", dao::db_text},
    {L"Memo", dao::db_memo},     {L"Dec", dao::db_decimal},   {L"Big", dao::db_big_int},
};

std::vector<std::vector<value>> rows()
{
  return {
      {i4(42), r8(-1.5), cy(123456), boolean(true), date(45000.5), date(45000), text(L"h\u00e9llo \u20ac"),
       decimal(L"1234.5678"), i8(9007199254740993LL)},
      {null(), r8(1e300), null(), boolean(false), date(0.25), date(0.25), text(L"two\nlines \u4e2d"),
       null(), null()},
      {null(), null(), null(), null(), date(60), date(45000.5), text(L""), null(), null()},
      {null(), null(), null(), null(), date(61.75), null(), null(), null(), null()},
      {null(), null(), null(), null(), null(), null(), null(), null(), null()},
      {null(), text(L"12345678901234567890"), null(), null(), date(2), i4(7), boolean(true)},
  };
}

// What xlrd reads for the rows above, after the header.
const char* const expected_biff8 =
    "1,0 n 42.0 General\n"
    "1,1 n -1.5 General\n"
    "1,2 n 12.3456 #,##0.00\n"
    "1,3 b 1\n"
    "1,4 d 2023-03-15 12:00:00 yyyy\\-mm\\-dd\\ hh:mm:ss\n"
    "1,5 s \"2023-03-15\"\n"
    "1,6 s \"héllo €\"\n"
    "1,7 n 1234.5678 General\n"
    "1,8 n 9007199254740992.0 General\n"
    "2,1 n 1e+300 General\n"
    "2,3 b 0\n"
    "2,4 d 0000-00-00 06:00:00 hh:mm:ss\n"
    "2,5 s \"06:00:00\"\n"
    "2,6 s \"two\\nlines 中\"\n"
    "3,4 d #59.0 yyyy\\-mm\\-dd\n"
    "3,5 s \"2023-03-15 12:00:00\"\n"
    "3,6 s \"\"\n"
    "4,4 d 1900-03-01 18:00:00 yyyy\\-mm\\-dd\\ hh:mm:ss\n"
    "6,1 s \"12345678901234567890\"\n"
    "6,4 d #1.0 yyyy\\-mm\\-dd\n"
    "6,5 s \"7\"\n"
    "6,6 s \"True\"\n";

// Excel 5.0 keeps dates as text and has no number formats of its own; texts
// are code page 1252.
const char* const expected_biff5 =
    "1,0 n 42.0 General\n"
    "1,1 n -1.5 General\n"
    "1,2 n 12.3456 General\n"
    "1,3 b 1\n"
    "1,4 s \"2023-03-15 12:00:00\"\n"
    "1,5 s \"2023-03-15\"\n"
    "1,6 s \"héllo €\"\n"
    "1,7 n 1234.5678 General\n"
    "1,8 n 9007199254740992.0 General\n"
    "2,1 n 1e+300 General\n"
    "2,3 b 0\n"
    "2,4 s \"06:00:00\"\n"
    "2,5 s \"06:00:00\"\n"
    "2,6 s \"two\\nlines ?\"\n"
    "3,4 s \"1900-02-28\"\n"
    "3,5 s \"2023-03-15 12:00:00\"\n"
    "3,6 s \"\"\n"
    "4,4 s \"1900-03-01 18:00:00\"\n"
    "6,1 s \"12345678901234567890\"\n"
    "6,4 s \"1900-01-01\"\n"
    "6,5 s \"7\"\n"
    "6,6 s \"True\"\n";

// The cell lines of xlrd's output past the header row.
std::string data_cells(const std::string& report)
{
  std::istringstream in(report);
  std::string out, line;
  while (std::getline(in, line))
    if (line.rfind("S ", 0) != 0 && line.rfind("0,", 0) != 0)
      out += line + "\n";
  return out;
}

class ExcelValues : public testing::TestWithParam<biff_version> {};

TEST_P(ExcelValues, EveryKindOfValueReadsBackAsWritten)
{
  const temp_dir dir;
  const std::string path = dir.file("values.xls");
  {
    excel_workbook book(path, GetParam());
    const std::size_t sheet = book.add_sheet(L"Values", columns);
    for (const auto& row : rows())
      append(book, sheet, row);
    EXPECT_EQ(book.sheet_rows(sheet), 6u);
    book.close();
  }
  const std::string report = xlrd_cells(path);
  std::string header = "S \"Values\" 7 9\n";
  for (std::size_t c = 0; c < columns.size(); ++c)
    header += "0," + std::to_string(c) + " s \"" + plat::to_utf8(columns[c].name) + "\"\n";
  EXPECT_EQ(report.substr(0, header.size()), header) << report;
  EXPECT_EQ(data_cells(report), GetParam() == biff_version::biff8 ? expected_biff8 : expected_biff5);
  // Columns whose header is longer than the default width are widened to it.
  EXPECT_EQ(python("import sys, xlrd\n"
                   "s = xlrd.open_workbook(sys.argv[1], formatting_info=True).sheet_by_index(0)\n"
                   "print(sorted((c, i.width) for c, i in s.colinfo_map.items()))\n",
                   path),
            "[(5, 2560)]\n");
}

TEST_P(ExcelValues, RefusedValuesLeaveTheirRowUnwritten)
{
  const temp_dir dir;
  const std::string path = dir.file("refused.xls");
  excel_workbook book(path, GetParam());
  const std::size_t sheet = book.add_sheet(L"T", {{L"n", dao::db_long}, {L"d", dao::db_date}});
  value unknown;
  unknown.v.vt = VT_ERROR;
  const struct {
    std::vector<value> row;
    int error;
  } cases[] = {
      {{i4(1), date(1.5)}, 3349},          // 1899-12-31: no Excel date
      {{i4(2), date(-1)}, 3349},           // before 1899-12-30
      {{i4(3), date(2958466)}, 3349},      // 10000-01-01
      {{unknown, date(3)}, 3421},          // no cell kind for an error value
      {{i4(4), r8(0), i4(5)}, 3219},       // more values than columns
  };
  for (const auto& c : cases)
    EXPECT_EQ(dao_error_of([&] { append(book, sheet, c.row); }), c.error);
  append(book, sheet, {i4(6), date(2958465.5)});  // 9999-12-31 12:00 is the last
  EXPECT_EQ(book.sheet_rows(sheet), 1u);
  book.close();
  const std::string report = xlrd_cells(path);
  EXPECT_NE(report.find("1,0 n 6.0"), std::string::npos) << report;
  EXPECT_EQ(report.find("2,"), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(dao, ExcelValues, testing::Values(biff_version::biff5, biff_version::biff8),
                         [](const auto& p) { return name_of(p.param); });

} // namespace
