#include <gtest/gtest.h>

#include <signal.h>

#include "base/ipc_signal.h"

namespace {

volatile sig_atomic_t g_caught = 0;

void plain(int sig) { g_caught = sig; }
void with_info(int sig, siginfo_t*, void*) { g_caught = sig; }

// Restores the action of a signal when the test ends.
struct SavedAction {
  explicit SavedAction(int s) : sig(s) { sigaction(sig, nullptr, &old); }
  ~SavedAction() { sigaction(sig, &old, nullptr); }
  struct sigaction current() const {
    struct sigaction sa;
    sigaction(sig, nullptr, &sa);
    return sa;
  }
  int sig;
  struct sigaction old;
};

TEST(IpcSignal, HandleClearsSigInfo) {
  SavedAction saved(SIGUSR1);
  const IPC::Signal::Set mask(SIGUSR2, SIGHUP);
  ASSERT_EQ(IPC::Signal::handle(SIGUSR1, with_info, mask, SA_RESTART | SA_SIGINFO), 0);
  struct sigaction sa = saved.current();
  EXPECT_EQ(sa.sa_flags & (SA_RESTART | SA_SIGINFO), SA_RESTART);
  EXPECT_TRUE(sigismember(&sa.sa_mask, SIGUSR2));
  EXPECT_TRUE(sigismember(&sa.sa_mask, SIGHUP));
  EXPECT_FALSE(sigismember(&sa.sa_mask, SIGTERM));
  g_caught = 0;
  raise(SIGUSR1);
  EXPECT_EQ(g_caught, SIGUSR1);

  ASSERT_EQ(IPC::Signal::handle(SIGUSR1, plain, SA_SIGINFO), 0);
  sa = saved.current();
  EXPECT_EQ(sa.sa_handler, plain);
  EXPECT_EQ(sa.sa_flags & SA_SIGINFO, 0);
  EXPECT_TRUE(sigisemptyset(&sa.sa_mask));
  g_caught = 0;
  raise(SIGUSR1);
  EXPECT_EQ(g_caught, SIGUSR1);
}

}  // namespace
