// The table-name file of --tab_file=: names in file order, blanks kept, empty
// lines skipped, CR LF and a byte-order mark read alike, a missing table
// reported on standard error while the run goes on, and the lines it refuses.
#include "qvtbatch_test_support.h"

#include <gtest/gtest.h>

using namespace qvtbatch_test;

namespace {

std::string joined(const std::vector<std::string>& lines, const std::string& end)
{
  std::string text;
  for (const std::string& line : lines)
    text += line + end;
  return text;
}

} // namespace

TEST_F(QvtbatchTest, TableFileSelectsItsNamesInOrderWhateverItsEncodingMarksAndLineEnds)
{
  cli_database db;
  const std::vector<std::string> lines = {"people", "", "  spaced", "nope", "", cli_database::unicode_table,
                                          "orders "};
  const struct {
    const char* what;
    std::string bytes;
  } files[] = {
      {"LF", joined(lines, "\n")},
      {"CR LF", joined(lines, "\r\n")},
      {"mark and LF", "\xEF\xBB\xBF" + joined(lines, "\n")},
      {"mark and CR LF, no final line end", "\xEF\xBB\xBF" + joined(lines, "\r\n") + "last"},
      {"mark alone on the first line", "\xEF\xBB\xBF\r\n" + joined(lines, "\r\n")},
  };
  for (const auto& f : files) {
    write_file(file("tables.txt"), f.bytes);
    std::filesystem::remove(file("out.xlsx"));
    const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2",
                                                                         "--dest=out.xlsx",
                                                                         "--tab_file=tables.txt"});
    const bool has_last = f.bytes.ends_with("last");
    ASSERT_EQ(r.code, 0) << f.what << "\n" << r;
    EXPECT_EQ(r.out, "Converting database " + db.name() + (has_last ? "(6 tables)\n" : "(5 tables)\n") +
                         "Converting table people (2 records)\n"
                         "Converting table   spaced (1 records)\n"
                         "Converting table " +
                         cli_database::unicode_table + " (1 records)\n")
        << f.what;
    // Blanks are part of a name: "orders " is no table.
    EXPECT_EQ(r.err, std::string("Table nope not exists\nTable orders  not exists\n") +
                         (has_last ? "Table last not exists\n" : ""))
        << f.what;
    EXPECT_EQ(workbook_differences(file("out.xlsx"), {cli_database::people_sheet(false),
                                                      cli_database::spaced_sheet(),
                                                      cli_database::unicode_sheet()}),
              "")
        << f.what;
  }
}

TEST_F(QvtbatchTest, SecondTableFileReplacesTheFirstAndMissingTablesAreReportedWhenSilent)
{
  cli_database db;
  write_file(file("first.txt"), "people\norders\n");
  write_file(file("second.txt"), "orders\nnope\n");
  const run_result r =
      run(server_options() + std::vector<std::string>{"--silent", "--src=" + db.name(), "--xls_ver=2",
                                                       "--dest=out.xlsx", "--tab_file=first.txt",
                                                       "--tab_file=second.txt"});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.out, "Converting table orders (2 records)\n");
  EXPECT_EQ(r.err, "Table nope not exists\n");
  EXPECT_EQ(workbook_differences(file("out.xlsx"), {cli_database::orders_sheet()}), "");
}

TEST_F(QvtbatchTest, TableFileLinesThatNameNoTableEndTheProgramBeforeAnyConnection)
{
  const struct {
    const char* what;
    std::string bytes;
    std::string out;
    std::string err;
  } cases[] = {
      {"not UTF-8",
       "people\n\xC3\x28zz\n",
       "Error:\nCannot convert to UNICODE string: Invalid or incomplete multibyte or wide character\n",
       ""},
      {"not UTF-8 after a mark",
       "\xEF\xBB\xBFpeople\n\xFF\n",
       "Error:\nCannot convert to UNICODE string: Invalid or incomplete multibyte or wide character\n",
       ""},
      {"a line of 255 characters",
       "people\n" + std::string(255, 'x') + "\n",
       "",
       "Line 2 of the table names file is longer than 254 characters.\n"
       "Please verify the correct path/name was given.\n"},
  };
  // A password that would be refused: the file is read before any connection.
  for (const auto& c : cases) {
    write_file(file("tables.txt"), c.bytes);
    const run_result r = run(server_options() + std::vector<std::string>{"--pswd=wrong", "--src=shop",
                                                                         "--xls_ver=2", "--dest=out.xlsx",
                                                                         "--tab_file=tables.txt"});
    EXPECT_EQ(r.code, 255) << c.what << "\n" << r;
    EXPECT_EQ(r.out, c.out) << c.what;
    EXPECT_EQ(r.err, c.err) << c.what;
    EXPECT_FALSE(file_exists(file("out.xlsx"))) << c.what;
  }

  // A line of 254 characters is still a name (of no table here).
  cli_database db;
  write_file(file("tables.txt"), "people\n" + std::string(254, 'x') + "\n");
  const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2",
                                                                       "--dest=out.xlsx",
                                                                       "--tab_file=tables.txt"});
  EXPECT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.err, "Table " + std::string(254, 'x') + " not exists\n");
}
