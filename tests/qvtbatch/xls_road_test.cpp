// Whole runs of qvtbatch into the two .xls formats against the test server: the
// workbooks read back with xlrd value for value and style for style, and with
// LibreOffice; sheets that outgrow their format, split or cut; values no cell
// of a format holds as they are, and names at the file system's limits.
#include "qvtbatch_test_support.h"
#include "support/libreoffice_profile.h"

#include <gtest/gtest.h>

#include <algorithm>


using namespace qvtbatch_test;

namespace {

// The workbook as xlrd reads it against the expected sheets, the header row's
// boldness and the data cells' wrap flag (null: not checked): the differences.
std::string xls_differences(const std::string& workbook, const std::vector<expected_sheet>& sheets,
                            const char* header_bold = "null", const char* wrap = "null")
{
  const temp_dir scratch;
  const std::string expected = scratch.file("expected.json");
  std::string json = workbook_check::to_json(sheets);
  json.pop_back();
  json += std::string(", \"header_bold\": ") + header_bold + ", \"wrap\": " + wrap + "}";
  write_file(expected, json);
  const std::filesystem::path checker = std::filesystem::path(QVT_TESTS_DIR) / "qvtbatch" / "check_xls.py";
  int status = 0;
  std::string report = workbook_check::command_output(
      "/usr/bin/python3 '" + checker.string() + "' '" + workbook + "' '" + expected + "' 2>&1", &status);
  if (status != 0 && report.empty())
    report = "checker failed with status " + std::to_string(status);
  return report;
}

std::string date_cell(const std::string& moment) { return "=date " + moment; }

// A table "texts" beside the shared ones: a long text of emoji and a text with
// letters that code page 1252 does not have.
void add_texts_table(cli_database& db)
{
  const std::string table = "`" + db.name() + "`.texts";
  db.admin().run("CREATE TABLE " + table + " (id INT PRIMARY KEY, t LONGTEXT)");
  db.admin().run("INSERT INTO " + table + " VALUES (1, CONCAT('ab', REPEAT('" + smiley +
                 "', 20000))), (2, 'Zo\xC3\xAB \xE6\x9D\x8E')");
}

std::vector<std::string> args(const cli_database& db, std::vector<std::string> more)
{
  return server_options() + std::vector<std::string>{"--src=" + db.name()} + more;
}

// A table of the given number of rows, ids 1 to rows.
void add_numbered_table(sql_admin& admin, const std::string& database, const std::string& name,
                        int rows)
{
  admin.run("CREATE TABLE `" + database + "`.`" + name + "` (id INT PRIMARY KEY) " +
            "SELECT seq AS id FROM seq_1_to_" + std::to_string(rows));
}

// Sheet "name" with the header "id" and the ids first to last.
expected_sheet numbered_sheet(const std::string& name, int first, int last)
{
  expected_sheet sheet{name, {{"id"}}};
  for (int id = first; id <= last; ++id)
    sheet.rows.push_back({static_cast<double>(id)});
  return sheet;
}

int lines_starting(const std::string& text, const std::string& start)
{
  int n = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    n += line.rfind(start, 0) == 0 ? 1 : 0;
  return n;
}

} // namespace

TEST_F(QvtbatchTest, OldFormatsKeepEveryValueAndAreRestyled)
{
  cli_database db;
  add_texts_table(db);
  const std::string people_name = "Zo\xC3\xAB M\xC3\xBC" "ller";
  // Excel 2000: dates are date cells, texts keep 32,766 UTF-16 units.
  const std::vector<expected_sheet> biff8 = {
      cli_database::spaced_sheet(),
      {"orders",
       {{"id", "person_id", "placed", "total"},
        {10.0, 1.0, date_cell("2024-01-02 03:04:05"), 19.99},
        {11.0, 2.0, date_cell("2024-02-29 23:59:59"), 0.5}}},
      {"people",
       {{"id", "name", "born", "score", "photo"},
        {1.0, people_name, date_cell("1990-05-17 00:00:00"), 12.5, "<Binary Field>"},
        {2.0, "\xE6\x9D\x8E\xE9\x9B\xB7", date_cell("2001-12-31 00:00:00"), {}, {}}}},
      {"texts",
       {{"id", "t"}, {1.0, "ab" + repeated(smiley, (32766 - 2) / 2)}, {2.0, "Zo\xC3\xAB \xE6\x9D\x8E"}}},
      cli_database::unicode_sheet()};
  // Excel 5.0: dates are texts, texts keep 254 units, what code page 1252 lacks is '?'.
  const std::vector<expected_sheet> biff5 = {
      cli_database::spaced_sheet(),
      cli_database::orders_sheet(),
      {"people",
       {{"id", "name", "born", "score", "photo"},
        {1.0, people_name, "1990-05-17", 12.5, "<Binary Field>"},
        {2.0, "??", "2001-12-31", {}, {}}}},
      {"texts", {{"id", "t"}, {1.0, "ab" + repeated("?", (254 - 2) / 2)}, {2.0, "Zo\xC3\xAB ?"}}},
      cli_database::unicode_sheet()};
  const struct {
    std::string format;
    std::vector<std::string> flags;
    const std::vector<expected_sheet>& sheets;
    const char* wrap;
    std::string first_csv_line;
  } cases[] = {
      {"--xls_ver=1", {}, biff8, "false", "a"},
      {"--xls_ver=1", {"--wrap"}, biff8, "true", "a"},
      {"--xls_ver=0", {"--wrap"}, biff5, "true", "a"},
      {"--xls_ver=0", {}, biff5, "false", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format + (c.flags.empty() ? "" : " " + c.flags.front()));
    std::filesystem::remove(file("out.xls"));
    const run_result r = run(args(db, c.flags + std::vector<std::string>{c.format, "--dest=out"}));
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines_starting(r.out, "Converting table "), 5) << r;
    EXPECT_EQ(xls_differences(file("out.xls"), c.sheets, "true", c.wrap), "");
  }

  // LibreOffice reads the workbooks too (the first sheet, as CSV), both in one start.
  for (const std::string version : {"1", "0"})
    ASSERT_EQ(run(args(db, {"--xls_ver=" + version, "--dest=lo" + version})).code, 0) << version;
  int status = 0;
  workbook_check::command_output("cd '" + dir() + "' && soffice -env:UserInstallation=" +
                                     test_support::libreoffice_profile(dir()) +
                                     " --headless --convert-to csv lo1.xls lo0.xls >/dev/null 2>&1",
                                 &status);
  for (const std::string version : {"1", "0"})
    EXPECT_EQ(read_file(file("lo" + version + ".csv")), "a\n7\n") << "--xls_ver=" << version;
}

TEST_F(QvtbatchTest, SheetsPastTheFormatsLastRowStopWithOneReportOrGoOnInNumberedWorkbooks)
{
  cli_database db;
  // Sorted by name: "big" first, then the shared tables; "after" shows the run goes on.
  add_numbered_table(db.admin(), db.name(), "big", 70000);
  write_file(file("two.txt"), "big\norders\n");
  const expected_sheet orders_biff8 = {"orders",
                                       {{"id", "person_id", "placed", "total"},
                                        {10.0, 1.0, date_cell("2024-01-02 03:04:05"), 19.99},
                                        {11.0, 2.0, date_cell("2024-02-29 23:59:59"), 0.5}}};
  const struct {
    std::string format;
    int limit;
    const expected_sheet& orders;
  } formats[] = {{"--xls_ver=1", 65535, orders_biff8},
                 {"--xls_ver=0", 16383, cli_database::orders_sheet()}};
  for (const auto& f : formats) {
    SCOPED_TRACE(f.format);
    for (const std::string p : {"out.xls", "out(1).xls", "out(2).xls", "out(3).xls", "out(4).xls"})
      std::filesystem::remove(file(p));

    run_result r = run(args(db, {f.format, "--tab_file=two.txt", "--dest=out"}));
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(lines_starting(r.out, "Error:"), 1) << r;
    EXPECT_NE(r.out.find("only the first " + std::to_string(f.limit) + " of 70000 records"),
              std::string::npos)
        << r;
    EXPECT_EQ(xls_differences(file("out.xls"), {numbered_sheet("big", 1, f.limit), f.orders}), "");
    EXPECT_FALSE(file_exists(file("out(1).xls")));

    r = run(args(db, {f.format, "--tab_file=two.txt", "--split", "--dest=out"}));
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(lines_starting(r.out, "Error:"), 0) << r;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(xls_differences(file("out.xls"), {numbered_sheet("big", 1, f.limit), f.orders}, "true"), "");
    int first = f.limit + 1;
    int k = 1;
    for (; first <= 70000; ++k, first += f.limit) {
      const int last = std::min(70000, first + f.limit - 1);
      EXPECT_EQ(xls_differences(file("out(" + std::to_string(k) + ").xls"),
                                {numbered_sheet("big", first, last)}, "true"),
                "")
          << k;
    }
    EXPECT_FALSE(file_exists(file("out(" + std::to_string(k) + ").xls")));
  }

  // A later run with split data replaces the numbered workbooks of the earlier
  // one: the stale ones go, up to the first missing number, and a file past
  // that gap is left alone.
  write_file(file("out(6).xls"), "past the gap");
  write_file(file("small.txt"), "orders\n");
  const run_result r = run(args(db, {"--xls_ver=1", "--tab_file=small.txt", "--split", "--dest=out"}));
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(xls_differences(file("out.xls"), {orders_biff8}), "");
  for (int k = 1; k <= 4; ++k)
    EXPECT_FALSE(file_exists(file("out(" + std::to_string(k) + ").xls"))) << k;
  EXPECT_EQ(read_file(file("out(6).xls")), "past the gap");
}

TEST_F(QvtbatchTest, DatesNoDateCellHoldsAreTheServersTextAndEveryValueKeepsItsDigitsAndItsRow)
{
  sql_admin admin;
  scratch_database db(admin, "_xls_dates");
  db.run("CREATE TABLE v (id INT, d DATE, dt DATETIME(6), t TIME(6), f FLOAT)");
  db.run("INSERT INTO v VALUES (1, '0050-03-04', '0099-12-31 23:59:59', '10:15:30.25', 3.14159),"
         " (2, '1899-06-01', '1899-12-30 10:15:00', NULL, -2.5),"
         " (3, '1900-01-01', '2024-01-02 03:04:05.123456', '00:00:00.000001', 0.1),"
         // The end of time and the last half second of a day: rounded to the
         // second they would be year 10000 or the next midnight.
         " (4, '9999-12-31', '9999-12-31 23:59:59.999999', '23:59:59.5', NULL),"
         " (5, NULL, '9999-12-31 23:59:59.5', '23:59:59.999999', NULL),"
         " (6, NULL, '2020-01-01 23:59:59.5', NULL, NULL)");
  // Queries without a name get "Sheet" and their sheet's number, as on .xlsx.
  write_file(file("p.qvt"), server_profile(db.name(), "=SELECT 1 AS a\r\nv=\r\n=SELECT 2 AS b\r\n"));
  // Every format prints a date as text the same way: the server's digits.
  const grid as_text = {{"id", "d", "dt", "t", "f"},
                        {1.0, "0050-03-04", "0099-12-31 23:59:59", "10:15:30.250000", 3.14159},
                        {2.0, "1899-06-01", "1899-12-30 10:15:00", {}, -2.5},
                        {3.0, "1900-01-01", "2024-01-02 03:04:05.123456", "00:00:00.000001", 0.1},
                        {4.0, "9999-12-31", "9999-12-31 23:59:59.999999", "23:59:59.500000"},
                        {5.0, {}, "9999-12-31 23:59:59.500000", "23:59:59.999999"},
                        {6.0, {}, "2020-01-01 23:59:59.500000"}};
  // Excel 2000's date cells hold what a date cell can, fractions of a second
  // too, each with the number format of what it holds: a time of day, a day, or both.
  const grid biff8 = {{"id", "d", "dt", "t", "f"},
                      {1.0, "0050-03-04", "0099-12-31 23:59:59", date_cell("0000-00-00 10:15:30.250000"), 3.14159},
                      {2.0, "1899-06-01", "1899-12-30 10:15:00", {}, -2.5},
                      {3.0, date_cell("1900-01-01 00:00:00"), date_cell("2024-01-02 03:04:05.123456"),
                       date_cell("0000-00-00 00:00:00.000001"), 0.1},
                      {4.0, date_cell("9999-12-31 00:00:00"), date_cell("9999-12-31 23:59:59.999999"),
                       date_cell("0000-00-00 23:59:59.500000")},
                      {5.0, {}, date_cell("9999-12-31 23:59:59.500000"), date_cell("0000-00-00 23:59:59.999999")},
                      {6.0, {}, date_cell("2020-01-01 23:59:59.500000")}};
  const auto sheets = [](const grid& rows) {
    return std::vector<expected_sheet>{{"Sheet1", {{"a"}, {1.0}}}, {"v", rows}, {"Sheet3", {{"b"}, {2.0}}}};
  };
  const struct {
    std::vector<std::string> options;
    const grid& rows;
  } cases[] = {
      {{"--xls_ver=1"}, biff8},
      {{"--xls_ver=1", "--date2str"}, as_text},
      {{"--xls_ver=0"}, as_text},
      {{"--xls_ver=2"}, as_text},
  };
  for (const auto& c : cases) {
    const std::string destination = c.options[0] == "--xls_ver=2" ? "v.xlsx" : "v.xls";
    SCOPED_TRACE(c.options.back());
    std::filesystem::remove(file(destination));
    const run_result r = run(std::vector<std::string>{"--profile=p.qvt", "--dest=v"} + c.options);
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(r.out.find("Error:"), std::string::npos) << r;
    EXPECT_EQ(r.err, "");
    const std::string differences = destination == "v.xlsx" ? workbook_differences(file(destination), sheets(c.rows))
                                                            : xls_differences(file(destination), sheets(c.rows));
    EXPECT_EQ(differences, "");
  }
}

TEST_F(QvtbatchTest, TableWiderThanAnOldFormatSheetKeepsItsFirstColumnsWithOneNotice)
{
  sql_admin admin;
  scratch_database db(admin, "_wide");
  std::string columns;
  std::string values;
  grid rows(2);
  for (int i = 1; i <= 300; ++i) {
    columns += (i > 1 ? ", c" : "c") + std::to_string(i) + " INT";
    values += (i > 1 ? ", " : "") + std::to_string(i);
    if (i <= 255) {
      rows[0].emplace_back(std::in_place_index<2>, "c" + std::to_string(i));
      rows[1].emplace_back(std::in_place_index<1>, i);
    }
  }
  db.run("CREATE TABLE wide (" + columns + ")");
  db.run("INSERT INTO wide VALUES (" + values + ")");
  db.run("CREATE TABLE zlast (a INT)");
  db.run("INSERT INTO zlast VALUES (7)");
  const run_result r = run(server_options() +
                           std::vector<std::string>{"--src=" + db.name(), "--xls_ver=1", "--dest=wide"});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.err, "Table wide will be truncated up to 255 columns.\n");
  EXPECT_EQ(xls_differences(file("wide.xls"), {{"wide", rows}, {"zlast", {{"a"}, {7.0}}}}), "");
}

TEST_F(QvtbatchTest, OldFormatsKeepValuesTheServerHandsAsTextAsTextCells)
{
  sql_admin admin;
  scratch_database db(admin, "_xls_values");
  db.run("SET SESSION sql_mode = 'ALLOW_INVALID_DATES'");
  db.run("CREATE TABLE v (bu BIGINT UNSIGNED, dc DECIMAL(30,10), d DATE, n INT)");
  db.run("INSERT INTO v VALUES (18446744073709551615, '12345678901234567890.0123456789', '2024-02-30', 5)");
  const grid rows = {{"bu", "dc", "d", "n"},
                     {"18446744073709551615", "12345678901234567890.0123456789", "2024-02-30", 5.0}};
  for (const std::string format : {"--xls_ver=1", "--xls_ver=0"}) {
    SCOPED_TRACE(format);
    const run_result r = run(server_options() +
                             std::vector<std::string>{"--src=" + db.name(), format, "--dest=v" + format.substr(10)});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(xls_differences(file("v" + format.substr(10) + ".xls"), {{"v", rows}}), "");
  }
}

TEST_F(QvtbatchTest, OldFormatsTakeDestinationNamesUpToTheFileSystemsLimit)
{
  cli_database db;
  write_file(file("one.txt"), "  spaced\n");
  std::string cjk;
  for (int i = 0; i < 81; ++i)
    cjk += "\xE5\x90\x8D";  // 81 characters of three bytes: 247 bytes with ".xls"
  const std::string longest(251, 'n');  // 255 bytes with ".xls"
  for (const std::string& name : {cjk, longest}) {
    for (const std::string format : {"--xls_ver=0", "--xls_ver=1"}) {
      SCOPED_TRACE(format + ", " + std::to_string(name.size() + 4) + " bytes");
      const run_result r = run(args(db, {format, "--tab_file=one.txt", "--dest=" + name}));
      ASSERT_EQ(r.code, 0) << r;
      EXPECT_EQ(r.out.find("Error:"), std::string::npos) << r;
      EXPECT_EQ(xls_differences(file(name + ".xls"), {cli_database::spaced_sheet()}), "");
      std::filesystem::remove(file(name + ".xls"));
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1) << "only one.txt is left";
    }
  }
}

TEST_F(QvtbatchTest, OneRunWritesEverySheetOnceAndSplitTablesShareTheirNumberedWorkbooks)
{
  sql_admin admin;
  scratch_database db(admin, "_xls_tables");
  for (const auto& [name, rows] : {std::pair{"a", 20000}, {"b", 3}, {"c", 17000}})
    db.run(std::string("CREATE TABLE ") + name + " (id INT PRIMARY KEY) SELECT seq AS id FROM seq_1_to_" +
           std::to_string(rows));
  const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=0",
                                                                       "--split", "--dest=out"});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(xls_differences(file("out.xls"), {numbered_sheet("a", 1, 16383), numbered_sheet("b", 1, 3),
                                              numbered_sheet("c", 1, 16383)},
                            "true"),
            "");
  EXPECT_EQ(xls_differences(file("out(1).xls"), {numbered_sheet("a", 16384, 20000), numbered_sheet("c", 16384, 17000)},
                            "true"),
            "");
  EXPECT_FALSE(file_exists(file("out(2).xls")));
}

TEST_F(QvtbatchTest, SplitRunReplacesTheNumberedWorkbooksItFoundAndNeverRemovesOnesPastTheirFirstGap)
{
  sql_admin admin;
  scratch_database db(admin, "_xls_split");
  // Two numbered workbooks: 16,383 rows in out.xls and in out(1).xls, one in out(2).xls.
  db.run("CREATE TABLE t (id INT PRIMARY KEY) SELECT seq AS id FROM seq_1_to_32767");
  const struct {
    const char* what;
    std::vector<int> before;  // numbered files there before the run
    std::vector<int> kept;    // of those past the new set, still the user's afterwards
  } cases[] = {
      {"no first one: a later number is someone else's", {3}, {3}},
      {"past the gap, a number of the new set is replaced by its workbook", {2, 4}, {4}},
      {"the run's earlier set goes", {1, 2, 3, 4}, {}},
      {"past the gap it began with", {1, 3, 4}, {3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (int k = 1; k <= 4; ++k)
      std::filesystem::remove(file("out(" + std::to_string(k) + ").xls"));
    for (const int k : c.before)
      write_file(file("out(" + std::to_string(k) + ").xls"), "mine");
    const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=0",
                                                                         "--split", "--dest=out"});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(xls_differences(file("out(1).xls"), {numbered_sheet("t", 16384, 32766)}), "");
    EXPECT_EQ(xls_differences(file("out(2).xls"), {numbered_sheet("t", 32767, 32767)}), "");
    for (int k = 3; k <= 4; ++k) {
      const std::string sibling = file("out(" + std::to_string(k) + ").xls");
      const bool kept = std::find(c.kept.begin(), c.kept.end(), k) != c.kept.end();
      EXPECT_EQ(file_exists(sibling), kept) << k;
      if (kept) {
        EXPECT_EQ(read_file(sibling), "mine") << k;
      }
    }
  }
}

TEST_F(QvtbatchTest, AQuerysRowsReachItsSheetsInItsOwnOrderInEveryFormat)
{
  sql_admin admin;
  scratch_database db(admin, "_order");
  // Read in the table's order, the ids would come out 20000 down to 1.
  db.run("CREATE TABLE t (k INT PRIMARY KEY, id INT) SELECT seq AS k, 20001 - seq AS id FROM seq_1_to_20000");
  write_file(file("p.qvt"), server_profile(db.name(), "q=SELECT id FROM t ORDER BY id;\r\n"));
  const struct {
    std::vector<std::string> options;
    std::vector<std::vector<expected_sheet>> workbooks;  // the destination, then its numbered ones
  } cases[] = {
      {{"--xls_ver=2"}, {{numbered_sheet("q", 1, 20000)}}},
      {{"--xls_ver=1"}, {{numbered_sheet("q", 1, 20000)}}},
      {{"--xls_ver=0", "--split"}, {{numbered_sheet("q", 1, 16383)}, {numbered_sheet("q", 16384, 20000)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.front());
    const std::string extension = c.options.front() == "--xls_ver=2" ? ".xlsx" : ".xls";
    const run_result r = run(std::vector<std::string>{"--profile=p.qvt", "--dest=o"} + c.options);
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(r.out.find("Error:"), std::string::npos) << r;
    for (std::size_t k = 0; k < c.workbooks.size(); ++k) {
      const std::string workbook = file(k == 0 ? "o" + extension : "o(" + std::to_string(k) + ")" + extension);
      EXPECT_EQ(extension == ".xlsx" ? workbook_differences(workbook, c.workbooks[k])
                                     : xls_differences(workbook, c.workbooks[k]),
                "")
          << k;
    }
    EXPECT_FALSE(file_exists(file("o(" + std::to_string(c.workbooks.size()) + ")" + extension)));
  }
}

TEST_F(QvtbatchTest, SplitRunWhoseNumberedNameCannotExistEndsBeforeARowIsLost)
{
  sql_admin admin;
  scratch_database db(admin, "_xls_long_split");
  db.run("CREATE TABLE big (id INT PRIMARY KEY) SELECT seq AS id FROM seq_1_to_65536");
  // 253 bytes with ".xls": the workbook's name fits, "(1)" takes it past 255.
  const std::string name(249, 'n');
  for (const std::string format : {"--xls_ver=0", "--xls_ver=1"}) {
    SCOPED_TRACE(format);
    write_file(file(name + ".xls"), "previous workbook");
    const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), format, "--split",
                                                                         "--dest=" + name});
    EXPECT_EQ(r.code, 255) << r;
    // The report names the numbered workbook where the user would look for it.
    const std::size_t report = r.out.find("Error:");
    ASSERT_NE(report, std::string::npos) << r;
    EXPECT_EQ(r.out.substr(report),
              "Error:\nbig: '" + file(name + "(1).xls") + "' is not a valid path: File name too long\n");
    EXPECT_EQ(read_file(file(name + ".xls")).substr(0, 32), "previous workbook");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1) << "only the old workbook is left";
  }
}
