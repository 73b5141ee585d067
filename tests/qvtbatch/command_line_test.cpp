// The command line before any connection: the usage answer, the checks of the
// settings and their messages, on which stream each goes, the silent switch and
// the exit code.
#include "qvtbatch_test_support.h"

#include <gtest/gtest.h>

using namespace qvtbatch_test;

namespace {

const std::string usage =
    "QVTBATCH v5.5\n"
    "Usage: QVTBATCH.EXE OPTIONS\n"
    "\n"
    "   --blob2text    convert BLOB to text\n"
    "   --date2str     convert dates into strings\n"
    "   --dest=...     MS Excel spreadsheet name\n"
    "   --help         display this help message and exit\n"
    "   --host=...     MySQL server IP address or network name\n"
    "   --logfile=...  path to the file where execution trace will be written\n"
    "   --port=...     MySQL port\n"
    "   --profile=...  path to the file to load conversion settings from\n"
    "   --pswd=...     MySQL user password\n"
    "   --silent       disable program output\n"
    "   --split        split data into multiple spreadsheets if necessary\n"
    "   --src=...      MySQL database name\n"
    "   --tab_file=... file containing the list of tables to convert\n"
    "                  (one table name per line)\n"
    "   --user=...     MySQL user name\n"
    "   --wrap         wrap text into multiple lines in a cell\n"
    "   --xls_ver=...  format version for the destination MS Excel spreadsheet\n"
    "                  (0 - MS Excel 5.0, 1 - MS Excel 2000, 2 - MS Excel 2010+)\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'host' parameter to connect local MySQL server.\n"
    "   2) It is necessary to specify 'port' parameter only if it differs from\n"
    "      the default MySQL port 3306.\n"
    "   3) If you omit 'tab_file' parameter, all database tables will be converted.\n"
    "   4) Command line parameters that contain spaces must be enclosed in quotes\n"
    "      (for example --dest=\"my database\")\n";

const std::string no_source = "You should enter source MySQL database name\n";
const std::string no_destination = "You should enter destination MS Excel spredsheet name\n";
const std::string no_format = "You should specify MS Excel format version (use '--xls_ver' option)\n";
const std::string bad_format = "MS Excel format version must be 0, 1 or 2\n";
const std::string no_tab_file =
    "Table names file does not exist.\nPlease verify the correct path/name was given.\n";

struct case_row {
  const char* what;
  std::vector<std::string> args;
  std::string out;
  std::string err;
};

std::vector<std::string> unknown_arguments(int count)
{
  std::vector<std::string> args;
  for (int i = 1; i <= count; ++i)
    args.push_back("x" + std::to_string(i));
  return args;
}

} // namespace

TEST_F(QvtbatchTest, EveryRefusedCommandLineEndsWith255AndItsMessageOnItsStream)
{
  const std::vector<std::string> complete = {"--src=shop", "--xls_ver=2", "--dest=out.xlsx"};
  const case_row cases[] = {
      {"no argument", {}, "", usage},
      {"help", {"--help"}, "", usage},
      {"help with a tail", {"--helpme"}, "", usage},
      {"unknown argument", {"-h"}, "", usage},
      {"unknown among valid ones", {"--src=shop", "--Wrap", "--xls_ver=2"}, "", usage},
      {"option name without its =", {"--dest", "out.xlsx"}, "", usage},
      {"twenty unknown arguments", unknown_arguments(20), "", usage},
      {"twenty-one unknown arguments", unknown_arguments(21), "", usage},
      {"silent before help", {"--silent", "--help"}, "", ""},
      {"silent after help", {"--help", "--silent"}, "", usage},
      {"silent anywhere with unknown", {"-h", "--silent"}, "", ""},
      {"everything missing", {"--wrap"}, "", no_source},
      {"source missing", {"--xls_ver=2", "--dest=out.xlsx"}, "", no_source},
      {"destination missing", {"--src=shop", "--xls_ver=2"}, "", no_destination},
      {"empty destination", {"--src=shop", "--xls_ver=2", "--dest="}, "", no_destination},
      {"destination emptied again",
       {"--src=shop", "--xls_ver=2", "--dest=out.xlsx", "--dest="},
       "",
       no_destination},
      {"format missing", {"--src=shop", "--dest=out.xlsx"}, "", no_format},
      {"format 3", {"--xls_ver=3", "--src=shop"}, "", bad_format},
      {"format -2", {"--xls_ver=-2"}, "", bad_format},
      {"format 3 silent", {"--silent", "--xls_ver=3"}, "", ""},
      {"missing table file", {"--tab_file=no_such_list.txt"}, "", no_tab_file},
      {"table file is a folder", {"--tab_file=."}, "", no_tab_file},
      {"log file is a folder", {"--logfile=."}, "Error:\nLogfile name specifies an existing path.\n", ""},
      {"log folder missing",
       {"--logfile=no/such/run.log"},
       "Error:\nLogfile path does not exist. Please verify the correct path was given.\n",
       ""},
      {"log file is a folder, silent", {"--silent", "--logfile=."}, "", ""},
      {"missing profile",
       {"--profile=no_such.qvt"},
       "Error:\nProfile does not exist. Please verify the correct path/name was given.\n",
       ""},
      {"port that is no number", complete + std::vector<std::string>{"--port=abc"},
       "Error:\nInvalid port number\n", ""},
      {"port 0", complete + std::vector<std::string>{"--port=0"}, "Error:\nInvalid port number\n", ""},
      {"port 0 silent", complete + std::vector<std::string>{"--port=0", "--silent"}, "", ""},
  };
  for (const case_row& c : cases) {
    const run_result r = run(c.args);
    EXPECT_EQ(r.code, 255) << c.what << "\n" << r;
    EXPECT_EQ(r.out, c.out) << c.what;
    EXPECT_EQ(r.err, c.err) << c.what;
  }
  // None of them wrote a workbook or, without --logfile=, a log file.
  EXPECT_TRUE(std::filesystem::is_empty(dir()));
  EXPECT_FALSE(file_exists(std::string(QVTBATCH_PATH) + ".log"));
}

TEST_F(QvtbatchTest, UnwritableLogFileIsRefusedBeforeAnythingElse)
{
  write_file(file("read_only.log"), "old\n");
  std::filesystem::permissions(file("read_only.log"), std::filesystem::perms::owner_read);
  const run_result r = run({"--logfile=read_only.log", "--src=shop"});
  EXPECT_EQ(r.code, 255) << r;
  EXPECT_EQ(r.out, "Error:\nLogfile name specifies an existing read-only file.\n");
  EXPECT_EQ(read_file(file("read_only.log")), "old\n");
}
