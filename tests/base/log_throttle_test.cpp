#include <gtest/gtest.h>

#include "base/log_throttle.h"
#include "tests/support/loop_test.h"

namespace {

using LogThrottleTest = LoopTest;

TEST_F(LogThrottleTest, OneLinePerIntervalCountingTheRest) {
  LogThrottle throttle(1000);
  uint32_t left_out = 99;
  ASSERT_TRUE(throttle.allow(left_out));
  EXPECT_EQ(left_out, 0u);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(throttle.allow(left_out));
  EXPECT_EQ(throttle.pending(), 5u);
  Mux::TestClock::advance_ms(999);
  EXPECT_FALSE(throttle.allow(left_out));
  Mux::TestClock::advance_ms(1);
  ASSERT_TRUE(throttle.allow(left_out));
  EXPECT_EQ(left_out, 6u);
  EXPECT_EQ(LogThrottle::left_out_text(left_out), " (6 similar lines left out)");
  EXPECT_EQ(LogThrottle::left_out_text(0), "");
  Mux::TestClock::advance_ms(5000);
  ASSERT_TRUE(throttle.allow(left_out));
  EXPECT_EQ(left_out, 0u);
}

}  // namespace
