#include "base/mux_clock.h"

#include <gtest/gtest.h>

#include "tests/support/test_clock.h"

namespace {

TEST(MuxClock, MillisecondsWrapAt32Bits) {
  TestClockGuard clock((uint64_t(1) << 32) * 1000 - 2000);
  EXPECT_EQ(Mux::milliseconds(), 4294967294u);
  Mux::TestClock::advance_ms(1);
  EXPECT_EQ(Mux::milliseconds(), 4294967295u);
  Mux::TestClock::advance_ms(1);
  EXPECT_EQ(Mux::milliseconds(), 0u);
}

TEST(MuxClock, TestClockMovesWallTimeAlong) {
  TestClockGuard clock(5000000);
  unsigned s0 = Mux::seconds();
  Mux::TestClock::advance_ms(120000);
  EXPECT_EQ(Mux::seconds(), s0 + 120);
  EXPECT_EQ(Mux::microseconds(), uint32_t(125000000));
}

TEST(MuxClock, CachedTimeHoldsUntilCleared) {
  TestClockGuard clock(1000000);
  Mux::mux_settimeofday();
  Mux::TestClock::advance_ms(50);
  EXPECT_EQ(Mux::milliseconds(), 1000u);
  Mux::mux_cleartimeofday();
  EXPECT_EQ(Mux::milliseconds(), 1050u);
}

TEST(MuxClock, TimevalArithmetic) {
  Mux::timeval from{10, 500000}, to{10, 499999};
  EXPECT_EQ(Mux::timevaldiff(from, to), 0);
  to = {12, 0};
  EXPECT_EQ(Mux::timevaldiff(from, to), 1500);
  Mux::timeval a{1, 900000};
  Mux::timevaladd(a, Mux::timeval{0, 200000});
  EXPECT_EQ(a.tv_sec, 2);
  EXPECT_EQ(a.tv_usec, 100000);
  Mux::timevalsub(a, Mux::timeval{0, 200000});
  EXPECT_EQ(a.tv_sec, 1);
  EXPECT_EQ(a.tv_usec, 900000);
  EXPECT_EQ(Mux::timevalcompare(a, a), 0);
  EXPECT_EQ(Mux::timevalcompare(a, to), -1);
  Mux::timeval m = Mux::make_from_msec(2500);
  EXPECT_EQ(m.tv_sec, 2);
  EXPECT_EQ(m.tv_usec, 500000);
  Mux::timeval_timer t;
  t.init(Mux::timeval{0, 0}, 1000);
  EXPECT_FALSE(t.is_expired(Mux::timeval{1, 0}));
  EXPECT_TRUE(t.is_expired(Mux::timeval{1, 1000}));
  t.inc();
  EXPECT_EQ(t.start.tv_sec, 1);
  EXPECT_EQ(Mux::timevaltostring(Mux::timeval{0, 42}).substr(19), ".000042");
}

}  // namespace
