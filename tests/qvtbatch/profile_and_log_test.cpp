// --profile= between other options (earlier ones overwritten, later ones kept,
// the connection taken from the profile alone) and --logfile= (emptied at each
// run, only progress and error lines, CR LF line ends).
#include "qvtbatch_test_support.h"
#include "support/regex_match.h"

#include <gtest/gtest.h>

using namespace qvtbatch_test;

namespace {

std::string profile_text(const std::string& database, const std::string& dest)
{
  const test_server_info& server = test_server();
  return "[Generic settings]\r\n"
         "src=" + database + "\r\n"
         "dest=" + dest + "\r\n"
         "[MS Excel settings]\r\n"
         "format version=2\r\n"
         "[MySQL settings]\r\n"
         "host=" + server.host + "\r\n"
         "port=" + std::to_string(server.port) + "\r\n"
         "user=" + server.user + "\r\n"
         "password=" + server.password + "\r\n"
         "[Selected Tables]\r\n"
         "people=\r\n";
}

std::vector<std::string> lines_of(const std::string& text, const std::string& end)
{
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
    lines.push_back(text.substr(start, at - start));
  if (start != text.size())
    lines.push_back(text.substr(start) + "<no line end>");
  return lines;
}

} // namespace

TEST_F(QvtbatchTest, ProfileOverwritesEarlierOptionsAndLaterOptionsOverwriteIt)
{
  cli_database db;
  write_file(file("shop.qvt"), profile_text(db.name(), file("from_profile.xlsx")));
  // The connection options around the profile would fail; the profile's count.
  const run_result r = run({"--host=127.0.0.2", "--pswd=wrong", "--src=no_such_db", "--xls_ver=0",
                            "--profile=shop.qvt", "--port=1", "--dest=after", "--blob2text"});
  ASSERT_EQ(r.code, 0) << r;
  // The profile's tables count although they wait among the queries.
  EXPECT_EQ(r.out, "Converting database " + db.name() + "(1 tables)\nConverting table people (2 records)\n");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(file_exists(file("from_profile.xlsx")));
  EXPECT_EQ(workbook_differences(file("after.xlsx"), {cli_database::people_sheet(true)}), "");
}

TEST_F(QvtbatchTest, FileThatIsNoProfileLeavesTheOptionsInCharge)
{
  cli_database db;
  write_file(file("broken.qvt"), "src=elsewhere\n[Generic settings]\n");
  const run_result r = run(server_options() + std::vector<std::string>{"--profile=broken.qvt",
                                                                       "--src=" + db.name(), "--xls_ver=2",
                                                                       "--dest=out.xlsx",
                                                                       "--tab_file=tables.txt"});
  // The table file does not exist: proves the options after the profile are read.
  EXPECT_EQ(r.code, 255) << r;
  EXPECT_EQ(r.err, "Table names file does not exist.\nPlease verify the correct path/name was given.\n");

  write_file(file("tables.txt"), "orders\n");
  const run_result ok = run(server_options() + std::vector<std::string>{"--profile=broken.qvt",
                                                                        "--src=" + db.name(), "--xls_ver=2",
                                                                        "--dest=out.xlsx",
                                                                        "--tab_file=tables.txt"});
  ASSERT_EQ(ok.code, 0) << ok;
  EXPECT_EQ(workbook_differences(file("out.xlsx"), {cli_database::orders_sheet()}), "");
}

TEST_F(QvtbatchTest, LogFileIsEmptiedAtEachRunAndHoldsOnlyProgressAndErrorLines)
{
  cli_database db;
  write_file(file("run.log"), "a line of an older run\r\n");
  const std::vector<std::string> args =
      server_options() + std::vector<std::string>{"--logfile=run.log", "--src=" + db.name(), "--xls_ver=2",
                                                  "--dest=out.xlsx", "--tab_file=tables.txt"};
  write_file(file("tables.txt"), "people\nnope\n");
  for (int pass = 1; pass <= 2; ++pass) {
    const run_result r = run(args);
    ASSERT_EQ(r.code, 0) << r;
    const std::vector<std::string> lines = lines_of(read_file(file("run.log")), "\r\n");
    const std::string stamp = R"(\d\d/\d\d/\d{4} at \d\d:\d\d:\d\d)";
    const std::vector<std::string> patterns = {
        "Connecting to MySQL server\\.\\.\\.",
        "Conversion started on " + stamp,
        "Opening MySQL database '" + db.name() + "'",
        "Converting database " + db.name() + " \\(2 tables\\)",
        "Converting table people \\(2 records\\)",
        "Table 'people' \\(2 records\\) is converted",
        "",  // that line carries a line end of its own
        "Conversion ended on " + stamp,
    };
    ASSERT_EQ(lines.size(), patterns.size()) << "pass " << pass << "\n" << read_file(file("run.log"));
    for (std::size_t i = 0; i < lines.size(); ++i)
      EXPECT_TRUE(test_regex::matches(lines[i], patterns[i]))
          << "pass " << pass << " line " << i << ": " << lines[i];
  }
}

TEST_F(QvtbatchTest, LogFileRecordsTheErrorsThatEndTheProgram)
{
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string log;
  } cases[] = {
      {"missing destination", {"--logfile=run.log", "--src=shop", "--xls_ver=2"},
       "You should enter destination MS Excel spredsheet name\r\n"},
      {"silent and a bad port",
       {"--silent", "--logfile=run.log", "--src=shop", "--xls_ver=2", "--dest=out.xlsx", "--port=x"},
       "Error:\nInvalid port number\r\n"},
      {"usage", {"--logfile=run.log", "--bogus"}, "QVTBATCH v5.5\nUsage: QVTBATCH.EXE OPTIONS\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(file("run.log"));
    const run_result r = run(c.args);
    EXPECT_EQ(r.code, 255) << c.what << "\n" << r;
    EXPECT_EQ(read_file(file("run.log")).substr(0, c.log.size()), c.log) << c.what;
  }
}
