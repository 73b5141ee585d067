// One atomic state decides between the stop and the putting in place; each
// change is a compare-and-swap from "running" (or from "held"), so neither can
// undo the other. A claim that finds the state held polls with a short sleep:
// a futex wake from stop() would not be async-signal-safe in every library.
#include "platform/stop_gate.h"

#include <atomic>
#include <ctime>

namespace plat::stop_gate {

namespace {

enum state : int { running = 0, stopping = 1, committing = 2, held = 3 };
std::atomic<int> current{running};
static_assert(std::atomic<int>::is_always_lock_free);

// Moves from running to `to`; the state found when that was not possible.
int claim(int to) noexcept
{
  int expected = running;
  if (current.compare_exchange_strong(expected, to))
    return to;
  return expected;
}

} // namespace

bool stop() noexcept
{
  int found = current.load();
  while (found == running || found == held)
    if (current.compare_exchange_weak(found, stopping))
      return true;
  return found == stopping;
}

bool stopped() noexcept
{
  return current.load() == stopping;
}

bool begin_commit() noexcept
{
  for (;;) {
    const int found = claim(committing);
    if (found != held)
      return found == committing;
    const timespec pause{0, 5'000'000};
    ::nanosleep(&pause, nullptr);
  }
}

bool hold() noexcept
{
  const int found = claim(held);
  return found == held;
}

void release() noexcept
{
  int expected = held;
  current.compare_exchange_strong(expected, running);
}

void forget_commit() noexcept
{
  int expected = committing;
  current.compare_exchange_strong(expected, running);
}

void forget_stop() noexcept
{
  int expected = stopping;
  current.compare_exchange_strong(expected, running);
}

void reset() noexcept
{
  current.store(running);
}

} // namespace plat::stop_gate
