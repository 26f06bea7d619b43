#include "base/child_program.h"

#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
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

#if defined(__x86_64__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kArch = 0;
#endif

// From now on this process and its children fail (EPERM) the setpgid calls of one side of a
// fork: the child's own, setpgid(0, 0), or else the parent's, setpgid(pid, pid).
bool refuse_setpgid(bool childs) {
  // The low word of the first argument.
  const uint32_t arg0 = offsetof(seccomp_data, args) +
                        (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 0 : sizeof(uint32_t));
  // The jumps past the refusal: taken for the side that is let through.
  const uint8_t skip_if_zero = childs ? 0 : 1;
  const uint8_t skip_unless_zero = childs ? 1 : 0;
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_setpgid, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, arg0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, skip_if_zero, skip_unless_zero),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Each side of the fork makes the group on its own: with the child's call refused, the group
// exists when spawn returns (the child waits a second before its program); with the parent's
// refused, the child makes it before its program runs. Each check runs in a process of its
// own, which keeps the filter.
TEST_F(ChildProgramTest, EachSideOfTheForkMakesTheGroup) {
  if (kArch == 0) GTEST_SKIP() << "no seccomp filter for this machine";
  for (const bool childs : {true, false}) {
    SCOPED_TRACE(childs ? "the child's setpgid refused" : "the parent's setpgid refused");
    const pid_t helper = ::fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
      if (!refuse_setpgid(childs)) ::_exit(3);
      ChildProgram program{{"/bin/sleep", "30"}};
      program.own_group = true;
      program.delay_s = childs ? 1 : 0;
      const pid_t pid = spawn(program);
      if (pid <= 0) ::_exit(4);
      bool leads = ::getpgid(pid) == pid;
      // The child's call comes before its program: seen once the program runs.
      const std::string cmdline = "/proc/" + std::to_string(pid) + "/cmdline";
      for (int i = 0; !childs && i < 500 && read_file(cmdline).compare(0, 10, "/bin/sleep"); ++i) {
        usleep(2000);
      }
      if (!childs) leads = ::getpgid(pid) == pid;
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      ::_exit(leads ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(helper, &status, 0), helper);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_NE(WEXITSTATUS(status), 3) << "no seccomp filter";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child does not lead a group of its own";
  }
}

}  // namespace
