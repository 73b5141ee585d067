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
#include <functional>
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

std::vector<std::string> entries(const std::string& folder)
{
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
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
  const char* path = std::getenv("PATH");
  const std::vector<std::string> env = {"TEMP=" + file("tmp"), "TMPDIR=" + file("tmp"),
                                        "PATH=" + file("bin") + ":" + (path ? path : "/usr/bin:/bin")};

  enum class moment { rows, blocked_read, zip };
  const struct {
    const char* what;
    int signal;
    moment when;
    const char* format;
    const char* destination;
  } cases[] = {
      {"SIGINT while rows stream", SIGINT, moment::rows, "2", "out.xlsx"},
      {"SIGTERM while the server holds the read back", SIGTERM, moment::blocked_read, "2", "out.xlsx"},
      {"SIGHUP while zip packs", SIGHUP, moment::zip, "2", "out.xlsx"},
      {"SIGTERM while an Excel 2000 run waits for its rows", SIGTERM, moment::blocked_read, "1", "out.xls"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string old = std::string("previous workbook\0bytes", 23);
    write_file(file(c.destination), old);
    const std::vector<std::string> args =
        server_options() + std::vector<std::string>{"--src=" + db.name(), std::string("--xls_ver=") + c.format,
                                                    std::string("--dest=") + c.destination};
    // Another session's write lock makes the program's reading of the table wait.
    std::unique_ptr<sql_admin> locker;
    if (c.when == moment::blocked_read) {
      locker = std::make_unique<sql_admin>();
      locker->run("USE " + db.quoted());
      locker->run("LOCK TABLES big WRITE");
    }

    running_qvtbatch program(args, dir(), env);
    const bool reached = program.wait_for([&] {
      switch (c.when) {
      case moment::rows:
        return program.output().find("Converting table big") != std::string::npos;
      case moment::blocked_read:
        return program.output().find("Converting database") != std::string::npos;
      case moment::zip:
        for (const std::string& name : entries(dir()))
          if (name.starts_with(".xlsx_pack_"))
            return true;
        return false;
      }
      return false;
    });
    ASSERT_TRUE(reached) << program.output();
    if (c.when == moment::blocked_read)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));

    EXPECT_EQ(program.stop_with(c.signal), 128 + c.signal) << program.output();
    EXPECT_EQ(program.output().find("rror"), std::string::npos) << program.output();
    EXPECT_EQ(read_file(file(c.destination)), old);
    EXPECT_TRUE(std::filesystem::is_empty(file("tmp")));
    EXPECT_EQ(entries(dir()), (std::vector<std::string>{"bin", c.destination, "tmp"}));
    locker.reset();
    std::filesystem::remove(file(c.destination));
  }
}
