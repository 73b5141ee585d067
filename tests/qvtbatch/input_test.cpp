// Input qvtbatch cannot take (a profile or table file that does not read as
// text, an argument that is not UTF-8, a line without end) ends the program
// with its own message; names printed on the console show control characters
// as escapes.
#include "qvtbatch_test_support.h"

#include <gtest/gtest.h>

using namespace qvtbatch_test;

namespace {

const std::string not_utf8 = "Cannot convert to UNICODE string: Invalid or incomplete multibyte or wide character";
const std::string too_long_table_line = "is longer than 254 characters.\nPlease verify the correct path/name was given.\n";

} // namespace

TEST_F(QvtbatchTest, InputThatDoesNotReadAsTextEndsWithItsOwnMessage)
{
  std::filesystem::permissions(dir(), std::filesystem::perms::all);
  write_file(file("latin1.qvt"), "[Generic settings]\r\nsrc=M\xFCller\r\n");
  write_file(file("binary.qvt"), std::string("[Generic settings]\r\nsrc=shop\0\1\2\r\n", 29));
  write_file(file("locked.qvt"), "[Generic settings]\r\nsrc=shop\r\n");
  std::filesystem::permissions(file("locked.qvt"), std::filesystem::perms::none);
  write_file(file("nul.txt"), std::string("people\nord\0ers\n", 15));
  write_file(file("crlf_254.txt"), std::string(254, 'x') + "\r\n");
  write_file(file("crlf_255.txt"), std::string(255, 'x') + "\r\n");

  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } cases[] = {
      {"profile not UTF-8", {"--profile=latin1.qvt"}, "Error:\nProfile 'latin1.qvt', line 2: " + not_utf8 + "\n", ""},
      {"profile with NUL bytes",
       {"--profile=binary.qvt"},
       "Error:\nProfile 'binary.qvt', line 2: a NUL byte, the file is not text\n",
       ""},
      {"profile without line ends",
       {"--profile=/dev/zero"},
       "Error:\nProfile '/dev/zero', line 1: the line is longer than 1048576 bytes, the file is no profile\n",
       ""},
      {"profile the user may not read",
       {"--profile=locked.qvt"},
       "Error:\nProfile 'locked.qvt' cannot be read: Permission denied\n",
       ""},
      {"source not UTF-8", {"--src=M\xFCller"}, "Error:\nArgument '--src=M\\xfcller': " + not_utf8 + "\n", ""},
      {"destination not UTF-8", {"--dest=\xC3("}, "Error:\nArgument '--dest=\\xc3(': " + not_utf8 + "\n", ""},
      {"profile name not UTF-8", {"--profile=\xFF.qvt"}, "Error:\nArgument '--profile=\\xff.qvt': " + not_utf8 + "\n",
       ""},
      {"table file without line ends", {"--tab_file=/dev/zero"}, "", "Line 1 of the table names file " + too_long_table_line},
      {"table file line of 255 and CR LF", {"--tab_file=crlf_255.txt"}, "", "Line 1 of the table names file " + too_long_table_line},
      {"table file with a NUL byte",
       {"--tab_file=nul.txt"},
       "",
       "Line 2 of the table names file holds a NUL byte: the file is not text.\n"
       "Please verify the correct path/name was given.\n"},
  };
  // Complete settings and a password the server would refuse: the input is
  // judged before any connection.
  const std::vector<std::string> complete =
      server_options() + std::vector<std::string>{"--pswd=wrong", "--src=shop", "--xls_ver=2", "--dest=out.xlsx"};
  for (const auto& c : cases) {
    const run_result r = run(complete + c.args, true);
    EXPECT_EQ(r.code, 255) << c.what << "\n" << r;
    EXPECT_EQ(r.out, c.out) << c.what;
    EXPECT_EQ(r.err, c.err) << c.what;
    EXPECT_FALSE(file_exists(file("out.xlsx"))) << c.what;
  }

  // 254 characters before a CR LF are still a name (of no table here).
  cli_database db;
  const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2",
                                                                       "--dest=out.xlsx", "--tab_file=crlf_254.txt"});
  EXPECT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.err, "Table " + std::string(254, 'x') + " not exists\n");
}

TEST_F(QvtbatchTest, ControlCharactersInNamesArePrintedAsEscapes)
{
  sql_admin admin;
  scratch_database db(admin, "_ctl");
  const struct {
    std::string name;
    std::string shown;
  } tables[] = {
      {"esc\x1b[31mred", "esc\\x1b[31mred"},
      {"tab\tbed", "tab\\tbed"},
      {"new\nline\rcr", "new\\nline\\rcr"},
      {"bel\x07" "del\x7f", "bel\\x07del\\x7f"},
      {"c1\xC2\x9B" "2J", "c1\\x9b2J"},
  };
  for (const auto& t : tables) {
    db.run("CREATE TABLE `" + t.name + "` (a INT)");
    db.run("INSERT INTO `" + t.name + "` VALUES (1)");
  }
  // A failing query's report names it through the error handler.
  write_file(file("p.qvt"), server_profile(db.name(), "q\x1b]0;x\x07=SELECT * FROM no_such_table\r\n"));
  write_file(file("tables.txt"), "gone\x1b[2J\n");

  const run_result r =
      run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2", "--dest=out.xlsx"});
  ASSERT_EQ(r.code, 0) << r;
  for (const auto& t : tables)
    EXPECT_NE(r.out.find("Converting table " + t.shown + " (1 records)\n"), std::string::npos) << t.shown << "\n" << r;

  const run_result missing = run({"--profile=p.qvt", "--xls_ver=2", "--dest=out.xlsx", "--tab_file=tables.txt"});
  ASSERT_EQ(missing.code, 0) << missing;
  EXPECT_EQ(missing.out, "Converting database " + db.name() + "(1 tables)\n"
                         "Error:\nq\\x1b]0;x\\x07: Table '" + db.name() + ".no_such_table' doesn't exist\n");
  EXPECT_EQ(missing.err, "Table gone\\x1b[2J not exists\n");

  // Nothing but line ends is left of any control character.
  for (const std::string* text : {&r.out, &r.err, &missing.out, &missing.err})
    for (const char c : *text)
      EXPECT_TRUE(c == '\n' || (c >= ' ' && c != '\x7f')) << static_cast<int>(static_cast<unsigned char>(c));
  EXPECT_EQ(r.out.find("\xC2\x9B"), std::string::npos);
}
