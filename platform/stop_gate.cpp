// One atomic state decides between the stop and the putting in place; each
// change is a compare-and-swap from "running", so neither can undo the other.
#include "platform/stop_gate.h"

#include <atomic>

namespace plat::stop_gate {

namespace {

enum state : int { running = 0, stopping = 1, committing = 2 };
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
  return claim(stopping) == stopping;
}

bool stopped() noexcept
{
  return current.load() == stopping;
}

bool begin_commit() noexcept
{
  return claim(committing) == committing;
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
