// SIGINT, SIGTERM and SIGHUP stop a run wherever it is (streaming rows, waiting
// on a read the server holds back, packing with zip): the program exits with
// 128 + the signal, reports no error, keeps the old workbook byte for byte and
// leaves neither its temporary folder nor a staging folder behind.
#include "qvtbatch_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <thread>

using namespace qvtbatch_test;

namespace {

// qvtbatch started in the background, its standard output gathered as it comes.
class running_qvtbatch {
public:
  running_qvtbatch(const std::vector<std::string>& args, const std::string& folder,
                   const std::vector<std::string>& env)
  {
    int out_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe failed");
    std::vector<std::string> owned{QVTBATCH_PATH};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : owned)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_owned(env);
    for (char** e = environ; *e != nullptr; ++e)
      env_owned.emplace_back(*e);  // the first of a name wins
    std::vector<char*> envp;
    for (std::string& e : env_owned)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out_pipe[1], 1);
      ::dup2(out_pipe[1], 2);
      if (::chdir(folder.c_str()) != 0)
        ::_exit(126);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(out_pipe[1]);
    out_ = out_pipe[0];
    ::fcntl(out_, F_SETFL, O_NONBLOCK);
  }
  ~running_qvtbatch()
  {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  // Waits (at most a minute) until the condition holds; false when the program
  // ended first or the time ran out.
  bool wait_for(const std::function<bool()>& condition)
  {
    for (int i = 0; i < 6000; ++i) {
      read_output();
      if (condition())
        return true;
      if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Sends the signal and waits for the end; -1 when the program does not end
  // within half a minute (it is killed then) or ended by a signal.
  int stop_with(int signal)
  {
    if (pid_ <= 0)
      return -1;
    ::kill(pid_, signal);
    for (int i = 0; i < 3000 && ::waitpid(pid_, &status_, WNOHANG) != pid_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::kill(pid_, 0) == 0 && ::waitpid(pid_, &status_, WNOHANG) != pid_)
      return -1;  // the destructor kills it
    pid_ = -1;
    read_output();
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

  const std::string& output() const { return output_; }

private:
  void read_output()
  {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out_, buffer, sizeof buffer)) > 0)
      output_.append(buffer, static_cast<std::size_t>(n));
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = 0;
  std::string output_;
};

// The process has ended (and is no one's child here, so no zombie is awaited).
bool gone_within(pid_t pid, std::chrono::milliseconds limit)
{
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
      return true;
    const std::size_t close = line.rfind(')');
    if (close != std::string::npos && line.compare(close + 2, 1, "Z") == 0)
      return true;
    if (std::chrono::steady_clock::now() > until)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

} // namespace

TEST_F(QvtbatchTest, StopSignalsEndTheRunCleanlyAndKeepTheOldWorkbook)
{
  sql_admin admin;
  scratch_database db(admin, "_stop");
  db.run("CREATE TABLE big (id INT PRIMARY KEY, label VARCHAR(60), amount DOUBLE)");
  db.run("INSERT INTO big SELECT seq, CONCAT('row number ', seq, ' of the stop test'), seq * 1.5"
         " FROM seq_1_to_300000");
  // A zip that takes its time, so that a stop can meet it; it sleeps in a
  // child of its own, which a stop must end too.
  std::filesystem::create_directory(file("bin"));
  write_file(file("bin/zip"), "#!/bin/sh\nsleep 30\nexec /usr/bin/zip \"$@\"\n");
  std::filesystem::permissions(file("bin/zip"), std::filesystem::perms::owner_all);
  std::filesystem::create_directory(file("tmp"));
  // And the real zip, noting its process id, which packs the sheet while the
  // rows are read: a stop must end it with the run.
  std::filesystem::create_directory(file("real"));
  write_file(file("real/zip"), "#!/bin/sh\necho $$ > '" + file("zip.pid") + "'\nexec /usr/bin/zip \"$@\"\n");
  std::filesystem::permissions(file("real/zip"), std::filesystem::perms::owner_all);
  const char* path = std::getenv("PATH");
  const auto env_with = [&](const std::string& bin) {
    return std::vector<std::string>{"TEMP=" + file("tmp"), "TMPDIR=" + file("tmp"),
                                    "PATH=" + file(bin) + ":" + (path ? path : "/usr/bin:/bin")};
  };

  // A report query the server takes its time over, evaluated before any row.
  write_file(file("bin/slow.qvt"), server_profile(db.name(), "slow=SELECT SLEEP(60) AS pause\r\n"));

  enum class moment { rows, rows_into_zip, zip_stopped, blocked_read, zip, query_evaluated };
  const struct {
    const char* what;
    int signal;
    moment when;
    const char* format;
    const char* destination;
  } cases[] = {
      {"SIGINT while rows stream", SIGINT, moment::rows, "2", "out.xlsx"},
      {"SIGINT while rows stream into zip", SIGINT, moment::rows_into_zip, "2", "out.xlsx"},
      // A stopped process acts on no signal but SIGKILL and SIGCONT.
      {"SIGTERM while zip is stopped (SIGSTOP)", SIGTERM, moment::zip_stopped, "2", "out.xlsx"},
      {"SIGTERM while the server holds the read back", SIGTERM, moment::blocked_read, "2", "out.xlsx"},
      {"SIGHUP while zip packs", SIGHUP, moment::zip, "2", "out.xlsx"},
      {"SIGTERM while an Excel 2000 run waits for its rows", SIGTERM, moment::blocked_read, "1", "out.xls"},
      {"SIGINT while the server evaluates an Excel 5.0 run's query", SIGINT, moment::query_evaluated, "0", "out.xls"},
      {"SIGTERM while the server evaluates an .xlsx run's query", SIGTERM, moment::query_evaluated, "2", "out.xlsx"},
      {"SIGINT while Excel 2000 rows stream", SIGINT, moment::rows, "1", "out.xls"},
      {"SIGHUP while Excel 2000 rows stream", SIGHUP, moment::rows, "1", "out.xls"},
      {"SIGINT while Excel 5.0 rows stream", SIGINT, moment::rows, "0", "out.xls"},
      {"SIGTERM while an Excel 5.0 run waits for its rows", SIGTERM, moment::blocked_read, "0", "out.xls"},
      {"SIGHUP while an Excel 5.0 run waits for its rows", SIGHUP, moment::blocked_read, "0", "out.xls"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string old = std::string("previous workbook\0bytes", 23);
    write_file(file(c.destination), old);
    const std::vector<std::string> source = c.when == moment::query_evaluated
                                                ? std::vector<std::string>{"--profile=" + file("bin/slow.qvt")}
                                                : server_options() + std::vector<std::string>{"--src=" + db.name()};
    std::vector<std::string> args =
        source + std::vector<std::string>{std::string("--xls_ver=") + c.format, std::string("--dest=") + c.destination};
    // The .xls runs split: rows past the sheet's last row go on into numbered
    // workbooks, so that the stop meets rows, and none of those may be left.
    if (c.format[0] != '2')
      args.push_back("--split");
    // Another session's write lock makes the program's reading of the table wait.
    std::unique_ptr<sql_admin> locker;
    if (c.when == moment::blocked_read) {
      locker = std::make_unique<sql_admin>();
      locker->run("USE " + db.quoted());
      locker->run("LOCK TABLES big WRITE");
    }

    std::filesystem::remove(file("zip.pid"));
    const bool real_zip = c.when == moment::rows_into_zip || c.when == moment::zip_stopped;
    running_qvtbatch program(args, dir(), env_with(real_zip ? "real" : "bin"));
    const bool reached = program.wait_for([&] {
      switch (c.when) {
      case moment::rows:
        return program.output().find("Converting table big") != std::string::npos;
      case moment::rows_into_zip:
      case moment::zip_stopped: {
        // zip has taken some of the sheet: its package has grown.
        for (const std::string& name : entry_names(dir()))
          if (name.starts_with(".xlsx_pack_"))
            for (const std::string& inside : entry_names(file(name)))
              if (inside.starts_with("zi") && inside != "zip.out") {
                std::error_code gone;
                if (std::filesystem::file_size(file(name + "/" + inside), gone) > 0 && !gone)
                  return true;
              }
        return false;
      }
      case moment::blocked_read:
      case moment::query_evaluated:
        return program.output().find("Converting database") != std::string::npos;
      case moment::zip:
        for (const std::string& name : entry_names(dir()))
          if (name.starts_with(".xlsx_pack_"))
            return true;
        return false;
      }
      return false;
    });
    ASSERT_TRUE(reached) << program.output();
    if (c.when == moment::zip_stopped) {
      ASSERT_EQ(::kill(std::stoi(read_file(file("zip.pid"))), SIGSTOP), 0);
    }
    if (c.when == moment::blocked_read || c.when == moment::query_evaluated)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));

    EXPECT_EQ(program.stop_with(c.signal), 128 + c.signal) << program.output();
    EXPECT_EQ(program.output().find("rror"), std::string::npos) << program.output();
    EXPECT_EQ(read_file(file(c.destination)), old);
    EXPECT_TRUE(std::filesystem::is_empty(file("tmp")));
    if (real_zip) {
      const std::string zip = read_file(file("zip.pid"));
      ASSERT_FALSE(zip.empty());
      EXPECT_NE(::kill(std::stoi(zip), 0), 0) << "zip " << zip << " outlived the run";
      std::filesystem::remove(file("zip.pid"));
    }
    EXPECT_EQ(entry_names(dir()), (std::vector<std::string>{"bin", c.destination, "real", "tmp"}));
    locker.reset();
    std::filesystem::remove(file(c.destination));
    // The server may go on writing rows to the connection the stopped run left,
    // until its write timeout (a minute); ending that thread spares the next
    // case's lock and the database's drop the wait.
    for (;;) {
      const std::string id = admin.value(
          "SELECT IFNULL(MIN(ID), 0) FROM information_schema.PROCESSLIST WHERE DB = '" + db.name() +
          "' AND COMMAND = 'Query' AND ID <> CONNECTION_ID()");
      if (id == "0")
        break;
      try {
        admin.run("KILL " + id);
      } catch (const std::runtime_error&) {
        // It ended by itself in the meantime.
      }
    }
  }
}

TEST_F(QvtbatchTest, StopAtTheEndOfARunAndTheExitCodeAgreeWithWhatTheDestinationHolds)
{
  cli_database db;
  // A table one row past an Excel 5.0 sheet: a split run's set is out.xls and out(1).xls.
  db.admin().run("CREATE TABLE `" + db.name() + "`.big (id INT PRIMARY KEY) SELECT seq AS id FROM `" + db.name() +
                 "`.seq_1_to_16384");
  write_file(file("one.txt"), "orders\n");
  write_file(file("big.txt"), "big\n");
  const std::string old = "previous workbook";
  // Signals sent ever later into small runs, so that some meet the moment the
  // finished workbook is put in place: the old files with 128 + the signal, or
  // the new ones with 0, never the new ones with a stop's code nor a set in part.
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> files;  // the workbook, then its numbered ones
  } cases[] = {
      {{"--tab_file=one.txt", "--xls_ver=1"}, {"out.xls"}},
      {{"--tab_file=one.txt", "--xls_ver=2"}, {"out.xlsx"}},
      {{"--tab_file=big.txt", "--xls_ver=0", "--split"}, {"out.xls", "out(1).xls"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options[1]);
    const std::vector<std::string> args =
        server_options() + std::vector<std::string>{"--src=" + db.name(), "--dest=out"} + c.options;
    const auto connected = [](running_qvtbatch& program) {
      return program.wait_for([&] { return program.output().find("Converting database") != std::string::npos; });
    };
    // How long a run takes here once it has its source (and its signal handlers).
    std::chrono::steady_clock::duration rest{};
    {
      running_qvtbatch program(args, dir(), {});
      ASSERT_TRUE(connected(program)) << program.output();
      const auto started = std::chrono::steady_clock::now();
      program.wait_for([] { return false; });  // until it ends
      rest = std::chrono::steady_clock::now() - started;
    }
    std::vector<std::string> expected_entries = {"big.txt", "one.txt"};
    expected_entries.insert(expected_entries.end(), c.files.begin(), c.files.end());
    std::sort(expected_entries.begin(), expected_entries.end());
    int stopped = 0;
    int finished = 0;
    constexpr int steps = 24;
    for (int i = 0; i <= steps; ++i) {
      for (const std::string& name : c.files)
        write_file(file(name), old);
      running_qvtbatch program(args, dir(), {});
      if (!connected(program))
        continue;  // ended before its first line was read: nothing to stop
      std::this_thread::sleep_for(rest * i / steps);
      const int code = program.stop_with(SIGTERM);
      const bool replaced = read_file(file(c.files[0])) != old;
      for (const std::string& name : c.files)
        EXPECT_EQ(read_file(file(name)) != old, replaced) << name << ": the set is in whole or not at all";
      if (replaced) {
        EXPECT_EQ(code, 0) << "signal after " << i << "/" << steps << " of a run\n" << program.output();
        ++finished;
      } else {
        EXPECT_EQ(code, 128 + SIGTERM) << "signal after " << i << "/" << steps << " of a run\n" << program.output();
        ++stopped;
      }
      EXPECT_EQ(entry_names(dir()), expected_entries);
    }
    std::cout << c.options[1] << ": " << stopped << " stopped, " << finished << " finished\n";
    for (const std::string& name : c.files)
      std::filesystem::remove(file(name));
  }
}

TEST_F(QvtbatchTest, StagingFoldersOfKilledRunsGoWithTheNextRunAndOnesInUseStay)
{
  sql_admin admin;
  scratch_database db(admin, "_staging");
  db.run("CREATE TABLE big (id INT)");
  db.run("CREATE TABLE small (a INT)");
  db.run("INSERT INTO small VALUES (1)");
  write_file(file("big.txt"), "big\n");
  write_file(file("small.txt"), "small\n");
  // Another session's write lock holds the runs that read "big" at their first row.
  sql_admin locker;
  locker.run("USE " + db.quoted());
  locker.run("LOCK TABLES big WRITE");
  // A zip that waits, so that a killed .xlsx run leaves its packing folder too.
  std::filesystem::create_directory(file("bin"));
  std::filesystem::create_directory(file("tmp"));
  write_file(file("bin/zip"), "#!/bin/sh\necho $$ > '" + file("bin/zip.pid") + "'\nexec sleep 30\n");
  std::filesystem::permissions(file("bin/zip"), std::filesystem::perms::owner_all);
  const char* path = std::getenv("PATH");
  const std::vector<std::string> env = {"PATH=" + file("bin") + ":" + (path ? path : "/usr/bin:/bin"),
                                        "TEMP=" + file("tmp"), "TMPDIR=" + file("tmp")};
  const auto run_args = [&](const std::string& tables, const std::string& format, const std::string& dest) {
    return server_options() + std::vector<std::string>{"--src=" + db.name(), "--tab_file=" + tables,
                                                       "--xls_ver=" + format, "--dest=" + dest};
  };
  const auto staging = [&] {
    std::vector<std::string> found;
    for (const std::string& name : entry_names(dir()))
      if (name.starts_with(".qvt_stage_") || name.starts_with(".xlsx_pack_"))
        found.push_back(name);
    return found;
  };

  // A run in progress, held at its first row: its folder is in use throughout.
  running_qvtbatch busy(run_args("big.txt", "1", "busy"), dir(), env);
  ASSERT_TRUE(busy.wait_for([&] { return staging().size() == 1; })) << busy.output();
  const std::string in_use = staging()[0];

  // Runs killed outright, as by a crash, leave their staging folders behind;
  // each later run to the folder removes them, whichever format left them,
  // never the one in use.
  const struct {
    const char* format;
    const char* tables;
    const char* prefix;
  } killed_runs[] = {{"1", "big.txt", ".qvt_stage_"},
                     {"0", "big.txt", ".qvt_stage_"},
                     {"2", "small.txt", ".xlsx_pack_"},
                     {"1", "big.txt", ".qvt_stage_"}};
  std::string earlier;  // the folder the last killed run left
  // Its session counts among those that stay.
  ASSERT_TRUE(busy.wait_for([&] { return busy.output().find("Converting database") != std::string::npos; }))
      << busy.output();
  const std::string sessions_before =
      admin.value("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB = '" + db.name() + "'");
  for (const auto& k : killed_runs) {
    SCOPED_TRACE(std::string("--xls_ver=") + k.format);
    running_qvtbatch killed(run_args(k.tables, k.format, "killed"), dir(), env);
    // The earlier killed run's folder is gone, this one's is there.
    const auto left = [&] {
      const std::vector<std::string> found = staging();
      return found.size() == 2 && std::count(found.begin(), found.end(), in_use) == 1 &&
             std::any_of(found.begin(), found.end(), [&](const std::string& n) {
               return n != in_use && n != earlier && n.starts_with(k.prefix);
             });
    };
    ASSERT_TRUE(killed.wait_for([&] { return left() && (k.format[0] != '2' || file_exists(file("bin/zip.pid"))); }))
        << killed.output();
    EXPECT_EQ(killed.stop_with(SIGKILL), -1);
    EXPECT_TRUE(left());
    for (const std::string& name : staging())
      if (name != in_use)
        earlier = name;
    if (k.format[0] == '2') {
      // The killed run's zip dies with it, and with it the last holder of the
      // run's connection: the server sees the session end.
      EXPECT_TRUE(gone_within(std::stoi(read_file(file("bin/zip.pid"))), std::chrono::seconds(5)))
          << "the killed run's zip lives on";
      std::filesystem::remove(file("bin/zip.pid"));
      const auto sessions = [&] {
        return admin.value("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB = '" + db.name() + "'");
      };
      for (int i = 0; i < 500 && sessions() != sessions_before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_EQ(sessions(), sessions_before) << "the killed run's connection is still open";
    }
  }

  const run_result next = run(run_args("small.txt", "1", "next"), false, env);
  ASSERT_EQ(next.code, 0) << next;
  EXPECT_EQ(staging(), std::vector<std::string>{in_use});
  EXPECT_EQ(busy.stop_with(SIGTERM), 128 + SIGTERM) << busy.output();
  locker.run("UNLOCK TABLES");
  EXPECT_EQ(staging(), std::vector<std::string>{});
  EXPECT_EQ(entry_names(dir()), (std::vector<std::string>{"big.txt", "bin", "next.xls", "small.txt", "tmp"}));
}
