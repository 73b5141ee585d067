// The stop of a conversion run from outside it: the console program's signal
// handler or the wizard's Cancel button. request() is async-signal-safe: it only
// sets a flag, shuts the watched socket down (a blocking read of the source then
// ends) and ends a running child (zip); the run notices the flag between records
// and entries and unwinds through its destructors, which remove what it wrote.
#pragma once

namespace run_stop {

// Asks the current run to stop. Async-signal-safe; any thread, any number of times.
void request() noexcept;
bool requested() noexcept;
// Lifts the stop once a run is over, so that the next run starts.
void reset() noexcept;

// The socket a run's blocking reads wait on (-1: none), shut down by a stop.
void watch_socket(int fd) noexcept;

} // namespace run_stop
