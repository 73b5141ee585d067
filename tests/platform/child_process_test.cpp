// Starting a program without a shell: arguments arrive unchanged, the working
// folder is the child's alone, and the exit status or signal comes back.
#include "platform/child_process.h"

#include "support/env_var.h"
#include "support/temp_dir.h"

#include "platform/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>
#include <pthread.h>
#include <thread>
#include <sys/stat.h>

using test_support::env_var;

namespace {

// sh is the program here, started by path with its own arguments.
plat::child_result run_sh(const std::string& script, std::vector<std::string> args = {},
                          const std::string& folder = {})
{
  args.insert(args.begin(), {"-c", script, "sh"});
  return plat::run_program("/bin/sh", args, folder);
}

} // namespace

TEST(ChildProcess, ArgumentsArriveUnchangedWithoutAShell)
{
  const std::vector<std::string> odd = {"a b", "\"quoted\"", "$(echo no)", "`id`", "*.*", "", "'"};
  const plat::child_result result = run_sh("for a; do printf '[%s]' \"$a\" >&2; done", odd);
  ASSERT_TRUE(result.succeeded()) << plat::describe_child_failure(result);
  EXPECT_EQ(result.error_output, "[a b][\"quoted\"][$(echo no)][`id`][*.*][][']");
}

TEST(ChildProcess, WorkingFolderIsSetForTheChildOnly)
{
  temp_dir dir;
  std::string before;
  ASSERT_TRUE(plat::current_dir(before));
  const plat::child_result result = run_sh("pwd >&2", {}, dir.path().string());
  ASSERT_TRUE(result.succeeded());
  EXPECT_EQ(result.error_output, dir.path().string() + "\n");
  std::string after;
  ASSERT_TRUE(plat::current_dir(after));
  EXPECT_EQ(after, before);

  const plat::child_result missing = run_sh("exit 0", {}, (dir.path() / "missing").string());
  EXPECT_FALSE(missing.started) << "a folder that cannot be entered starts nothing";
  EXPECT_EQ(missing.start_error, ENOENT);
}

TEST(ChildProcess, ExitCodeSignalAndStartFailureAreReported)
{
  struct Case {
    plat::child_result result;
    bool started;
    int exit_code;
    int signal;
    const char* description;
  };
  const Case cases[] = {
      {run_sh("exit 0"), true, 0, 0, "it ended with exit code 0"},
      {run_sh("echo oops >&2; exit 12"), true, 12, 0, "it ended with exit code 12"},
      {run_sh("kill -9 $$"), true, -1, 9, "it was ended by signal 9"},
      {plat::run_program("/nonexistent/program", {}, {}), false, -1, 0,
       "it could not be started: No such file or directory"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result.started, c.started) << c.description;
    EXPECT_EQ(c.result.exit_code, c.exit_code) << c.description;
    EXPECT_EQ(c.result.signal, c.signal) << c.description;
    EXPECT_EQ(c.result.succeeded(), c.exit_code == 0 && c.started) << c.description;
    EXPECT_EQ(plat::describe_child_failure(c.result), c.description);
  }
  EXPECT_EQ(run_sh("echo oops >&2; exit 12").error_output, "oops\n");
}

TEST(ChildProcess, ProgramsAreFoundInAbsolutePathFoldersOnly)
{
  temp_dir dir;
  const auto make = [&](const std::string& folder, mode_t mode) {
    std::filesystem::create_directories(dir.path() / folder);
    const std::string file = (dir.path() / folder / "tool").string();
    write_file(file, "#!/bin/sh\n");
    ::chmod(file.c_str(), mode);
    return file;
  };
  make("plain", 0644);
  const std::string runnable = make("runnable", 0755);
  const std::string path = ":relative:" + (dir.path() / "plain").string() + ":" +
                           (dir.path() / "runnable").string();
  {
    env_var env("PATH", path);
    EXPECT_EQ(plat::find_in_path("tool"), runnable);
    EXPECT_EQ(plat::find_in_path("absent"), "");
    EXPECT_EQ(plat::find_in_path("runnable/tool"), "") << "names only, no paths";
  }
  env_var unset("PATH", std::nullopt);
  EXPECT_EQ(plat::find_in_path("tool"), "");
}

TEST(ChildProcess, ChildStartsWithoutTheCallersBlockedOrIgnoredSignals)
{
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigset_t old_mask;
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &old_mask), 0);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_action {};
  ASSERT_EQ(::sigaction(SIGTERM, &ignore, &old_action), 0);

  const plat::child_result result = run_sh("kill -TERM $$; exit 3");

  ::sigaction(SIGTERM, &old_action, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  EXPECT_EQ(result.signal, SIGTERM) << "a stop request must be able to end the child";
}

TEST(ChildProcess, StopEndsTheRunningChildWithItsOwnChildrenAndKeepsNewOnesFromStarting)
{
  temp_dir dir;
  const std::string started = dir.file("started");
  // The child waits on a child of its own, which holds the error pipe open too.
  plat::child_result result;
  std::thread runner([&] { result = run_sh("touch \"$1\"; sleep 60; exit 0", {started}); });
  for (int i = 0; i < 3000 && !std::filesystem::exists(started); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  plat::stop_child_processes();
  runner.join();
  EXPECT_TRUE(result.started);
  EXPECT_TRUE(result.stopped);
  EXPECT_FALSE(result.succeeded());
  EXPECT_EQ(plat::describe_child_failure(result), "it was stopped");

  const plat::child_result refused = run_sh("exit 0");
  EXPECT_FALSE(refused.started);
  EXPECT_TRUE(refused.stopped);

  plat::allow_child_processes();
  EXPECT_TRUE(run_sh("exit 0").succeeded());
}

TEST(ChildProcess, ChildHoldsNoDescriptorOfTheCallersButItsStandardOnes)
{
  // Made without close-on-exec, as a client library's socket may be.
  const int file = ::open("/dev/null", O_RDONLY);
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(file, 0);
  ASSERT_GE(socket, 0);
  const plat::child_result result = run_sh("ls /proc/$$/fd");
  ::close(file);
  ::close(socket);
  ASSERT_TRUE(result.succeeded()) << result.error_output;
  EXPECT_EQ(result.error_output, "0\n1\n2\n");
}

TEST(ChildProcess, FileSizeLimitFailsTheChildsWriteInsteadOfKillingIt)
{
  temp_dir dir;
  struct sigaction by_default {};
  by_default.sa_handler = SIG_DFL;
  struct sigaction old_action {};
  ASSERT_EQ(::sigaction(SIGXFSZ, &by_default, &old_action), 0);
  const plat::child_result result =
      run_sh("ulimit -f 1; head -c 100000 /dev/zero > big; echo $?", {}, dir.path().string());
  ::sigaction(SIGXFSZ, &old_action, nullptr);
  ASSERT_TRUE(result.succeeded()) << result.error_output;
  EXPECT_NE(result.error_output.find("File too large"), std::string::npos) << result.error_output;
}

namespace {

// The id a script noted in `file` once it runs, 0 when it never did.
pid_t noted_pid(const std::string& file)
{
  for (int i = 0; i < 3000; ++i) {
    std::ifstream in(file);
    pid_t pid = 0;
    if (in >> pid && pid > 0)
      return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

// The process is gone or only a zombie waiting for its new parent.
bool is_gone(pid_t pid)
{
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return true;
  const std::size_t close = line.rfind(')');
  return close != std::string::npos && line.compare(close + 2, 1, "Z") == 0;
}

bool becomes_gone(pid_t pid, std::chrono::milliseconds within)
{
  const auto until = std::chrono::steady_clock::now() + within;
  while (!is_gone(pid)) {
    if (std::chrono::steady_clock::now() > until)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

} // namespace

TEST(ChildProcess, ChildDiesWithTheProcessThatStartedIt)
{
  temp_dir dir;
  const std::string noted = dir.file("pid");
  const pid_t starter = ::fork();
  ASSERT_GE(starter, 0);
  if (starter == 0) {
    plat::child_process child;
    if (!child.start("/bin/sh", {"-c", "echo $$ > \"$1\"; exec sleep 60", "sh", noted}, {},
                     dir.file("out")))
      ::_exit(1);
    noted_pid(noted);
    // Killed: no destructor ends the child.
    ::raise(SIGKILL);
  }
  int status = 0;
  ::waitpid(starter, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  const pid_t child = noted_pid(noted);
  ASSERT_NE(child, 0);
  EXPECT_TRUE(becomes_gone(child, std::chrono::seconds(5))) << "child " << child << " outlived its starter";
}

TEST(ChildProcess, StoppedOrStubbornChildIsEndedWithinAShortGrace)
{
  const struct {
    const char* what;
    const char* script;  // after noting its id
    bool stop;           // SIGSTOP once it runs
    bool by_stop;        // ended by stop_child_processes, else by end()
  } cases[] = {
      {"stopped, with a handler for SIGTERM", "trap 'exit 5' TERM; while :; do sleep 0.05; done", true, false},
      {"stopped, ended by a stop", "trap 'exit 5' TERM; while :; do sleep 0.05; done", true, true},
      {"ignoring SIGTERM", "trap '' TERM; while :; do sleep 0.05; done", false, false},
      {"ignoring SIGTERM, ended by a stop", "trap '' TERM; while :; do sleep 0.05; done", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    plat::child_process child;
    ASSERT_TRUE(child.start("/bin/sh", {"-c", std::string("echo $$ > \"$1\"; ") + c.script, "sh",
                                        dir.file("pid")},
                            {}, dir.file("out")));
    const pid_t pid = noted_pid(dir.file("pid"));
    ASSERT_NE(pid, 0);
    if (c.stop)
      ::kill(pid, SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    if (c.by_stop) {
      plat::stop_child_processes();
      child.wait();
      plat::allow_child_processes();
    } else {
      child.end();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(child.running());
    EXPECT_TRUE(is_gone(pid));
  }
}
