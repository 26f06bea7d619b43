#include "base/mux_clock.h"

#include <cstdio>
#include <ctime>
#include <sys/time.h>

namespace Mux {

timeval g_tv_time = {0, 0};

namespace clock_internal {

bool g_fixed = false;
uint32_t g_fixed_ms = 0;
uint32_t g_fixed_us = 0;

}  // namespace clock_internal

namespace {

uint64_t g_cached_mono_us = 0;

struct TestState {
  bool active = false;
  uint64_t mono_us = 0;
  uint64_t start_mono_us = 0;
  int64_t wall_base_us = 0;
} g_test;

int64_t system_wall_us() {
  struct ::timeval tv;
  ::gettimeofday(&tv, nullptr);
  return int64_t(tv.tv_sec) * 1000000 + tv.tv_usec;
}

uint64_t live_mono_us() {
  if (g_test.active) return g_test.mono_us;
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
}

int64_t live_wall_us() {
  if (g_test.active) return g_test.wall_base_us + int64_t(g_test.mono_us - g_test.start_mono_us);
  return system_wall_us();
}

bool cached() { return g_tv_time.tv_sec != 0 || g_tv_time.tv_usec != 0; }

uint64_t mono_us() { return cached() ? g_cached_mono_us : live_mono_us(); }

// After every change of the cache or the test clock: the readers' copy of a time that stands.
void fix() {
  clock_internal::g_fixed = cached() || g_test.active;
  const uint64_t us = clock_internal::g_fixed ? mono_us() : 0;
  clock_internal::g_fixed_ms = uint32_t(us / 1000);
  clock_internal::g_fixed_us = uint32_t(us);
}

timeval to_timeval(int64_t us) {
  return timeval{int32_t(us / 1000000), int32_t(us % 1000000)};
}

}  // namespace

int mux_settimeofday() {
  g_tv_time = to_timeval(live_wall_us());
  g_cached_mono_us = live_mono_us();
  fix();
  return 0;
}

void mux_cleartimeofday() {
  g_tv_time = timeval{0, 0};
  fix();
}

void mux_gettimeofday(timeval& tv) { tv = cached() ? g_tv_time : to_timeval(live_wall_us()); }

int gettimeval(timeval& tv) {
  mux_gettimeofday(tv);
  return 0;
}

uint32_t clock_internal::live_milliseconds() { return uint32_t(mono_us() / 1000); }
uint32_t clock_internal::live_microseconds() { return uint32_t(mono_us()); }

unsigned seconds() {
  timeval tv;
  mux_gettimeofday(tv);
  return unsigned(tv.tv_sec);
}

timeval make_from_usec(unsigned us) { return timeval{int32_t(us / 1000000), int32_t(us % 1000000)}; }

timeval make_from_msec(unsigned ms) {
  return timeval{int32_t(ms / 1000), int32_t((ms % 1000) * 1000)};
}

void timevaladd(timeval& a, const timeval& b) {
  a.tv_sec += b.tv_sec;
  a.tv_usec += b.tv_usec;
  while (a.tv_usec >= 1000000) {
    a.tv_usec -= 1000000;
    ++a.tv_sec;
  }
}

void timevalsub(timeval& a, const timeval& b) {
  int32_t d = a.tv_usec - b.tv_usec + 1000000;
  a.tv_sec = a.tv_sec - b.tv_sec - 1 + d / 1000000;
  a.tv_usec = d % 1000000;
}

void timevaladd2(const timeval& a, const timeval& b, timeval& out) {
  out = a;
  timevaladd(out, b);
}

void timevalsub2(const timeval& a, const timeval& b, timeval& out) {
  out = a;
  timevalsub(out, b);
}

void timevalset(timeval& t, unsigned long long ms) {
  t.tv_sec = int32_t(ms / 1000);
  t.tv_usec = int32_t((ms % 1000) * 1000);
}

int64_t timevaldiff(const timeval& from, const timeval& to) {
  if (timevalcompare(to, from) < 0) return 0;
  return (int64_t(to.tv_sec) - from.tv_sec) * 1000 + (int64_t(to.tv_usec) - from.tv_usec) / 1000;
}

int timevalcompare(const timeval& a, const timeval& b) {
  if (a.tv_sec != b.tv_sec) return a.tv_sec < b.tv_sec ? -1 : 1;
  if (a.tv_usec != b.tv_usec) return a.tv_usec < b.tv_usec ? -1 : 1;
  return 0;
}

std::string timevaltostring(const timeval& t) {
  time_t secs = t.tv_sec;
  struct tm tm;
  char date[32] = "";
  if (::localtime_r(&secs, &tm)) ::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
  char out[64];
  std::snprintf(out, sizeof out, "%s.%06ld", date, long(t.tv_usec));
  return out;
}

bool timeval_timer::is_expired(const timeval& now) const {
  if (period < 1) return false;
  return timevaldiff(start, now) > period;
}

void timeval_timer::inc() {
  timeval step;
  timevalset(step, unsigned(period));
  timevaladd(start, step);
}

namespace TestClock {

void set(uint64_t monotonic_us) {
  if (!g_test.active) g_test.wall_base_us = system_wall_us();
  g_test.active = true;
  g_test.mono_us = monotonic_us;
  g_test.start_mono_us = monotonic_us;
  fix();
}

void advance_ms(uint64_t ms) { advance_us(ms * 1000); }
void advance_us(uint64_t us) {
  g_test.mono_us += us;
  fix();
}
void release() {
  g_test.active = false;
  fix();
}
bool active() { return g_test.active; }

}  // namespace TestClock

}  // namespace Mux
