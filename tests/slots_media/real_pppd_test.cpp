// The pppd command lines that the modem slots build, given to Debian's pppd with `dryrun
// nodetach` on a pty in place of the modem's data port: pppd parses them. Option errors end it
// with status 2; parsed options reach the check for the kernel's PPP support (status 4 on a
// host without /dev/ppp) or the end of the dry run (0).
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "slots/media/dsp_modem_slot.h"
#include "tests/support/temp_root.h"

namespace {

constexpr const char* kPppd = "/usr/sbin/pppd";

int run_pppd(std::vector<std::string> args) {
  args[0] = kPppd;
  args.insert(args.end(), {"dryrun", "nodetach"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::execv(kPppd, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool parsed(int status) { return status == 0 || status == 4; }

TEST(RealPppd, ParsesTheGeneratedCommandLines) {
  if (::access(kPppd, X_OK) != 0) GTEST_SKIP() << "no " << kPppd;
  TempRoot root;
  int master, slave;
  char tty[64];
  ASSERT_EQ(::openpty(&master, &slave, tty, nullptr, nullptr), 0);
  const std::string options = root.path() + "/options";
  std::ofstream(options) << "noauth\nlocal\n115200\n";

  TERM::ModemParams with_number;
  with_number.get_cid() = "1234";
  TERM::ModemParams without_number;
  TERM::ModemParams execargs;
  auto& list = execargs.include_execargs();
  list.resize(3);
  list[0] = tty;
  list[1] = "file";
  list[2] = options;
  for (const TERM::ModemParams* p : {&with_number, &without_number, &execargs}) {
    DspModemSlot slot(*p);
    const auto args = slot.pppd_args(tty, options);
    EXPECT_TRUE(parsed(run_pppd(args))) << args.size() << " arguments";
  }
  // The check tells: an option pppd does not know fails it.
  DspModemSlot slot(with_number);
  auto bad = slot.pppd_args(tty, options);
  bad.push_back("no-such-option");
  EXPECT_EQ(run_pppd(bad), 2);
  ::close(master);
  ::close(slave);
}

}  // namespace
