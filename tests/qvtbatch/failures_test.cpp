// Runs that cannot do their work end with 255 and say why: a refused login, a
// server that does not answer, an unknown database, a destination folder the
// user may not write and a workbook that cannot be saved. The old destination
// stays whole, and no temporary or staging folder is left.
#include "qvtbatch_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <optional>

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

using namespace qvtbatch_test;

namespace {

// A file system of a few hundred KiB (or of the options given) at the folder,
// for as long as it lives; mounted() is false where the test may not mount.
class small_disk {
public:
  explicit small_disk(const std::string& folder, const char* options = "size=512k,mode=0755") : folder_(folder)
  {
    std::filesystem::create_directory(folder_);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options) == 0;
  }
  ~small_disk()
  {
    if (mounted_)
      ::umount2(folder_.c_str(), MNT_DETACH);
  }
  small_disk(const small_disk&) = delete;
  small_disk& operator=(const small_disk&) = delete;
  bool mounted() const { return mounted_; }

private:
  std::string folder_;
  bool mounted_ = false;
};

} // namespace

TEST_F(QvtbatchTest, FullDiskIsNamedAndTheOldWorkbookKept)
{
  small_disk full_temp(file("small_temp"));
  small_disk full_destination(file("small_dest"));
  if (!full_temp.mounted() || !full_destination.mounted())
    GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
  sql_admin admin;
  scratch_database db(admin, "_full");
  // Some megabytes of sheet text, well above either small disk.
  db.run("CREATE TABLE big (id INT PRIMARY KEY, label VARCHAR(60))");
  db.run("INSERT INTO big SELECT seq, CONCAT('row number ', seq, ' of the full disk test')"
         " FROM seq_1_to_100000");
  std::filesystem::create_directory(file("tmp"));
  const struct {
    const char* what;
    std::string temp;
    std::string folder;  // of the destination
    std::string report;  // the start of the report; the system's text follows somewhere
  } cases[] = {
      {"temporary folder full", file("small_temp"), dir(), "Error:\nbig: Cannot write file '" + file("small_temp")},
      {"destination disk full", file("tmp"), file("small_dest"),
       // zip writes the package while the rows are read: its words for the
       // failed write vary, its exit status says what it was.
       "Error:\nCannot create the destination file '" + file("small_dest/out.xlsx") +
           "': the zip program could not write the package"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string destination = c.folder + "/out.xlsx";
    write_file(destination, "previous workbook");
    const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2",
                                                                         "--dest=" + destination},
                             false, {"TEMP=" + c.temp, "TMPDIR=" + c.temp});
    EXPECT_EQ(r.code, 255) << r;
    const std::size_t report = r.out.find("Error:");
    ASSERT_NE(report, std::string::npos) << r;
    EXPECT_EQ(r.out.substr(report, c.report.size()), c.report) << r;
    EXPECT_NE(r.out.find("No space left on device", report), std::string::npos) << r;
    EXPECT_EQ(read_file(destination), "previous workbook");
    const std::vector<std::string> left = entry_names(c.folder);
    EXPECT_EQ(std::count(left.begin(), left.end(), "out.xlsx"), 1);
    EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string& n) { return n[0] == '.'; }), 0);
    EXPECT_TRUE(std::filesystem::is_empty(c.temp));
  }
}

TEST_F(QvtbatchTest, ConnectionFailuresEndWith255AndKeepTheOldWorkbook)
{
  cli_database db;
  const test_server_info& server = test_server();
  const std::string host = "--host=" + server.host;
  const std::string port = "--port=" + std::to_string(server.port);
  const std::string user = "--user=" + server.user;
  const std::string password = "--pswd=" + server.password;
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string out;  // what standard output starts with
  } cases[] = {
      {"wrong password",
       {host, port, user, "--pswd=wrong", "--src=" + db.name()},
       "Error:\nAccess denied. Verify the user name and password are correct, and you have "
       "the necessary privileges to connect to the target MySQL server.\n"},
      {"nothing listens on the port",
       {host, "--port=" + std::to_string(closed_port()), user, password, "--src=" + db.name()},
       "Error:\nCannot connect to the MySQL server. Check to verify that MySQL server is launched "
       "and the correct host/port values were given.\n"},
      {"unknown database",
       {host, port, user, password, "--src=no_such_database"},
       "Error:\nUnknown database 'no_such_database'\n"},
  };
  for (const std::string format : {"2", "1", "0"}) {
    const std::string destination = format == "2" ? "out.xlsx" : "out.xls";
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", --xls_ver=" + format);
      write_file(file(destination), "previous workbook");
      run_result r = run(c.args + std::vector<std::string>{"--xls_ver=" + format, "--dest=out"});
      EXPECT_EQ(r.code, 255) << r;
      // The report, whole or its start.
      EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << r;
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(read_file(file(destination)), "previous workbook");

      // Silent: the same ending without a word.
      r = run(c.args + std::vector<std::string>{"--silent", "--xls_ver=" + format, "--dest=out"});
      EXPECT_EQ(r.code, 255) << r;
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1) << "only the old workbook";
    }
    std::filesystem::remove(file(destination));
  }
}

TEST_F(QvtbatchTest, DestinationFolderTheUserMayNotWriteIsRefusedBeforeConnecting)
{
  cli_database db;
  // The program runs as "nobody" when the tests run as root.
  std::filesystem::permissions(dir(), std::filesystem::perms::all);
  std::filesystem::create_directory(file("locked"));
  std::filesystem::permissions(file("locked"), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_exec |
                                                   std::filesystem::perms::group_read |
                                                   std::filesystem::perms::group_exec |
                                                   std::filesystem::perms::others_read |
                                                   std::filesystem::perms::others_exec);
  const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2",
                                                                       "--dest=locked/out.xlsx"},
                           true);
  EXPECT_EQ(r.code, 255) << r;
  EXPECT_EQ(r.out, "Error:\nCannot create or write into the destination file. "
                   "Run the program as Administrator or change folder.\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(std::filesystem::is_empty(file("locked")));
}

TEST_F(QvtbatchTest, DestinationChecksReportAtLevelOne)
{
  std::filesystem::create_directory(file("folder.xlsx"));
  write_file(file("read_only.xlsx"), "old");
  std::filesystem::permissions(file("read_only.xlsx"), std::filesystem::perms::owner_read);
  const struct {
    std::string dest;
    std::string out;
  } cases[] = {
      {"--dest=folder.xlsx", "Error:\nDestination name should specify a file, not folder.\n"},
      {"--dest=out/", "Error:\nDestination name should specify a file, not folder.\n"},
      {"--dest=read_only.xlsx", "Error:\nDestination name specifies an existing read-only file.\n"},
      {"--dest=no/such/folder/out.xlsx",
       "Error:\nDestination path does not exist. Please verify the correct path was given.\n"},
  };
  for (const auto& c : cases) {
    const run_result r = run(server_options() + std::vector<std::string>{"--src=shop", "--xls_ver=2", c.dest});
    EXPECT_EQ(r.code, 255) << c.dest << "\n" << r;
    EXPECT_EQ(r.out, c.out) << c.dest;
  }
  EXPECT_EQ(read_file(file("read_only.xlsx")), "old");
}

TEST_F(QvtbatchTest, WorkbookThatCannotBeSavedEndsWith255KeepsTheOldOneAndLeavesNoFolder)
{
  cli_database db;
  // Failing zip programs stand for a full disk. zip starts with the run and
  // packs the sheets while their rows are read: one that fails at once ends
  // the run at the first table, with zip's own words.
  std::filesystem::create_directory(file("bin"));
  std::filesystem::create_directory(file("tmp"));
  const std::string old = "previous workbook";
  const struct {
    const char* what;
    std::string zip;   // the script of bin/zip; empty: no zip program at all
    std::string temp;  // TEMP and TMPDIR
    std::string says;  // the end of the report, after "Cannot create the destination file '...': "
    bool every_table;  // the tables were all read before the report
  } cases[] = {
      {"zip says why", "echo 'zip I/O error: No space left on device' >&2\nexit 15\n", file("tmp"),
       "the zip program could not create the package: No space left on device "
       "(zip I/O error: No space left on device)\n", false},
      {"zip's status alone", "exit 14\n", file("tmp"),
       "the zip program could not write the package (exit code 14: a write error, most often "
       "No space left on device)\n", false},
      // A zip that takes the file-size limit's signal at its default action
      // (the program's children start with it ignored) dies of it.
      {"zip dies of a file size limit",
       "exec /usr/bin/python3 -c 'import os, signal\nsignal.signal(signal.SIGXFSZ, signal.SIG_DFL)\n"
       "os.kill(os.getpid(), signal.SIGXFSZ)'\n",
       file("tmp"), "the zip program could not write the package: File too large\n", false},
      {"zip is killed", "kill -9 $$\n", file("tmp"), "the zip program failed: it was ended by signal 9\n",
       false},
      {"zip ends with success at once", "exit 0\n", file("tmp"),
       "the zip program ended before the package was complete\n", false},
      {"no zip program", "", file("tmp"),
       "the zip program was not found beside the program or on PATH (install the Debian "
       "package 'zip')\n", true},
      {"no temporary folder", "exit 0\n", file("no_such_folder"), "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(file("bin/zip"));
    if (!c.zip.empty()) {
      write_file(file("bin/zip"), "#!/bin/sh\n" + c.zip);
      std::filesystem::permissions(file("bin/zip"), std::filesystem::perms::owner_all);
    }
    write_file(file("out.xlsx"), old);
    const std::vector<std::string> env = {"TEMP=" + c.temp, "TMPDIR=" + c.temp, "PATH=" + file("bin")};

    const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(),
                                                                         "--xls_ver=2", "--dest=out.xlsx"},
                             false, env);
    EXPECT_EQ(r.code, 255) << r;
    if (c.says.empty()) {
      // The first sheet needs the folder: the report names its table.
      EXPECT_EQ(r.out, "Converting database " + db.name() + "(4 tables)\nError:\n  spaced: Cannot create "
                       "a temporary folder in '" + c.temp + "': No such file or directory\n");
    } else {
      const std::string tables = c.every_table
                                     ? "Converting table   spaced (1 records)\n"
                                       "Converting table orders (2 records)\n"
                                       "Converting table people (2 records)\n"
                                       "Converting table " + cli_database::unicode_table + " (1 records)\n"
                                     : "Converting table   spaced (1 records)\n";
      const std::string expected = "Converting database " + db.name() + "(4 tables)\n" + tables +
                                   "Error:\nCannot create the destination file '" + file("out.xlsx") +
                                   "': " + c.says;
      EXPECT_EQ(r.out, expected) << r;
    }
    EXPECT_EQ(r.err, "");
    // Nothing of the run is left: the old workbook as it was, no staging
    // folder, no temporary folder.
    EXPECT_EQ(read_file(file("out.xlsx")), old);
    EXPECT_TRUE(std::filesystem::is_empty(file("tmp")));
    EXPECT_EQ(entry_names(dir()), (std::vector<std::string>{"bin", "out.xlsx", "tmp"}));
  }
}

TEST_F(QvtbatchTest, WorkbookFilesThatCannotBeWrittenEndTheRunAtOnceWithOneReport)
{
  sql_admin admin;
  scratch_database db(admin, "_xls_full");
  // About a megabyte of cells, well above the small disk and the limits below.
  db.run("CREATE TABLE big (id INT PRIMARY KEY, label VARCHAR(60))");
  db.run("INSERT INTO big SELECT seq, CONCAT('row number ', seq, ' of the full disk test')"
         " FROM seq_1_to_20000");
  db.run("CREATE TABLE zz_after (a INT)");
  db.run("INSERT INTO zz_after VALUES (1)");
  // Sheets of numbers that hardly compress, each below the limit of 512 KiB
  // while their package is above it: only zip's write meets the limit.
  std::string sheets;
  for (int n = 1; n <= 16; ++n) {
    const std::string table = "r" + std::to_string(n);
    db.run("CREATE TABLE " + table + " (a DOUBLE, b DOUBLE)");
    db.run("INSERT INTO " + table + " SELECT RAND(seq), RAND(seq + 7) FROM seq_1_to_4000");
    sheets += table + "\n";
  }
  write_file(file("both.txt"), "big\nzz_after\n");
  write_file(file("small.txt"), "zz_after\n");
  write_file(file("sheets.txt"), sheets);
  small_disk small(file("small_dest"));
  std::filesystem::create_directory(file("plain"));
  std::filesystem::create_directory(file("tmp"));
  const struct {
    const char* what;
    bool small_disk;     // the destination's folder is the small tmpfs
    rlim_t size_limit;   // else: this cap on every file the program writes (ulimit -f)
    std::vector<std::string> options;
    std::string report;  // the one report, after "Error:\n"
  } cases[] = {
      {"no space while the rows are written", true, 0, {"--xls_ver=0", "--tab_file=both.txt"},
       "big: Not enough space on disk. Cannot write a scratch file: No space left on device"},
      {"no space while the rows of a split table are written", true, 0,
       {"--xls_ver=1", "--split", "--tab_file=both.txt"},
       "big: Not enough space on disk. Cannot write a scratch file: No space left on device"},
      {"Excel 5.0: a file size limit while the rows are written", false, 256 * 1024,
       {"--xls_ver=0", "--tab_file=both.txt"},
       "big: Disk or network error. Cannot write a scratch file: File too large"},
      {"a file size limit while rows of a split table are written", false, 256 * 1024,
       {"--xls_ver=1", "--split", "--tab_file=both.txt"},
       "big: Disk or network error. Cannot write a scratch file: File too large"},
      {"a file size limit when the workbook is written", false, 2048, {"--xls_ver=1", "--tab_file=small.txt"},
       "Disk or network error. Cannot write the workbook: File too large"},
      {".xlsx: a file size limit while the rows are written", false, 256 * 1024,
       {"--xls_ver=2", "--tab_file=both.txt"},
       "big: Cannot write file '" + file("tmp")},
      {".xlsx: a file size limit when zip writes the package", false, 512 * 1024,
       {"--xls_ver=2", "--tab_file=sheets.txt"},
       "Cannot create the destination file '" + file("plain/out.xlsx") +
           "': the zip program could not write the package: File too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.small_disk && !small.mounted()) {
      std::cout << "[ SKIPPED  ] " << c.what << ": mounting a small tmpfs is not permitted here\n";
      continue;
    }
    const bool xlsx = c.options.front() == "--xls_ver=2";
    const std::string name = xlsx ? "out.xlsx" : "out.xls";
    const std::string folder = c.small_disk ? file("small_dest") : file("plain");
    std::filesystem::remove(folder + "/out.xls");
    std::filesystem::remove(folder + "/out.xlsx");
    write_file(folder + "/" + name, "previous workbook");
    const run_result r = run_qvtbatch(server_options() + std::vector<std::string>{"--src=" + db.name(),
                                                                                  "--dest=" + folder + "/out"} +
                                          c.options,
                                      dir(), false, {"TEMP=" + file("tmp"), "TMPDIR=" + file("tmp")},
                                      c.size_limit);
    EXPECT_EQ(r.code, 255) << r;
    // One report naming the cause, and the run went no further.
    const std::size_t report = r.out.find("Error:");
    ASSERT_NE(report, std::string::npos) << r;
    EXPECT_EQ(r.out.substr(report, c.report.size() + 7), "Error:\n" + c.report) << r;
    EXPECT_EQ(r.out.back(), '\n') << r;
    EXPECT_EQ(report, r.out.rfind("Error:")) << r;
    if (c.size_limit != 0) {
      EXPECT_NE(r.out.find("File too large", report), std::string::npos) << r;
    }
    if (c.options.back() == "--tab_file=both.txt") {
      EXPECT_EQ(r.out.find("zz_after"), std::string::npos) << r;
    }
    EXPECT_EQ(read_file(folder + "/" + name), "previous workbook");
    EXPECT_EQ(entry_names(folder), std::vector<std::string>{name});
    EXPECT_TRUE(std::filesystem::is_empty(file("tmp")));
  }
}

TEST_F(QvtbatchTest, LowDescriptorLimitsEndEveryRunWithAWorkbookOrOneReportAndLeaveNothing)
{
#ifdef __SANITIZE_ADDRESS__
  // The undefined-behaviour checker proves an object's type through a pipe of
  // its own: out of descriptors, it reports valid objects as invalid and ends
  // the program. The shipped build runs this test.
  GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
  cli_database db;
  std::filesystem::create_directory(file("out"));
  std::filesystem::create_directory(file("tmp"));
  // From the fewest descriptors the program can start with to enough for a
  // whole run: each limit fails another step (the temporary folder, a sheet's
  // file, zip's start, a pipe, the staging folder's removal).
  for (const std::string format : {"0", "1", "2"}) {
    const std::string name = format == "2" ? "out.xlsx" : "out.xls";
    for (rlim_t limit = 4; limit <= 14; ++limit) {
      SCOPED_TRACE("--xls_ver=" + format + ", " + std::to_string(limit) + " descriptors");
      write_file(file("out/" + name), "previous workbook");
      const run_result r = run_qvtbatch(
          server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=" + format,
                                                      "--dest=" + file("out/out")},
          dir(), false, {"TEMP=" + file("tmp"), "TMPDIR=" + file("tmp")}, 0, limit);
      const std::string now = read_file(file("out/" + name));
      if (r.code == 0) {
        EXPECT_EQ(now.substr(0, 2), format == "2" ? "PK" : "\xD0\xCF") << r;
        EXPECT_EQ(r.out.find("Error:"), std::string::npos) << r;
      } else {
        EXPECT_EQ(r.code, 255) << r;
        EXPECT_EQ(now, "previous workbook") << r;
        const std::size_t report = r.out.find("Error:");
        EXPECT_NE(report, std::string::npos) << r;
        EXPECT_EQ(report, r.out.rfind("Error:")) << r;
      }
      EXPECT_EQ(entry_names(file("out")), std::vector<std::string>{name});
      EXPECT_TRUE(std::filesystem::is_empty(file("tmp")));
    }
    std::filesystem::remove(file("out/" + name));
  }
}

namespace {

// Makes a file immutable while it lives (root only, and only where the file
// system has the flag): no rename may replace it, and no check before one
// foresees that. immutable() is false where the flag cannot be set.
class immutable_file {
public:
  explicit immutable_file(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
  {
    int flags = 0;
    if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      set_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~immutable_file()
  {
    int flags = 0;
    if (set_ && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
    }
    if (fd_ >= 0)
      ::close(fd_);
  }
  immutable_file(const immutable_file&) = delete;
  immutable_file& operator=(const immutable_file&) = delete;
  bool immutable() const { return set_; }

private:
  int fd_;
  bool set_ = false;
};

} // namespace

TEST_F(QvtbatchTest, SplitSetThatCannotBePutInPlaceWholeLeavesEveryFileAsItWas)
{
  const bool root = ::geteuid() == 0;
  sql_admin admin;
  scratch_database db(admin, "_split_commit");
  // Each makes the workbook and two numbered ones, out(2).xls with one row.
  db.run("CREATE TABLE biff5 (id INT PRIMARY KEY) SELECT seq AS id FROM seq_1_to_32767");
  db.run("CREATE TABLE biff8 (id INT PRIMARY KEY) SELECT seq AS id FROM seq_1_to_131071");
  write_file(file("biff5.txt"), "biff5\n");
  write_file(file("biff8.txt"), "biff8\n");
  const std::string folder = file("dest");
  const std::string obstacle = folder + "/out(2).xls";
  enum class in_the_way { a_folder, immutable_file, other_users_file_in_a_sticky_folder };
  const struct {
    const char* what;
    in_the_way kind;
    std::string reason;
  } cases[] = {
      // Seen before the first rename.
      {"a folder", in_the_way::a_folder, "Is a directory"},
      {"another user's file in a sticky folder", in_the_way::other_users_file_in_a_sticky_folder,
       "Operation not permitted"},
      // Seen only by the rename itself: out(1).xls is in by then and goes back.
      {"an immutable file", in_the_way::immutable_file, "Operation not permitted"},
  };
  for (const auto& c : cases) {
    for (const std::string format : {"0", "1"}) {
      SCOPED_TRACE(std::string(c.what) + ", --xls_ver=" + format);
      std::filesystem::remove_all(folder);
      std::filesystem::create_directory(folder);
      // The user's own files, and the obstacle at the third file of the set.
      const std::vector<std::pair<std::string, std::string>> own = {
          {"out.xls", "previous workbook"}, {"out(1).xls", "mine 1"}, {"out(3).xls", "mine 3"}};
      for (const auto& [name, text] : own)
        write_file(folder + "/" + name, text);
      const bool sticky = c.kind == in_the_way::other_users_file_in_a_sticky_folder;
      if (c.kind == in_the_way::a_folder)
        std::filesystem::create_directory(obstacle);
      else
        write_file(obstacle, "not mine");
      std::optional<immutable_file> pinned;
      if (c.kind == in_the_way::immutable_file)
        pinned.emplace(obstacle);
      if (sticky && root) {
        // The test's folders are root's: the program runs as "nobody", who
        // owns the user's files but not the obstacle.
        std::filesystem::permissions(dir(), std::filesystem::perms::all);
        ::chmod(folder.c_str(), 01777);
        for (const auto& entry : own)
          ASSERT_EQ(::chown((folder + "/" + entry.first).c_str(), nobody_id, nobody_id), 0);
      }
      if ((sticky && !root) || (pinned && !pinned->immutable())) {
        std::cout << "[ SKIPPED  ] " << c.what << ": needs root"
                  << (pinned ? " and a file system with immutable files\n" : "\n");
        continue;
      }
      const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(),
                                                                           "--xls_ver=" + format, "--split",
                                                                           "--tab_file=biff" +
                                                                               std::string(format == "0" ? "5" : "8") +
                                                                               ".txt",
                                                                           "--dest=" + folder + "/out"},
                               sticky);
      EXPECT_EQ(r.code, 255) << r;
      const std::size_t report = r.out.find("Error:");
      ASSERT_NE(report, std::string::npos) << r;
      EXPECT_EQ(r.out.substr(report),
                "Error:\nCannot create the destination file '" + obstacle + "': " + c.reason + "\n");
      // Every file as it was, and nothing of the run left beside them.
      for (const auto& [name, text] : own)
        EXPECT_EQ(read_file(folder + "/" + name).substr(0, 32), text) << name;
      if (c.kind == in_the_way::a_folder)
        EXPECT_TRUE(std::filesystem::is_directory(obstacle));
      else
        EXPECT_EQ(read_file(obstacle), "not mine");
      EXPECT_EQ(entry_names(folder), (std::vector<std::string>{"out(1).xls", "out(2).xls", "out(3).xls", "out.xls"}));
    }
  }
}

TEST_F(QvtbatchTest, ReportsNameTheDestinationOrItsFolderNeverARunsStagingFolder)
{
  // Three inodes: the folder, the old workbook and the run's staging folder;
  // the workbook's first scratch file (.xls) or zip's package (.xlsx) finds none left.
  small_disk full(file("dest"), "size=512k,nr_inodes=3,mode=0755");
  if (!full.mounted())
    GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
  cli_database db;
  const struct {
    std::string format;
    std::string named;  // what the report names, in quotes or in zip's parentheses
  } cases[] = {
      {"--xls_ver=0", "'" + file("dest") + "'"},
      {"--xls_ver=1", "'" + file("dest") + "'"},
      {"--xls_ver=2", "(" + file("dest/out.xlsx") + ")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string destination = file(c.format == "--xls_ver=2" ? "dest/out.xlsx" : "dest/out.xls");
    write_file(destination, "previous workbook");
    const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), c.format,
                                                                         "--dest=dest/out"});
    EXPECT_EQ(r.code, 255) << r;
    EXPECT_NE(r.out.find("No space left on device"), std::string::npos) << r;
    EXPECT_NE(r.out.find(c.named), std::string::npos) << r;
    EXPECT_EQ(r.out.find("/."), std::string::npos) << r;
    EXPECT_EQ(read_file(destination), "previous workbook");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file("dest")), {}), 1) << "only the old workbook";
    std::filesystem::remove(destination);
  }
}
