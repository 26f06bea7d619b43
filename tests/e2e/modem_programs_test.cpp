// Modem slots on orvexd and the simulated board whose pppd is a wrapper script (the create's
// execfile) that runs the real program as its child: neither outlives the daemon.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/processes.h"
#include "tests/support/temp_root.h"

namespace {

using ModemPrograms = DaemonOnBoard;

TEST_F(ModemPrograms, ExecfileWrapperAndItsChildEndWithTheDaemon) {
  constexpr int kModems = 3;
  const std::string pids = board_.root() + "/pppd.pids";
  const std::string wrapper = board_.root() + "/pppd-wrapper";
  for (const int end : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(end == SIGTERM ? "SIGTERM" : "Ctrl-C");
    ::unlink(pids.c_str());
    // The hang-up that the slot's end sends is ignored: only the end of the daemon ends them.
    std::ofstream(wrapper) << "#!/bin/sh\ntrap '' HUP\necho $$ >> " << pids
                           << "\n/bin/sh -c 'echo $$ >> " << pids << "; exec sleep 1000'\n";
    ASSERT_EQ(::chmod(wrapper.c_str(), 0755), 0);
    int seq = 1;
    for (int modem = 1; modem <= kModems; ++modem) {
      const int trunk = modem + kModems;
      const std::string s = std::to_string(modem), t = std::to_string(trunk);
      ASSERT_EQ(answer("{ seq " + std::to_string(seq) + ", slot " + s +
                       ", pdu command : create : modem : { cid \"\", cdid \"\", execfile \"" +
                       wrapper + "\" } }"),
                wire(success(seq, modem)));
      ++seq;
      ASSERT_EQ(answer("{ seq " + std::to_string(seq) + ", slot " + t +
                       ", pdu command : create : trunk : { trunk 0, timeslot " + s + " } }"),
                wire(success(seq, trunk)));
      ++seq;
      ASSERT_EQ(answer("{ seq " + std::to_string(seq) + ", slot " + t + ", pdu command : connect : " +
                       s + " }"),
                wire(success(seq, trunk)));
      ++seq;
    }
    std::vector<pid_t> started;
    wait_until([&] { return (started = pids_in(pids)).size() == 2 * kModems; }, wait_ms);
    ASSERT_EQ(started.size(), 2u * kModems);
    ASSERT_TRUE(daemon_.signal(end));
    int status;
    ASSERT_TRUE(daemon_.wait_exit(status));
    wait_until([&] { return alive_of(started).empty(); }, wait_ms);
    EXPECT_EQ(alive_of(started), std::vector<pid_t>{}) << "running on";
    for (pid_t pid : alive_of(started)) ::kill(pid, SIGKILL);
    ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
    attach();
  }
}

}  // namespace
