// A set of throttles per kind of line: one kind's flood hides no other kind, and the owner's end
// writes each count still owed once, on the stream its kind was written to.
#include "base/log_throttles.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/loop_test.h"

namespace {

using LogThrottlesTest = LoopTest;

std::string take(std::ostringstream& os) {
  std::string text = os.str();
  os.str("");
  return text;
}

TEST_F(LogThrottlesTest, EachKindIsThrottledOnItsOwnAndItsCountFlushedOnceWhereItsLinesWent) {
  LogThrottles logs;
  std::ostringstream errors, debug;
  const auto bad = [&](int n) {
    return logs.write(errors, "bad frame: ", [&](std::ostream& os) { os << "bad frame: " << n; });
  };
  const auto full = [&] {
    return logs.write(debug, "tx full", [](std::ostream& os) { os << "tx full"; });
  };
  for (int n = 1; n <= 5; ++n) EXPECT_EQ(bad(n), n == 1);
  EXPECT_TRUE(full()) << "another kind is not held back by the flood";
  EXPECT_FALSE(full());
  EXPECT_EQ(take(errors), "bad frame: 1\n");
  EXPECT_EQ(take(debug), "tx full\n");

  // The interval passes: the next line carries the count.
  Mux::TestClock::advance_ms(1000);
  EXPECT_TRUE(bad(6));
  EXPECT_EQ(take(errors), "bad frame: 6 (4 similar lines left out)\n");

  // The owner ends: one more line of each kind that left lines out, on its kind's stream, the
  // kind without its ": ", which stands for the last of them.
  EXPECT_FALSE(bad(7));
  EXPECT_FALSE(bad(8));
  const auto head = [](std::ostream& os) { os << "LAPD[1] : "; };
  logs.flush(head);
  EXPECT_EQ(take(errors), "LAPD[1] : bad frame (1 similar lines left out)\n");
  EXPECT_EQ(take(debug), "LAPD[1] : tx full\n") << "the one line left out";
  logs.flush(head);
  EXPECT_EQ(take(errors) + take(debug), "") << "a count is written once";
  EXPECT_FALSE(bad(9)) << "the flushed line starts the interval";
}

}  // namespace
