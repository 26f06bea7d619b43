// The peer libraries' clock: they read gettimeofday (wrapped in the peer benchmark), which runs
// `offset_ms` ahead of the system clock, so a harness can let their timers fall due at once.
// Frozen, it stands at the time it was frozen plus `offset_ms` and reads no system clock, as the
// loop's test clock does for our links.
#pragma once

#include <cstdint>

namespace PeerClock {

extern uint64_t offset_ms;
inline void advance_ms(uint64_t ms) { offset_ms += ms; }
// Stops (true) or restarts (false) the clock.
void freeze(bool frozen);

}  // namespace PeerClock
