// The stop of a conversion run from outside it: the console program's signal
// handler or the wizard's Cancel button. request() is async-signal-safe: it only
// sets a flag, shuts the watched socket down (a blocking read of the source then
// ends) and ends a running child (zip); the run notices the flag between records
// and entries and unwinds through its destructors, which remove what it wrote.
// Once the run puts its finished files in place (begin_commit), a stop is
// refused: the run finishes, so the outcome and what the destination holds agree.
#pragma once

namespace run_stop {

// Asks the current run to stop. Async-signal-safe; any thread, any number of
// times. False when the stop was refused: the run is putting its files in place.
bool request() noexcept;
bool requested() noexcept;
// Claims the putting in place of the run's files: false when a stop came
// first; from then on every stop is refused, also after the run, until the
// next run starts: the destination was replaced, whatever comes later.
bool begin_commit() noexcept;
// While the user is asked whether to stop: the run goes on, but waits before
// putting its files in place until release_commit() or request(). False when
// too late (a stop in force, or the files are being put in place already).
bool hold_commit() noexcept;
void release_commit() noexcept;
// A run starts: the claim of an earlier run is lifted; a stop asked for
// already stays.
void run_starts() noexcept;
// A run is over: a stop in force is lifted, so that the next run starts.
void run_ends() noexcept;
// Neither a stop nor a claim (tests that run many conversions).
void reset() noexcept;

// The socket a run's blocking reads wait on (-1: none), shut down by a stop.
void watch_socket(int fd) noexcept;

} // namespace run_stop
