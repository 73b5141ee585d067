// The run's stop flag and what breaks the run's blocking waits. Only lock-free
// atomics and async-signal-safe calls (shutdown, kill) are used, since a signal
// handler may be the caller.
#include "common/run_stop.h"

#include "platform/child_process.h"

#include <atomic>
#include <sys/socket.h>

namespace {

std::atomic<bool> stop_flag{false};
std::atomic<int> watched_socket{-1};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

} // namespace

namespace run_stop {

void request() noexcept
{
  stop_flag.store(true);
  // A read then returns at once: the client library sees a lost connection, and
  // the run, seeing the flag, ends without reporting it.
  const int fd = watched_socket.load();
  if (fd >= 0)
    ::shutdown(fd, SHUT_RDWR);
  plat::stop_child_processes();
}

bool requested() noexcept
{
  return stop_flag.load();
}

void reset() noexcept
{
  plat::allow_child_processes();
  stop_flag.store(false);
}

void watch_socket(int fd) noexcept
{
  watched_socket.store(fd);
  // A stop that came before the socket was known still breaks its reads.
  if (fd >= 0 && stop_flag.load())
    ::shutdown(fd, SHUT_RDWR);
}

} // namespace run_stop
