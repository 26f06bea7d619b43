#include "base/fd.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

Fd make_pipe_end() {
  int p[2];
  EXPECT_EQ(::pipe(p), 0);
  ::close(p[1]);
  return Fd(p[0]);
}

TEST(Fd, CopyDuplicatesCloseOnExecAndLeavesSourceOpen) {
  Fd a = make_pipe_end();
  ASSERT_TRUE(a);
  {
    Fd b(a);
    ASSERT_TRUE(b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_TRUE(::fcntl(b.get(), F_GETFD) & FD_CLOEXEC);
    EXPECT_EQ(b.close(), 0);
  }
  EXPECT_NE(::fcntl(a.get(), F_GETFD), -1);
  Fd closed;
  Fd copy(closed);
  EXPECT_FALSE(copy);
}

TEST(Fd, SelfAssignmentKeepsAndSecondCloseFailsWithEbadf) {
  Fd a = make_pipe_end();
  int n = a.get();
  Fd& ref = a;
  a = ref;
  EXPECT_EQ(a.get(), n);
  EXPECT_EQ(a.close(), 0);
  errno = 0;
  EXPECT_EQ(a.close(), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(a.get(), -1);
}

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
