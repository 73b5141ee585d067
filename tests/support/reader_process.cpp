#include "support/reader_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

namespace {

bool write_all(int fd, const std::string& text)
{
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Where the line holding the end marker starts, or npos.
std::size_t marker_line(const std::string& text)
{
  if (text.rfind(reader_process::end_marker, 0) == 0)
    return 0;
  const std::size_t at = text.find(std::string("\n") + reader_process::end_marker);
  return at == std::string::npos ? at : at + 1;
}

} // namespace

reader_process::reader_process(const std::vector<std::string>& argv)
{
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0)
    return;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return;
  }
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  to_child_ = in[1];
  from_child_ = out[0];
  if (pid_ < 0) {
    ::close(to_child_);
    ::close(from_child_);
    to_child_ = from_child_ = -1;
  }
}

reader_process::~reader_process()
{
  if (to_child_ >= 0)
    ::close(to_child_);  // end of input ends the reader
  if (from_child_ >= 0)
    ::close(from_child_);
  if (pid_ > 0) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

std::string reader_process::ask(const std::string& request, int* status)
{
  *status = -1;
  // A reader that died must not end the test with SIGPIPE.
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &old);
  const bool sent = to_child_ >= 0 && write_all(to_child_, request + "\n");
  ::sigaction(SIGPIPE, &old, nullptr);
  if (!sent)
    return {};
  for (;;) {
    const std::size_t at = marker_line(pending_);
    const std::size_t line_end = at == std::string::npos ? at : pending_.find('\n', at);
    if (line_end != std::string::npos) {
      std::string answer = pending_.substr(0, at);
      *status = std::atoi(pending_.c_str() + at + std::strlen(end_marker));
      pending_.erase(0, line_end + 1);
      return answer;
    }
    char buffer[65536];
    const ssize_t n = ::read(from_child_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      std::string answer;
      answer.swap(pending_);
      return answer;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

} // namespace test_support
