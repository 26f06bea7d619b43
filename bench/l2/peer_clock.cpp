#include "bench/l2/peer_clock.h"

#include <sys/time.h>

namespace PeerClock {

uint64_t offset_ms = 0;

namespace {
bool g_frozen = false;
struct timeval g_frozen_at {};
}  // namespace

}  // namespace PeerClock

extern "C" {
int __real_gettimeofday(struct timeval* tv, void* tz);
int __wrap_gettimeofday(struct timeval* tv, void* tz);
}

void PeerClock::freeze(bool frozen) {
  g_frozen = frozen;
  if (frozen) __real_gettimeofday(&g_frozen_at, nullptr);
}

extern "C" int __wrap_gettimeofday(struct timeval* tv, void* tz) {
  int result = 0;
  if (PeerClock::g_frozen && tv)
    *tv = PeerClock::g_frozen_at;
  else
    result = __real_gettimeofday(tv, tz);
  if (result == 0 && tv) {
    uint64_t us = uint64_t(tv->tv_usec) + (PeerClock::offset_ms % 1000) * 1000;
    tv->tv_sec += static_cast<time_t>(PeerClock::offset_ms / 1000 + us / 1000000);
    tv->tv_usec = static_cast<suseconds_t>(us % 1000000);
  }
  return result;
}
