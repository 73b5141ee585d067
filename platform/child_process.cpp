// Starting a program by its argument list with posix_spawn: no shell ever sees
// the arguments, and the child's working folder is a spawn file action, so the
// parent's current directory is never touched (not even for a moment). The
// running child's id is published for a stop that may come from a signal
// handler; it is withdrawn before the child is reaped, so a stop never signals
// an id the system may have handed to another process.
#include "platform/child_process.h"

#include "platform/files.h"
#include "base/format.h"
#include "platform/process.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

extern char** environ;

namespace plat {

namespace {

constexpr std::size_t max_error_output = 64 * 1024;

// Lock-free, as a signal handler reads and writes them.
std::atomic<bool> stop_latch{false};
std::atomic<pid_t> running_child{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free);

class spawn_actions {
public:
  spawn_actions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  ~spawn_actions()
  {
    if (ok_)
      ::posix_spawn_file_actions_destroy(&actions_);
  }
  spawn_actions(const spawn_actions&) = delete;
  spawn_actions& operator=(const spawn_actions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

// Reads the child's standard error to its end, keeping the first part of it.
void drain(int fd, std::string& kept)
{
  char buffer[4096];
  for (;;) {
    const ssize_t n = read_some(fd, buffer, sizeof buffer);
    if (n <= 0)
      return;
    const std::size_t room = max_error_output - std::min(kept.size(), max_error_output);
    kept.append(buffer, std::min(room, static_cast<std::size_t>(n)));
  }
}

// The child starts with no blocked signals and default actions for the ones a
// caller commonly ignores or blocks (a thread's mask and SIG_IGN are inherited).
class spawn_attributes {
public:
  spawn_attributes()
  {
    initialized_ = ::posix_spawnattr_init(&attributes_) == 0;
    if (!initialized_)
      return;
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
      sigaddset(&defaults, signal);
    // A group of its own: a stop ends the child together with anything it
    // started (a wrapper script's own children hold its error pipe open).
    ok_ = ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
          ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
          ::posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
          ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                       POSIX_SPAWN_SETPGROUP) == 0;
  }
  ~spawn_attributes()
  {
    if (initialized_)
      ::posix_spawnattr_destroy(&attributes_);
  }
  spawn_attributes(const spawn_attributes&) = delete;
  spawn_attributes& operator=(const spawn_attributes&) = delete;
  bool ok() const { return ok_; }
  posix_spawnattr_t* get() { return &attributes_; }

private:
  posix_spawnattr_t attributes_{};
  bool initialized_ = false;
  bool ok_ = false;
};

// Starts the program with standard input from /dev/null and both outputs on
// `output_fd`; 0 or the errno that kept it from starting. The child is
// published for a stop before this returns.
int spawn_child(const std::string& program, const std::vector<std::string>& args,
                const std::string& working_folder, const std::vector<std::string>& unset_variables,
                int output_fd, pid_t& pid)
{
  spawn_actions actions;
  spawn_attributes attributes;
  if (!actions.ok() || !attributes.ok())
    return ENOMEM;
  // The order matters: the working folder first, so that a folder that cannot
  // be entered stops the program before it starts.
  int rc = 0;
  if (!working_folder.empty())
    rc = ::posix_spawn_file_actions_addchdir_np(actions.get(), working_folder.c_str());
  if (rc == 0)
    rc = ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // Both outputs are kept: zip reports its failures (a full disk among them) on
  // standard output.
  if (rc == 0)
    rc = ::posix_spawn_file_actions_adddup2(actions.get(), output_fd, STDOUT_FILENO);
  if (rc == 0)
    rc = ::posix_spawn_file_actions_adddup2(actions.get(), output_fd, STDERR_FILENO);
  if (rc != 0)
    return rc;

  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  std::vector<char*> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view variable(*entry);
    const std::string_view name = variable.substr(0, variable.find('='));
    if (std::find(unset_variables.begin(), unset_variables.end(), name) == unset_variables.end())
      environment.push_back(*entry);
  }
  environment.push_back(nullptr);

  if (stop_latch.load())
    return ECANCELED;
  // glibc reports a failed file action or exec through the return value.
  rc = ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(),
                     environment.data());
  if (rc != 0)
    return rc;
  running_child.store(pid);
  // A stop between the check above and the store has seen no child to end.
  if (stop_latch.load())
    ::kill(-pid, SIGTERM);
  return 0;
}

// Waits for the child to end, withdraws it from the stop, then reaps it into
// `result`. The id is withdrawn while the ended child still holds it, so a stop
// never signals an id the system has handed on.
void reap_child(pid_t pid, child_result& result)
{
  siginfo_t info{};
  int rc;
  do {
    rc = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
  } while (rc < 0 && errno == EINTR);
  running_child.store(0);
  int status = 0;
  pid_t waited;
  do {
    waited = ::waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0) {
    result.exit_code = -1;
    result.signal = 0;
    result.start_error = errno;
    return;
  }
  if (WIFEXITED(status))
    result.exit_code = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  result.stopped = stop_latch.load();
}

} // namespace

child_result run_program(const std::string& program, const std::vector<std::string>& args,
                         const std::string& working_folder,
                         const std::vector<std::string>& unset_variables)
{
  child_result result;

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    result.start_error = errno;
    return result;
  }
  unique_fd read_end(pipe_fds[0]);
  unique_fd write_end(pipe_fds[1]);

  pid_t pid = 0;
  const int rc =
      spawn_child(program, args, working_folder, unset_variables, write_end.get(), pid);
  if (rc != 0) {
    result.stopped = rc == ECANCELED;
    result.start_error = rc;
    return result;
  }
  result.started = true;
  write_end.reset();  // the child holds the only writing end now
  drain(read_end.get(), result.error_output);
  reap_child(pid, result);
  return result;
}

child_process::~child_process()
{
  end();
}

bool child_process::start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& working_folder, const std::string& output_path,
                          const std::vector<std::string>& unset_variables)
{
  end();
  result_ = child_result{};
  unique_fd output(::open(output_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!output.valid()) {
    result_.start_error = errno;
    return false;
  }
  pid_t pid = 0;
  const int rc = spawn_child(program, args, working_folder, unset_variables, output.get(), pid);
  if (rc != 0) {
    result_.stopped = rc == ECANCELED;
    result_.start_error = rc;
    return false;
  }
  result_.started = true;
  pid_ = pid;
  output_ = std::move(output);
  return true;
}

bool child_process::running() const
{
  if (pid_ <= 0)
    return false;
  siginfo_t info{};
  // WNOWAIT: an ended child stays unreaped, so its id stays its own.
  const int rc = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
  return rc == 0 && info.si_pid == 0;
}

const child_result& child_process::wait()
{
  if (pid_ <= 0)
    return result_;
  reap_child(pid_, result_);
  pid_ = 0;
  // What it wrote, from the start of its output file.
  char buffer[4096];
  std::uint64_t offset = 0;
  while (output_.valid() && result_.error_output.size() < max_error_output) {
    std::size_t got = 0;
    const std::size_t want = std::min(sizeof buffer, max_error_output - result_.error_output.size());
    if (!pread_all(output_.get(), buffer, want, offset, got) || got == 0)
      break;
    result_.error_output.append(buffer, got);
    offset += got;
  }
  output_.reset();
  return result_;
}

void child_process::end() noexcept
{
  if (pid_ <= 0)
    return;
  ::kill(-pid_, SIGTERM);
  wait();
}

void stop_child_processes() noexcept
{
  stop_latch.store(true);
  const pid_t pid = running_child.load();
  if (pid > 0)
    ::kill(-pid, SIGTERM);
}

void allow_child_processes() noexcept
{
  stop_latch.store(false);
}

bool is_executable_file(const std::string& path)
{
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::string find_in_path(const std::string& name)
{
  const char* path = std::getenv("PATH");
  if (!path || !*path || name.empty() || name.find('/') != std::string::npos)
    return {};
  std::string_view folders(path);
  while (!folders.empty()) {
    const std::size_t colon = folders.find(':');
    std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view{} : folders.substr(colon + 1);
    // An empty entry would mean the current directory, which is no place to
    // pick a program from.
    if (folder.empty() || folder.front() != '/')
      continue;
    std::string candidate(folder);
    candidate += '/';
    candidate += name;
    if (is_executable_file(candidate))
      return candidate;
  }
  return {};
}

std::string describe_child_failure(const child_result& result)
{
  if (result.stopped)
    return "it was stopped";
  if (!result.started)
    return base::sprintf("it could not be started: %s", error_text(result.start_error));
  if (result.signal != 0)
    return base::sprintf("it was ended by signal %d", result.signal);
  if (result.exit_code < 0)
    return base::sprintf("its end could not be awaited: %s", error_text(result.start_error));
  return base::sprintf("it ended with exit code %d", result.exit_code);
}

} // namespace plat
