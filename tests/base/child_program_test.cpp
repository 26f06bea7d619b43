#include "base/child_program.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "tests/support/temp_root.h"

namespace {

void Swallow(int) {}

// A field of /proc/PID/status ("SigBlk", "SigIgn", "SigCgt") as hex text.
std::string status_field(pid_t pid, const std::string& name) {
  std::istringstream in(read_file("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      const size_t start = line.find_first_not_of(" \t", name.size() + 1);
      return line.substr(start);
    }
  }
  return "";
}

// The daemon's situation: handlers of its own, a signal ignored and one blocked in the mask.
class ChildProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    struct sigaction swallow {};
    swallow.sa_handler = Swallow;
    ASSERT_EQ(::sigaction(SIGTERM, &swallow, &term_), 0);
    ASSERT_EQ(::sigaction(SIGHUP, &swallow, &hup_), 0);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &pipe_), 0);
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &usr1, &mask_), 0);
  }
  void TearDown() override {
    ::pthread_sigmask(SIG_SETMASK, &mask_, nullptr);
    ::sigaction(SIGTERM, &term_, nullptr);
    ::sigaction(SIGHUP, &hup_, nullptr);
    ::sigaction(SIGPIPE, &pipe_, nullptr);
  }

  struct sigaction term_ {}, hup_ {}, pipe_ {};
  sigset_t mask_;
};

TEST_F(ChildProgramTest, ProgramStartsWithDefaultSignalsAndTheParentKeepsItsMask) {
  sigset_t before;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &before);
  const pid_t pid = spawn(ChildProgram{{"/bin/sleep", "30"}});
  ASSERT_GT(pid, 0);
  sigset_t after;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (int sig = 1; sig < NSIG; ++sig) {
    EXPECT_EQ(sigismember(&after, sig), sigismember(&before, sig)) << sig;
  }
  // Once the program runs, what it started with shows.
  const std::string cmdline = "/proc/" + std::to_string(pid) + "/cmdline";
  for (int i = 0; i < 500 && read_file(cmdline).compare(0, 11, "/bin/sleep") != 0; ++i) {
    usleep(2000);
  }
  EXPECT_EQ(status_field(pid, "SigBlk"), "0000000000000000");
  EXPECT_EQ(status_field(pid, "SigIgn"), "0000000000000000");
  EXPECT_EQ(status_field(pid, "SigCgt"), "0000000000000000");
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// The signal that a destroy sends right after the start, before the child has reached its
// program, must end it all the same.
TEST_F(ChildProgramTest, SignalRightAfterTheStartEndsTheChild) {
  for (int sig : {SIGTERM, SIGHUP}) {
    int survived = 0;
    for (int i = 0; i < 30; ++i) {
      const pid_t pid = spawn(ChildProgram{{"/bin/sleep", "30"}});
      ASSERT_GT(pid, 0);
      ::kill(pid, sig);
      int status = 0;
      for (int n = 0; n < 250 && ::waitpid(pid, &status, WNOHANG) == 0; ++n) usleep(2000);
      if (!WIFSIGNALED(status) || WTERMSIG(status) != sig) {
        ++survived;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
      }
    }
    EXPECT_EQ(survived, 0) << strsignal(sig);
  }
}

}  // namespace
