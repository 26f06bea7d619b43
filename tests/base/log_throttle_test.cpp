#include <gtest/gtest.h>

#include <sstream>

#include "base/log_throttle.h"
#include "base/throttled_line.h"
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

  // The end of a series writes the last line refused, with the count of those before it.
  EXPECT_FALSE(throttle.flush(left_out)) << "nothing refused since the last line";
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(throttle.allow(left_out));
  ASSERT_TRUE(throttle.flush(left_out));
  EXPECT_EQ(left_out, 2u);
  EXPECT_EQ(throttle.pending(), 0u);
  EXPECT_FALSE(throttle.allow(left_out)) << "the flushed line starts the interval";
}

TEST_F(LogThrottleTest, AThrottledLineWritesTheSameTextWhenAllowedAndWhenFlushed) {
  std::ostringstream os;
  int n = 0;
  ThrottledLine line(os, [&](std::ostream& o) { o << "bad " << n; }, 1000);
  const auto take = [&] {
    std::string text = os.str();
    os.str("");
    return text;
  };
  EXPECT_FALSE(line.flush());
  for (n = 1; n <= 4; ++n) EXPECT_EQ(line.report(), n == 1);
  EXPECT_EQ(take(), "bad 1\n");
  n = 9;  // the owner's state when the last refused line is written
  ASSERT_TRUE(line.flush());
  EXPECT_EQ(take(), "bad 9 (2 similar lines left out)\n");
  EXPECT_FALSE(line.report()) << "the flushed line starts the interval";
  Mux::TestClock::advance_ms(1000);
  ASSERT_TRUE(line.report());
  EXPECT_EQ(take(), "bad 9 (1 similar lines left out)\n");
  EXPECT_FALSE(line.flush());
}

// Every count reported is in exactly one line written: those of the lines left out go into the
// next one, or into the one the end of the series writes.
TEST_F(LogThrottleTest, ACountingLineCarriesTheCountsOfTheLinesLeftOut) {
  std::ostringstream os;
  CountingLine<unsigned> line(os, [](std::ostream& o, unsigned n) { o << n << " lost"; });
  const auto take = [&] {
    std::string text = os.str();
    os.str("");
    return text;
  };
  EXPECT_TRUE(line.report(2));
  EXPECT_FALSE(line.report(3));
  EXPECT_FALSE(line.report(4));
  EXPECT_EQ(take(), "2 lost\n");
  Mux::TestClock::advance_ms(1000);
  EXPECT_TRUE(line.report(5));
  EXPECT_EQ(take(), "12 lost (2 similar lines left out)\n");
  EXPECT_FALSE(line.report(6));
  EXPECT_TRUE(line.flush());
  EXPECT_EQ(take(), "6 lost\n");
  EXPECT_FALSE(line.flush());
  Mux::TestClock::advance_ms(1000);
  EXPECT_TRUE(line.report(1));
  EXPECT_EQ(take(), "1 lost\n") << "a flushed line's counts are not written again";
}

}  // namespace
