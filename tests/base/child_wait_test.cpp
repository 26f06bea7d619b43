#include "base/child_wait.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/loop_test.h"

namespace {

ChildWaitService& service() { return *ChildWaitService::childWaitService; }

class ChildWaitTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    ChildWait::Activate();
    ASSERT_TRUE(service().fd());
  }
  void TearDown() override {
    service().Release();
    LoopTest::TearDown();
  }
  // Runs the loop until a Waiter ends it; the loop sleeps until SIGCHLD wakes it.
  void run() { multiplexer.run(false, true); }
};

// Blocks in the child until the parent lets it go, then exits with `code`.
struct Child {
  explicit Child(int code) {
    int p[2];
    EXPECT_EQ(::pipe2(p, O_CLOEXEC), 0);
    pid = ::fork();
    if (pid == 0) {
      // Other children's gates, inherited through fork, must not keep this one open.
      for (int fd = 3; fd < 1024; ++fd)
        if (fd != p[0]) ::close(fd);
      char c;
      while (::read(p[0], &c, 1) < 0 && errno == EINTR) {
      }
      ::_exit(code);
    }
    ::close(p[0]);
    gate = Fd(p[1]);
  }
  void release() { gate.close(); }
  // Waits until the child has ended, leaving it unreaped.
  void await_exit() {
    release();
    siginfo_t info;
    EXPECT_EQ(::waitid(P_PID, pid, &info, WEXITED | WNOWAIT), 0);
  }
  int pid;
  Fd gate;
};

// Ends the loop on each delivery, or when `delivered` reaches `goal`.
struct Waiter {
  explicit Waiter(int pid) {
    wait.Bind(this, &Waiter::on_exit);
    wait.Attach(pid);
  }
  void on_exit(int s) {
    status = s;
    ++calls;
    if (then) then();
    if (!delivered || ++*delivered == goal) multiplexer.terminate();
  }
  int* delivered = nullptr;
  int goal = 0;
  int status = -1;
  int calls = 0;
  std::function<void()> then;
  ChildWait wait;
};

TEST_F(ChildWaitTest, BurstOfChildrenIsReportedInFull) {
  const int kChildren = 500;
  int delivered = 0;
  std::vector<std::unique_ptr<Waiter>> waiters;
  for (int i = 0; i < kChildren; ++i) {
    int pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) ::_exit(i % 200);
    waiters.push_back(std::make_unique<Waiter>(pid));
    waiters.back()->delivered = &delivered;
    waiters.back()->goal = kChildren;
  }
  testing::internal::CaptureStderr();
  run();
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(delivered, kChildren);
  for (int i = 0; i < kChildren; ++i) {
    const Waiter& w = *waiters[i];
    EXPECT_EQ(w.calls, 1);
    ASSERT_TRUE(WIFEXITED(w.status)) << i;
    EXPECT_EQ(WEXITSTATUS(w.status), i % 200);
    EXPECT_FALSE(w.wait.waiting());
  }
  size_t lines = 0;
  for (size_t at = 0; (at = log.find("terminate child process, pid=", at)) != std::string::npos; ++at)
    ++lines;
  EXPECT_EQ(lines, size_t(kChildren));
  EXPECT_NE(log.find("terminate child process, pid=" + std::to_string(waiters[7]->wait.pid()) +
                     " status=" + std::to_string(7 << 8) + "\n"),
            std::string::npos);
}

TEST_F(ChildWaitTest, EachRecordGetsItsOwnChild) {
  Child one(1), two(2), three(3), four(4);
  Waiter first(one.pid), second(two.pid);
  first.wait.Attach(one.pid);
  testing::internal::CaptureStderr();
  two.release();
  run();
  EXPECT_EQ(second.calls, 1);
  EXPECT_EQ(WEXITSTATUS(second.status), 2);
  EXPECT_EQ(first.calls, 0);
  EXPECT_TRUE(first.wait.waiting());

  // A record may wait again from its own callback...
  first.then = [&] { first.wait.Attach(three.pid); };
  one.release();
  run();
  EXPECT_EQ(first.calls, 1);
  EXPECT_EQ(WEXITSTATUS(first.status), 1);
  EXPECT_TRUE(first.wait.waiting());

  // ...and destroy other records, leaving the rest of the list intact.
  auto doomed = std::make_unique<Waiter>(0x7ffffff0);
  Waiter after(four.pid);
  first.then = [&] { doomed.reset(); };
  three.release();
  run();
  EXPECT_EQ(WEXITSTATUS(first.status), 3);
  EXPECT_EQ(doomed, nullptr);
  four.release();
  run();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(WEXITSTATUS(after.status), 4);
  EXPECT_EQ(first.calls + second.calls + after.calls, 4);
}

TEST_F(ChildWaitTest, UnwaitedChildIsReapedAndLogged) {
  Child orphan(9);
  orphan.await_exit();
  testing::internal::CaptureStderr();
  service().OnChildEvent(service().fd().get(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "revents 0: nothing is read or reaped";
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, orphan.pid, &info, WEXITED | WNOHANG | WNOWAIT), 0);
  EXPECT_EQ(info.si_pid, orphan.pid);

  testing::internal::CaptureStderr();
  service().OnChildEvent(service().fd().get(), POLLIN);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "terminate child process, pid=" + std::to_string(orphan.pid) +
                " status=" + std::to_string(9 << 8) + "\n");
  EXPECT_EQ(::waitpid(orphan.pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ChildWaitTest, SignalHandlerNeverBlocksAndKeepsErrno) {
  // Far more wake-ups than the socket holds: each must return at once.
  for (int i = 0; i < 5000; ++i) {
    errno = EDOM;
    ChildWaitService::SigChldHandlerWrapper(SIGCHLD, nullptr, nullptr);
    ASSERT_EQ(errno, EDOM);
  }
  testing::internal::CaptureStderr();
  service().OnChildEvent(service().fd().get(), POLLIN);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  char c;
  EXPECT_EQ(::read(service().fd().get(), &c, 1), -1) << "every token was drained";
  EXPECT_EQ(errno, EAGAIN);
}

}  // namespace
