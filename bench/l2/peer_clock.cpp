#include "bench/l2/peer_clock.h"

#include <sys/time.h>

extern "C" {
int __real_gettimeofday(struct timeval* tv, void* tz);
int __wrap_gettimeofday(struct timeval* tv, void* tz);
}

namespace {

uint64_t g_offset_ms = 0;
bool g_frozen = false;
struct timeval g_frozen_at {};
// While frozen: g_frozen_at plus the advance, what every read returns.
struct timeval g_now {};

void add_offset(struct timeval& tv) {
  const uint64_t us = uint64_t(tv.tv_usec) + (g_offset_ms % 1000) * 1000;
  tv.tv_sec += static_cast<time_t>(g_offset_ms / 1000 + us / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
}

void settle() {
  g_now = g_frozen_at;
  add_offset(g_now);
}

}  // namespace

void PeerClock::advance_ms(uint64_t ms) {
  g_offset_ms += ms;
  if (g_frozen) settle();
}

void PeerClock::advance_to_first(const struct timeval* a, const struct timeval* b) {
  const struct timeval* first = !a || (b && timercmp(b, a, <)) ? b : a;
  struct timeval now;
  __wrap_gettimeofday(&now, nullptr);
  if (!first || !timercmp(first, &now, >)) return;
  const int64_t us = int64_t(first->tv_sec - now.tv_sec) * 1000000 + (first->tv_usec - now.tv_usec);
  advance_ms(uint64_t(us / 1000 + 1));
}

void PeerClock::freeze(bool frozen) {
  g_frozen = frozen;
  if (!frozen) return;
  __real_gettimeofday(&g_frozen_at, nullptr);
  settle();
}

extern "C" int __wrap_gettimeofday(struct timeval* tv, void* tz) {
  if (g_frozen) {
    if (tv) *tv = g_now;
    return 0;
  }
  const int result = __real_gettimeofday(tv, tz);
  if (result == 0 && tv) add_offset(*tv);
  return result;
}
