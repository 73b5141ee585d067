// Starting another program without a shell: the argument list goes to it as it
// is, and its working folder is set for the child alone, so the caller's current
// directory never changes. The caller waits for the program and gets its exit
// status and what it wrote. A stop (stop_child_processes) ends the running child
// and keeps new ones from starting until it is lifted.
#pragma once

#include "platform/files.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace plat {

struct child_result {
  bool started = false;
  int start_error = 0;   // errno when the program could not be started
  int exit_code = -1;    // when it exited on its own
  int signal = 0;        // the signal that ended it, 0 when it exited
  std::string error_output;  // its standard output and error, the first 64 KiB
  bool stopped = false;  // a stop ended it or kept it from starting

  bool succeeded() const { return started && !stopped && signal == 0 && exit_code == 0; }
};

// Runs `program` (a path, no PATH search) with `args` as argv[1..]; argv[0] is
// the program path. The child runs in a process group of its own, which a stop
// ends as a whole. Standard input is /dev/null; standard output and error are
// gathered into error_output. An empty
// `working_folder` keeps the caller's; a folder that cannot be entered means the
// program is not started (start_error says why). The child gets the caller's
// environment without the variables named in `unset_variables`.
child_result run_program(const std::string& program, const std::vector<std::string>& args,
                         const std::string& working_folder,
                         const std::vector<std::string>& unset_variables = {});

// A program that runs beside the caller (a packer fed through named pipes while
// the caller produces what it packs). It is started as run_program starts one,
// but its outputs go to a file, so that a child that writes much never waits on
// the caller. At most one child runs at a time (run_program's or this one), as a
// stop ends the one running. Dropped while running, it is ended with its group
// and reaped, so it never outlives its owner.
class child_process {
public:
  child_process() = default;
  ~child_process();
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  // Starts the program; its standard output and error go to `output_path`
  // (created, mode 0600). False, with result().start_error (and stopped for a
  // stop in force) set, when it could not be started.
  bool start(const std::string& program, const std::vector<std::string>& args,
             const std::string& working_folder, const std::string& output_path,
             const std::vector<std::string>& unset_variables = {});
  // Started and not ended yet; an ended child is not reaped by asking.
  bool running() const;
  // Waits for the child to end and gives its result with the first 64 KiB of
  // what it wrote; at once when it was reaped already.
  const child_result& wait();
  // Ends the child's process group (SIGTERM and SIGCONT, SIGKILL when it has
  // not ended within a short grace) and reaps it; nothing when none runs.
  void end() noexcept;
  const child_result& result() const { return result_; }

private:
  const child_result& wait(bool ending);
  pid_t pid_ = 0;
  unique_fd output_;
  child_result result_;
};

// Ends the running child's process group (SIGTERM, and SIGCONT for a child
// that is stopped) and keeps further children from starting; a wait on the
// child kills it when it has not ended within a short grace. Async-signal-safe: a signal handler may call it.
void stop_child_processes() noexcept;
// Lets children start again after a stop.
void allow_child_processes() noexcept;

// A regular file the effective user may execute.
bool is_executable_file(const std::string& path);

// The first executable file of that name in the folders of PATH; empty when
// there is none (or PATH is unset or empty).
std::string find_in_path(const std::string& name);

// The text for a child that failed: "exit code 12", "signal 9", the stop or the
// start error.
std::string describe_child_failure(const child_result& result);

} // namespace plat
