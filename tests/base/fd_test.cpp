#include "base/fd.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

// `fd = Fd(open(...))` and the end of an empty Fd must leave the failed open's errno alone.
TEST(Fd, ClosedFdsLeaveErrnoAlone) {
  errno = ENOENT;
  { Fd closed; }
  EXPECT_EQ(errno, ENOENT);
  Fd target;
  target = Fd(-1);
  EXPECT_EQ(errno, ENOENT);
  const Fd empty;
  target = empty;
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
