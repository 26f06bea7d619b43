#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "base/console.h"
#include "base/fd.h"
#include "tests/support/stream_capture.h"

namespace {

// Puts `fd` in place of the standard input, and the standard error stream into a buffer, for
// the test's duration.
struct Stdin {
  explicit Stdin(int fd) : saved(::dup(STDIN_FILENO)) { ::dup2(fd, STDIN_FILENO); }
  ~Stdin() { ::dup2(saved.get(), STDIN_FILENO); }
  Fd saved;
  StreamCapture err{std::cerr};
};

TEST(Console, BinaryModeOnTerminal) {
  Fd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(master);
  ASSERT_EQ(grantpt(master.get()), 0);
  ASSERT_EQ(unlockpt(master.get()), 0);
  Fd slave(::open(ptsname(master.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(slave);
  termios before;
  ASSERT_EQ(tcgetattr(slave.get(), &before), 0);
  ASSERT_TRUE(before.c_lflag & ICANON);

  Stdin in(slave.get());
  Console::SwitchToBinaryMode();
  Console::SwitchToNonBlockMode();
  termios after;
  ASSERT_EQ(tcgetattr(slave.get(), &after), 0);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT), 0u);
  EXPECT_EQ(after.c_lflag & (ISIG | IEXTEN | ECHOKE), before.c_lflag & (ISIG | IEXTEN | ECHOKE));
  EXPECT_TRUE(::fcntl(slave.get(), F_GETFL) & O_NONBLOCK);
  EXPECT_EQ(in.err.take(), "");
}

TEST(Console, NotATerminal) {
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  Fd r(p[0]), w(p[1]);
  Stdin in(r.get());
  Console::SwitchToBinaryMode();
  EXPECT_EQ(in.err.take(), "can't obtain terminal attributes\n");
}

}  // namespace
