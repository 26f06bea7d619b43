// The loop clock in a test's hand for one scope.
#pragma once

#include <cstdint>

#include "base/mux_clock.h"

// Sets Mux::TestClock at `us` microseconds while it lives; the system clocks afterwards, however
// the scope is left.
class TestClockGuard {
 public:
  explicit TestClockGuard(uint64_t us) { Mux::TestClock::set(us); }
  ~TestClockGuard() { Mux::TestClock::release(); }
  TestClockGuard(const TestClockGuard&) = delete;
  TestClockGuard& operator=(const TestClockGuard&) = delete;
};
