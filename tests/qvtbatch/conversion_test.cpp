// Whole runs of qvtbatch against the test server: the workbook it writes (read
// back with openpyxl), what each option changes, the lines on standard output
// and standard error, and exit code 0 for a run that reached its end.
#include "qvtbatch_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace qvtbatch_test;

namespace {

std::vector<expected_sheet> every_table(bool blob_to_text)
{
  return {cli_database::spaced_sheet(), cli_database::orders_sheet(),
          cli_database::people_sheet(blob_to_text), cli_database::unicode_sheet()};
}

std::string every_table_lines()
{
  return "Converting table   spaced (1 records)\n"
         "Converting table orders (2 records)\n"
         "Converting table people (2 records)\n"
         "Converting table " +
         cli_database::unicode_table + " (1 records)\n";
}

} // namespace

TEST_F(QvtbatchTest, ConvertsEveryTableIntoTheWorkbookNamedRelativeToTheCurrentFolder)
{
  cli_database db;
  const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(),
                                                                       "--xls_ver=2", "--dest=out.csv"});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.out, "Converting database " + db.name() + "(4 tables)\n" + every_table_lines());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(workbook_differences(file("out.xlsx"), every_table(false)), "");
  EXPECT_FALSE(file_exists(file("out.csv")));
  // No log file without --logfile=, not even beside the program.
  EXPECT_FALSE(file_exists(std::string(QVTBATCH_PATH) + ".log"));
}

TEST_F(QvtbatchTest, FlagOptionsChangeWhatTheyNameAndNothingElse)
{
  cli_database db;
  const struct {
    std::vector<std::string> flags;
    bool blob_to_text;
    bool database_line;
  } cases[] = {
      {{"--blob2text"}, true, true},
      {{"--silent"}, false, false},
      {{"--silentX", "--blob2textual"}, true, false},
      // .xlsx dates are texts anyway; the wrap flag shapes only .xls cells.
      {{"--date2str", "--wrap", "--wraparound"}, false, true},
      {{"--split"}, false, true},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(file("out.xlsx"));
    write_file(file("out(1).xlsx"), "not ours");
    const run_result r = run(server_options() + c.flags +
                             std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2", "--dest=out"});
    const std::string what = c.flags.front();
    ASSERT_EQ(r.code, 0) << what << "\n" << r;
    const std::string database_line =
        c.database_line ? "Converting database " + db.name() + "(4 tables)\n" : "";
    // "Converting table" lines are printed also when silent.
    EXPECT_EQ(r.out, database_line + every_table_lines()) << what;
    EXPECT_EQ(r.err, "") << what;
    EXPECT_EQ(workbook_differences(file("out.xlsx"), every_table(c.blob_to_text)), "") << what;
    // A numbered sibling is no file of this run: --split leaves it alone.
    EXPECT_EQ(read_file(file("out(1).xlsx")), "not ours") << what;
  }
}

TEST_F(QvtbatchTest, DestinationExtensionFollowsTheFormatWhereverTheOptionsNameIt)
{
  cli_database db;
  const std::vector<std::string> base = server_options() + std::vector<std::string>{"--src=" + db.name()};
  const test_server_info& server = test_server();
  write_file(file("p.qvt"), "[Generic settings]\r\ndest=" + file("from_profile.xls") +
                                "\r\n[MS Excel settings]\r\nformat version=0\r\n[MySQL settings]\r\nhost=" +
                                server.host + "\r\nport=" + std::to_string(server.port) + "\r\nuser=" +
                                server.user + "\r\npassword=" + server.password + "\r\n");
  const struct {
    std::vector<std::string> args;
    const char* written;
  } cases[] = {
      {{"--dest=report.xlsx", "--xls_ver=2"}, "report.xlsx"},
      {{"--dest=late", "--xls_ver=2"}, "late.xlsx"},
      {{"--xls_ver=2", "--dest=sub/../early.xls"}, "early.xlsx"},
      // The profile's format is overwritten, its destination kept and completed.
      {{"--profile=p.qvt", "--xls_ver=2"}, "from_profile.xlsx"},
  };
  for (const auto& c : cases) {
    const run_result r = run(base + c.args);
    ASSERT_EQ(r.code, 0) << c.written << "\n" << r;
    EXPECT_EQ(workbook_differences(file(c.written), every_table(false)), "") << c.written;
  }
  for (const char* other : {"report.xls", "late.xls", "early.xls", "from_profile.xls"})
    EXPECT_FALSE(file_exists(file(other))) << other;
}

TEST_F(QvtbatchTest, OldExcelFormatsConvertThroughTheDaoEngineAndReplaceTheOldFile)
{
  cli_database db;
  // "abc" reads as 0, like "0" itself.
  for (const std::string format : {"--xls_ver=1", "--xls_ver=0", "--xls_ver=abc"}) {
    write_file(file("old.xls"), "previous workbook");
    const run_result r = run(server_options() +
                             std::vector<std::string>{"--src=" + db.name(), format, "--dest=old"});
    EXPECT_EQ(r.code, 0) << format << "\n" << r;
    EXPECT_EQ(r.out, "Converting database " + db.name() + "(4 tables)\n" + every_table_lines()) << format;
    EXPECT_EQ(r.err, "") << format;
    // A compound file now stands where the old file was.
    EXPECT_EQ(read_file(file("old.xls")).substr(0, 4), "\xD0\xCF\x11\xE0") << format;
  }
}

TEST_F(QvtbatchTest, OldWorkbookIsReplacedOnlyByANewOneAndKeptWhenThereIsNothingToWrite)
{
  cli_database db;
  scratch_database empty(db.admin(), "_empty");
  write_file(file("missing.txt"), "no_such_table\n");
  // Entries that make no sheet: zip starts with an .xlsx run, before any sheet.
  write_file(file("bad.qvt"), server_profile(db.name(), "bad=SELECT * FROM nosuch\r\n"));
  write_file(file("all_bad.qvt"), server_profile(db.name(), "bad=SELECT * FROM nosuch\r\nworse=SELECT * FROM nowhere\r\n"
                                                            "no_such_table=\r\n"));
  const std::string nosuch = "Error:\nbad: Table '" + db.name() + ".nosuch' doesn't exist\n";
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string out;
    std::string err;
    bool written;
  } cases[] = {
      {"tables to convert", {"--src=" + db.name()},
       "Converting database " + db.name() + "(4 tables)\n" + every_table_lines(), "", true},
      {"empty database", {"--src=" + empty.name()},
       "Converting database " + empty.name() + "(0 tables)\n", "", false},
      {"only missing tables", {"--src=" + db.name(), "--tab_file=missing.txt"},
       "Converting database " + db.name() + "(1 tables)\n", "Table no_such_table not exists\n", false},
      {"only a failing query", {"--profile=bad.qvt"}, "Converting database " + db.name() + "(0 tables)\n" + nosuch,
       "", false},
      {"every entry fails", {"--profile=all_bad.qvt"},
       "Converting database " + db.name() + "(1 tables)\n" + nosuch +
           "Error:\nworse: Table '" + db.name() + ".nowhere' doesn't exist\n",
       "Table no_such_table not exists\n", false},
  };
  for (const std::string format : {"--xls_ver=2", "--xls_ver=1", "--xls_ver=0"}) {
    const std::string destination = format == "--xls_ver=2" ? "out.xlsx" : "out.xls";
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", " + format);
      write_file(file(destination), "previous workbook");
      const run_result r = run(server_options() + c.args + std::vector<std::string>{format, "--dest=out"});
      EXPECT_EQ(r.code, 0) << r;
      EXPECT_EQ(r.out, c.out);
      EXPECT_EQ(r.err, c.err);
      if (!c.written)
        EXPECT_EQ(read_file(file(destination)), "previous workbook");
      else if (destination == "out.xlsx")
        EXPECT_EQ(workbook_differences(file(destination), every_table(false)), "");
      else
        EXPECT_NE(read_file(file(destination)), "previous workbook");
      std::filesystem::remove(file(destination));
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 3) << "no staging folder";
    }
  }
  // A split .xls run: its earlier set stays whole when there is nothing to
  // write; a new workbook without numbered ones removes the earlier numbered one.
  for (const auto& c : cases) {
    for (const std::string format : {"--xls_ver=0", "--xls_ver=1"}) {
      SCOPED_TRACE(std::string(c.what) + ", split, " + format);
      write_file(file("out.xls"), "previous workbook");
      write_file(file("out(1).xls"), "previous numbered workbook");
      const run_result split = run(server_options() + c.args +
                                   std::vector<std::string>{format, "--split", "--dest=out"});
      EXPECT_EQ(split.code, 0) << split;
      EXPECT_EQ(split.out, c.out);
      EXPECT_EQ(read_file(file("out.xls")) == "previous workbook", !c.written);
      EXPECT_EQ(file_exists(file("out(1).xls")), !c.written);
      if (!c.written) {
        EXPECT_EQ(read_file(file("out(1).xls")), "previous numbered workbook");
      }
      // The three input files, the workbook and, when nothing was written, the old numbered one.
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), c.written ? 4 : 5)
          << "no staging folder";
      std::filesystem::remove(file("out.xls"));
      std::filesystem::remove(file("out(1).xls"));
    }
  }
}

TEST_F(QvtbatchTest, ReplacedWorkbookKeepsItsModeAndGroupAndANewOneTakesTheUmasksMode)
{
  cli_database db;
  write_file(file("one.txt"), "orders\n");
  // A group the test may give the old file: root may give any; others keep theirs.
  const bool root = ::geteuid() == 0;
  const gid_t other_group = root ? nobody_id : ::getegid();
  const struct {
    const char* what;
    bool old_file;
    mode_t mode;    // of the old file
    gid_t group;    // of the old file
    mode_t umask;   // the program's
    mode_t expected;
  } cases[] = {
      {"a private workbook stays private", true, 0600, ::getegid(), 022, 0600},
      {"a workbook shared with its group keeps group and mode", true, 0640, other_group, 077, 0640},
      {"a new workbook: 0666 less the umask", false, 0, 0, 027, 0640},
  };
  for (const auto& c : cases) {
    for (const std::string format : {"--xls_ver=1", "--xls_ver=2"}) {
      SCOPED_TRACE(std::string(c.what) + ", " + format);
      const std::string destination = file(format == "--xls_ver=1" ? "out.xls" : "out.xlsx");
      std::filesystem::remove(destination);
      if (c.old_file) {
        write_file(destination, "previous workbook");
        ASSERT_EQ(::chown(destination.c_str(), static_cast<uid_t>(-1), c.group), 0);
        ASSERT_EQ(::chmod(destination.c_str(), c.mode), 0);
      }
      const mode_t saved = ::umask(c.umask);
      const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--tab_file=one.txt",
                                                                           format, "--dest=out"});
      ::umask(saved);
      ASSERT_EQ(r.code, 0) << r;
      struct stat info {};
      ASSERT_EQ(::stat(destination.c_str(), &info), 0);
      EXPECT_NE(read_file(destination), "previous workbook");
      EXPECT_EQ(info.st_mode & 07777, c.expected);
      if (c.old_file) {
        EXPECT_EQ(info.st_gid, c.group);
      }
    }
  }
}

TEST_F(QvtbatchTest, NumberedWorkbooksTakeTheModeAndGroupOfTheWorkbookTheyGoWith)
{
  sql_admin admin;
  scratch_database db(admin, "_split_mode");
  // A workbook and at least one numbered workbook in both formats.
  db.run("CREATE TABLE big (id INT PRIMARY KEY) SELECT seq AS id FROM seq_1_to_65536");
  const bool root = ::geteuid() == 0;
  const gid_t other_group = root ? nobody_id : ::getegid();
  const struct {
    const char* what;
    bool old_workbook;  // out.xls there before, 0600 and other_group
    mode_t umask;
    mode_t mode;        // of every file of the new set
  } cases[] = {
      {"a private workbook's numbered ones are private too", true, 022, 0600},
      {"a new workbook's: 0666 less the umask", false, 027, 0640},
  };
  for (const auto& c : cases) {
    for (const std::string format : {"--xls_ver=0", "--xls_ver=1"}) {
      SCOPED_TRACE(std::string(c.what) + ", " + format);
      for (const auto& entry : std::filesystem::directory_iterator(dir()))
        std::filesystem::remove(entry.path());
      if (c.old_workbook) {
        write_file(file("out.xls"), "previous workbook");
        ASSERT_EQ(::chown(file("out.xls").c_str(), static_cast<uid_t>(-1), other_group), 0);
        ASSERT_EQ(::chmod(file("out.xls").c_str(), 0600), 0);
      }
      // A numbered workbook of an earlier run, readable by all.
      write_file(file("out(1).xls"), "earlier numbered workbook");
      ASSERT_EQ(::chmod(file("out(1).xls").c_str(), 0644), 0);
      const mode_t saved = ::umask(c.umask);
      const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), format, "--split",
                                                                           "--dest=out"});
      ::umask(saved);
      ASSERT_EQ(r.code, 0) << r;
      ASSERT_NE(read_file(file("out(1).xls")), "earlier numbered workbook");
      int numbered = 0;
      for (const auto& entry : std::filesystem::directory_iterator(dir())) {
        const std::string name = entry.path().filename().string();
        struct stat info {};
        ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
        numbered += name == "out.xls" ? 0 : 1;
        // The earlier out(1).xls had a mode of its own: the new one has the workbook's.
        EXPECT_EQ(info.st_mode & 07777, c.mode) << name;
        if (c.old_workbook) {
          EXPECT_EQ(info.st_gid, other_group) << name;
        }
      }
      EXPECT_EQ(numbered, format == "--xls_ver=0" ? 4 : 1);
    }
  }
}
