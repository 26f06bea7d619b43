// The loop clock: the time base of every timer and time stamp of the daemon.
//
// Mux::milliseconds and Mux::microseconds count on CLOCK_MONOTONIC, so a step of the wall clock
// never fires every timer at once; they are 32-bit and wrap (milliseconds every 2^32 ms, about
// 49.7 days; microseconds about every 71.6 minutes). Mux::seconds and the time-of-day readers
// stay on the wall clock.
//
// The loop may cache its time (mux_settimeofday): while a time is cached every read returns it.
// Tests replace the system clocks with a clock they move by hand (Mux::TestClock), so long
// timeouts and the 2^32 wrap are tested without waiting.
#pragma once

#include <cstdint>
#include <string>

namespace Mux {

struct timeval {
  int32_t tv_sec;
  int32_t tv_usec;
};

// The cached loop time (wall clock); all zero while nothing is cached. Read it, never write it:
// only mux_settimeofday and mux_cleartimeofday do, as they keep the fixed reads below in step.
extern timeval g_tv_time;

// Caches the current time (wall and monotonic); returns gettimeofday()'s result.
int mux_settimeofday();
// Drops the cached time, so reads are live again.
void mux_cleartimeofday();
// The cached wall time when one is stored, else the live wall time.
void mux_gettimeofday(timeval& tv);
int gettimeval(timeval& tv);

namespace clock_internal {
// While the loop caches its time or a test clock stands in, the time does not move between the
// calls that set it: they store it here, already converted, so that a read is a load.
extern bool g_fixed;
extern uint32_t g_fixed_ms;
extern uint32_t g_fixed_us;
uint32_t live_milliseconds();
uint32_t live_microseconds();
}  // namespace clock_internal

// Monotonic milliseconds, truncated to 32 bits.
inline uint32_t milliseconds() {
  return clock_internal::g_fixed ? clock_internal::g_fixed_ms : clock_internal::live_milliseconds();
}
// Monotonic microseconds, truncated to 32 bits.
inline uint32_t microseconds() {
  return clock_internal::g_fixed ? clock_internal::g_fixed_us : clock_internal::live_microseconds();
}
// Wall-clock seconds.
unsigned seconds();

timeval make_from_usec(unsigned us);
timeval make_from_msec(unsigned ms);
void timevaladd(timeval& a, const timeval& b);
void timevalsub(timeval& a, const timeval& b);
void timevaladd2(const timeval& a, const timeval& b, timeval& out);
void timevalsub2(const timeval& a, const timeval& b, timeval& out);
void timevalset(timeval& t, unsigned long long ms);
// Milliseconds from `from` to `to`; 0 when `to` is earlier.
int64_t timevaldiff(const timeval& from, const timeval& to);
int timevalcompare(const timeval& a, const timeval& b);
// Local time as "%Y-%m-%d %H:%M:%S" followed by "." and six digits of microseconds.
std::string timevaltostring(const timeval& t);

struct timeval_timer {
  timeval start{0, 0};
  int period = 0;

  void init(const timeval& s, int p) { start = s; period = p; }
  void init_now(const timeval& s) { start = s; }
  // False when the period is below 1; else true once more than a period has passed.
  bool is_expired(const timeval& now) const;
  // Advances the start by one period.
  void inc();
};

// A clock for tests. While active it replaces both system clocks: the monotonic time is what the
// test set, the wall time moves with it from the wall time taken at activation.
namespace TestClock {
// Activates the test clock at `monotonic_us` microseconds.
void set(uint64_t monotonic_us);
void advance_ms(uint64_t ms);
void advance_us(uint64_t us);
// Back to the system clocks.
void release();
bool active();
}  // namespace TestClock

}  // namespace Mux
