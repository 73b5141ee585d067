// The run's stop and what breaks the run's blocking waits. Only lock-free
// atomics and async-signal-safe calls (shutdown, kill) are used, since a signal
// handler may be the caller. The stop itself is the process's stop gate, which
// the .xlsx packer consults too before its final rename.
#include "common/run_stop.h"

#include "platform/child_process.h"
#include "platform/stop_gate.h"

#include <atomic>
#include <sys/socket.h>

namespace {

std::atomic<int> watched_socket{-1};
static_assert(std::atomic<int>::is_always_lock_free);

} // namespace

namespace run_stop {

bool request() noexcept
{
  if (!plat::stop_gate::stop())
    return false;
  // A read then returns at once: the client library sees a lost connection, and
  // the run, seeing the flag, ends without reporting it.
  const int fd = watched_socket.load();
  if (fd >= 0)
    ::shutdown(fd, SHUT_RDWR);
  plat::stop_child_processes();
  return true;
}

bool requested() noexcept
{
  return plat::stop_gate::stopped();
}

bool begin_commit() noexcept
{
  return plat::stop_gate::begin_commit();
}

bool hold_commit() noexcept
{
  return plat::stop_gate::hold();
}

void release_commit() noexcept
{
  plat::stop_gate::release();
}

void run_starts() noexcept
{
  plat::stop_gate::forget_commit();
}

void run_ends() noexcept
{
  plat::allow_child_processes();
  plat::stop_gate::forget_stop();
}

void reset() noexcept
{
  plat::allow_child_processes();
  plat::stop_gate::reset();
}

void watch_socket(int fd) noexcept
{
  watched_socket.store(fd);
  // A stop that came before the socket was known still breaks its reads.
  if (fd >= 0 && requested())
    ::shutdown(fd, SHUT_RDWR);
}

} // namespace run_stop
