// The stop of the process's current run against the moment the run puts its
// finished files in place: exactly one of the two wins. A stop that comes first
// keeps every old file; once the files are being put in place a stop is
// refused, and the run ends as a finished run. While someone asks the user
// whether to stop, the putting in place is held back: the claim waits until the
// hold is released or turned into a stop. Lock-free and async-signal-safe, so a
// signal handler may ask for the stop.
#pragma once

namespace plat::stop_gate {

// Asks for the stop: true when it is (or already was) in force, false when the
// run is putting its files in place.
bool stop() noexcept;
bool stopped() noexcept;

// Claims the putting in place: true when no stop came first (also when it was
// claimed before), false when one did; then nothing may be put in place. Waits
// while the putting in place is held.
bool begin_commit() noexcept;

// Holds the putting in place back until release() or stop(): true when it is
// (or already was) held, false when a stop is in force or the files are being
// put in place already.
bool hold() noexcept;
// Lifts a hold; a claim waiting for it goes on.
void release() noexcept;

// Lifts a claim of an earlier putting in place, keeping a stop in force.
void forget_commit() noexcept;
// Lifts a stop in force, keeping a claim: after files were put in place, a
// stop stays refused.
void forget_stop() noexcept;
// Back to the start: neither a stop nor a claim.
void reset() noexcept;

} // namespace plat::stop_gate
