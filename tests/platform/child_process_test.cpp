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
