// The peer libraries' clock: they read gettimeofday (wrapped in the peer benchmark), which runs
// some milliseconds ahead of the system clock, so a harness can let their timers fall due at
// once. Frozen, it stands at the time it was frozen plus that advance, and a read copies a stored
// time: no system clock and no arithmetic, as our links read the loop's stopped test clock with
// one load, so that neither side's count carries a clock the other does not pay.
#pragma once

#include <cstdint>

struct timeval;

namespace PeerClock {

// Moves the clock `ms` ahead.
void advance_ms(uint64_t ms);
// Moves the clock to the earlier of two timers when it lies ahead; a null one is no timer.
void advance_to_first(const struct timeval* a, const struct timeval* b);
// Stops (true) or restarts (false) the clock.
void freeze(bool frozen);

}  // namespace PeerClock
