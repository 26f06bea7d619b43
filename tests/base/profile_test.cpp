#include <gtest/gtest.h>

#include <memory>
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

TEST(Profile, DumpListsNewestFirstAndSurvivesUnlinking) {
  Profile::Point* before = Profile::mRoot;
  Profile::Point a("a");
  auto b = std::make_unique<Profile::Point>("b");
  Profile::Point c("c");
  std::ostringstream os;
  Profile::dump(os);
  const std::string zeros = ": min=0 max=0 avg=0 counter=0\n";
  EXPECT_EQ(os.str().rfind("[c]" + zeros + "[b]" + zeros + "[a]" + zeros, 0), 0u) << os.str();

  b.reset();
  os.str("");
  Profile::dump(os);
  EXPECT_EQ(os.str().rfind("[c]" + zeros + "[a]" + zeros, 0), 0u) << os.str();
  EXPECT_EQ(a.next(), before);
}

}  // namespace
