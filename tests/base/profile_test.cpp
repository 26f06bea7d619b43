#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/mux_clock.h"
#include "base/profile.h"
#include "tests/support/test_clock.h"

namespace {

std::string text(const Profile::Point& p) {
  std::ostringstream os;
  os << p;
  return os.str();
}

void sample(Profile::Point& p, uint64_t us) {
  p.begin();
  Mux::TestClock::advance_us(us);
  p.end();
}

TEST(Profile, PointFiguresAcrossTheClockWrap) {
  TestClockGuard clock((uint64_t(1) << 32) - 40);
  Profile::Point p("p");
  EXPECT_EQ(text(p), "[p]: min=0 max=0 avg=0 counter=0");
  sample(p, 250);
  EXPECT_EQ(text(p), "[p]: min=250 max=250 avg=250 counter=1");
  sample(p, 100);
  EXPECT_EQ(text(p), "[p]: min=100 max=250 avg=100 counter=2");
  sample(p, 300);
  sample(p, 120);
  EXPECT_EQ(text(p), "[p]: min=100 max=300 avg=120 counter=4");
}

}  // namespace
