// Starting a program by its argument list with fork and exec: no shell ever
// sees the arguments, and the child enters its working folder itself, so the
// parent's current directory is never touched (not even for a moment). The
// child keeps no descriptor of the parent's but its standard ones and dies
// with the thread that started it. The running child's id is published for a
// stop that may come from a signal handler; it is withdrawn before the child
// is reaped, so a stop never signals an id the system may have handed to
// another process.
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
#include <chrono>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// Asks the child's group to end. SIGCONT as well: a stopped process runs no
// handler (zip has one for SIGTERM), so a stopped child would never end.
void end_group(pid_t pid) noexcept
{
  ::kill(-pid, SIGTERM);
  ::kill(-pid, SIGCONT);
}

// How long a child asked to end may take before it is killed: zip removes its
// temporary file on SIGTERM in a moment, anything slower is stuck.
constexpr std::chrono::milliseconds end_grace{1500};
// How often a wait looks at the stop while the child runs on.
constexpr int wait_slice_ms = 100;

// The end of one child's wait: once the child is asked to end (by the caller
// or by a stop that came meanwhile), it is killed with its group if it has not
// ended within the grace, whatever its state.
class end_deadline {
public:
  end_deadline(pid_t pid, bool ending) : pid_(pid)
  {
    if (ending)
      start();
  }
  // Called at every wake-up of the wait.
  void check() noexcept
  {
    if (!started_ && stop_latch.load()) {
      start();
      end_group(pid_);
    }
    if (started_ && !killed_ && std::chrono::steady_clock::now() >= deadline_) {
      ::kill(-pid_, SIGKILL);
      killed_ = true;
    }
  }

private:
  void start()
  {
    started_ = true;
    deadline_ = std::chrono::steady_clock::now() + end_grace;
  }
  pid_t pid_;
  bool started_ = false;
  bool killed_ = false;
  std::chrono::steady_clock::time_point deadline_{};
};

// The child has ended. WNOWAIT: an ended child stays unreaped, so its id
// stays its own.
bool has_ended(pid_t pid)
{
  siginfo_t info{};
  const int rc = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
  return rc != 0 || info.si_pid != 0;
}

// Waits until the child has ended, without reaping it.
void await_end(pid_t pid, bool ending)
{
  end_deadline deadline(pid, ending);
  // A pidfd becomes readable when the process ends; without one, short sleeps.
  const unique_fd process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  while (!has_ended(pid)) {
    deadline.check();
    if (process.valid()) {
      pollfd ready{process.get(), POLLIN, 0};
      ::poll(&ready, 1, wait_slice_ms);
    } else {
      const timespec pause{0, 10'000'000};
      ::nanosleep(&pause, nullptr);
    }
  }
}

// Reads the child's output to its end, keeping the first part of it. A child
// that a stop asked to end and that keeps the pipe open is killed after the grace.
void drain(int fd, pid_t pid, std::string& kept)
{
  end_deadline deadline(pid, false);
  char buffer[4096];
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    const int rc = ::poll(&ready, 1, wait_slice_ms);
    deadline.check();
    if (rc == 0 || (rc < 0 && errno == EINTR))
      continue;
    const ssize_t n = read_some(fd, buffer, sizeof buffer);
    if (n <= 0)
      return;
    const std::size_t room = max_error_output - std::min(kept.size(), max_error_output);
    kept.append(buffer, std::min(room, static_cast<std::size_t>(n)));
  }
}

// What the child is given, all of it made before the fork: between fork and
// exec the child may only make async-signal-safe calls, as another thread of
// the parent may have held a lock (malloc's among them) at the fork.
struct child_setup {
  const char* program;
  char* const* argv;
  char* const* environment;
  const char* working_folder;  // null: the parent's
  int output_fd;
  int report_fd;               // gets errno when the child cannot exec
  pid_t parent;
};

[[noreturn]] void child_fails(const child_setup& setup)
{
  const int error = errno;
  [[maybe_unused]] const ssize_t ignored = ::write(setup.report_fd, &error, sizeof error);
  ::_exit(127);
}

// The child side of spawn_child, up to exec.
[[noreturn]] void become_child(const child_setup& setup)
{
  // A group of its own: a stop ends the child together with anything it
  // started (a wrapper script's own children hold its error pipe open).
  if (::setpgid(0, 0) != 0)
    child_fails(setup);
  // It dies with the thread that started it: a caller killed or crashed must
  // not leave a packer waiting on pipes nobody will feed. A parent already
  // gone before the request would never send the signal.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
    child_fails(setup);
  if (::getppid() != setup.parent)
    ::_exit(127);
  // The parent's handlers must not run here before exec; the signals a caller
  // commonly ignores get their default action. A file-size limit is a write
  // failure the child reports, not a signal that kills it.
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction current {};
    if (signal == SIGKILL || signal == SIGSTOP || ::sigaction(signal, nullptr, &current) != 0)
      continue;
    if (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN)
      ::signal(signal, SIG_DFL);
  }
  for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    ::signal(signal, SIG_DFL);
  ::signal(SIGXFSZ, SIG_IGN);
  if (setup.working_folder != nullptr && ::chdir(setup.working_folder) != 0)
    child_fails(setup);
  const int input = ::open("/dev/null", O_RDONLY);
  if (input < 0 || ::dup2(input, STDIN_FILENO) < 0)
    child_fails(setup);
  // Both outputs are kept: zip reports its failures (a full disk among them)
  // on standard output.
  if (::dup2(setup.output_fd, STDOUT_FILENO) < 0 || ::dup2(setup.output_fd, STDERR_FILENO) < 0)
    child_fails(setup);
  // No descriptor of the parent's but these three: a database connection or
  // a file inherited would be held for as long as the child runs. The report
  // pipe goes at exec with the rest.
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    rlimit limit{};
    const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                            ? limit.rlim_cur
                            : 65536;
    for (rlim_t fd = 3; fd < last; ++fd)
      ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execve(setup.program, setup.argv, setup.environment);
  child_fails(setup);
}

// Starts the program with standard input from /dev/null and both outputs on
// `output_fd`; 0 or the errno that kept it from starting. The child is
// published for a stop before this returns.
int spawn_child(const std::string& program, const std::vector<std::string>& args,
                const std::string& working_folder, const std::vector<std::string>& unset_variables,
                int output_fd, pid_t& pid)
{
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

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0)
    return errno;
  unique_fd report_read(report[0]);
  unique_fd report_write(report[1]);
  const child_setup setup{program.c_str(), argv.data(), environment.data(),
                          working_folder.empty() ? nullptr : working_folder.c_str(), output_fd,
                          report_write.get(), ::getpid()};

  if (stop_latch.load())
    return ECANCELED;
  // Every signal waits across the fork, so that none reaches the child while
  // it still has the parent's handlers.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &previous);
  const pid_t child = ::fork();
  if (child == 0)
    become_child(setup);
  const int fork_error = errno;
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (child < 0)
    return fork_error;
  report_write.reset();
  // The report pipe closes at exec; an errno on it means the program did not start.
  int child_error = 0;
  ssize_t got;
  do {
    got = ::read(report_read.get(), &child_error, sizeof child_error);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return child_error != 0 ? child_error : ECHILD;
  }
  pid = child;
  running_child.store(pid);
  // A stop between the check above and the store has seen no child to end.
  if (stop_latch.load())
    end_group(pid);
  return 0;
}

// Waits for the child to end, withdraws it from the stop, then reaps it into
// `result`. The id is withdrawn while the ended child still holds it, so a stop
// never signals an id the system has handed on. `ending`: the child was asked
// to end and is killed when it takes longer than the grace.
void reap_child(pid_t pid, child_result& result, bool ending)
{
  await_end(pid, ending);
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
  drain(read_end.get(), pid, result.error_output);
  reap_child(pid, result, false);
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
  return pid_ > 0 && !has_ended(pid_);
}

const child_result& child_process::wait()
{
  return wait(false);
}

const child_result& child_process::wait(bool ending)
{
  if (pid_ <= 0)
    return result_;
  reap_child(pid_, result_, ending);
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
  end_group(pid_);
  wait(true);
}

void stop_child_processes() noexcept
{
  stop_latch.store(true);
  const pid_t pid = running_child.load();
  if (pid > 0)
    end_group(pid);
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
