// Values that a workbook must keep as the server holds them, read back with
// openpyxl: times of day, dates no calendar holds, numbers a double cannot carry,
// texts with NULs, and texts far longer than a cell, cut exactly as a short one is.
#include "qvtbatch_test_support.h"

#include <gtest/gtest.h>

using namespace qvtbatch_test;

namespace {

// The most UTF-16 units the converter keeps of an .xlsx text.
constexpr int cell_units = 32766;

} // namespace

TEST_F(QvtbatchTest, ValuesKeepTheServersMeaningInTheWorkbook)
{
  sql_admin admin;
  scratch_database db(admin, "_values");
  db.run("SET SESSION sql_mode = 'ALLOW_INVALID_DATES'");
  db.run("CREATE TABLE v (id INT PRIMARY KEY, tm TIME, d DATE, zd DATE, bu BIGINT UNSIGNED,"
         " bi BIGINT, b64 BIT(64), dc DECIMAL(30,10), ds DECIMAL(65,30), tx TEXT, bl BLOB,"
         " lt LONGTEXT)");
  // lt: 20,000 CR LF pairs fold into LF before the cell's cut, so the source must
  // not be cut to the cell's size first; row 2 puts a surrogate pair at the limit.
  db.run("INSERT INTO v VALUES (1, '10:15:00', '2024-00-15', '0000-00-00', 18446744073709551615,"
         " 9007199254740992, 0xFFFFFFFFFFFFFFFF, '12345678901234567890.0123456789',"
         " '0.000000000000000000000000000001', 'a\\0b', 0x006162,"
         " CONCAT(REPEAT('\\r\\n', 20000), REPEAT('y', 40000))),"
         " (2, '-00:00:01', '2024-02-30', '2024-02-29', 12, -9007199254740993, b'1', '0.5', '0.1',"
         " CONCAT(CHAR(0), 'x'), 0x0061, CONCAT('ab', REPEAT('" + smiley + "', 20000)))");

  const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--blob2text",
                                                                       "--xls_ver=2", "--dest=out"});
  ASSERT_EQ(r.code, 0) << r;
  const std::vector<expected_sheet> expected = {
      {"v",
       {{"id", "tm", "d", "zd", "bu", "bi", "b64", "dc", "ds", "tx", "bl", "lt"},
        {1.0, "10:15:00", "2024-00-15", {}, "18446744073709551615", 9007199254740992.0,
         "18446744073709551615", "12345678901234567890.0123456789", 1e-30, "ab", "ab",
         repeated("\n", 20000) + repeated("y", cell_units - 20000)},
        {2.0, "-00:00:01", "2024-02-30", "2024-02-29", 12.0, "-9007199254740993", 1.0, 0.5, 0.1, "x",
         "a", "ab" + repeated(smiley, (cell_units - 2) / 2)}}}};
  EXPECT_EQ(workbook_differences(file("out.xlsx"), expected), "");
}
