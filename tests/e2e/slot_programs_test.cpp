// The programs that slots run, on orvexd and the simulated board: a modem's pppd that is a
// wrapper script (the create's execfile) running the real program as its child, neither of which
// outlives the daemon; and programs that cannot run, named in the daemon's output.
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

using SlotPrograms = DaemonOnBoard;

TEST_F(SlotPrograms, ExecfileWrapperAndItsChildEndWithTheDaemon) {
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

// A program that cannot run is named with the reason, after the slot's log header; the slot
// ends as the exit code of a program that cannot run tells.
TEST_F(SlotPrograms, ProgramThatCannotRunIsNamed) {
  const std::string sbin = board_.root() + "/usr/local/sbin/";
  const struct {
    const char* name;
    std::string create;  // slot 1; a trunk slot 2 connected to it starts a modem's program
    bool modem;
    std::string line;
    const char* abort;
  } cases[] = {
      {"t38",
       "t38soft : { dhost { iaddr \"127.0.0.1\", port 5000 }, shost { iaddr \"127.0.0.1\", "
       "port 6000 }, rx-packet-size 160, rx-threshold 1, tx-threshold 2, args { } }",
       false, "t38soft: cannot run " + sbin + "t38: No such file or directory", "abort : 60672"},
      {"pppd", "modem : { cid \"\", cdid \"\" }", true,
       "01:dsp-modem: cannot run " + sbin + "pppd: No such file or directory", "abort : 512"},
      {"execfile", "modem : { cid \"\", cdid \"\", execfile \"/nonexistent/wrapper\" }", true,
       "01:dsp-modem: cannot run /nonexistent/wrapper: No such file or directory", "abort : 512"},
      {"fax transfer", "modem : { cid \"\", cdid \"\", fax NULL, execargs { \"x\" } }", true,
       "01:dsp-modem: cannot run " + sbin + "fax: No such file or directory", "abort : 512"},
  };
  int seq = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(answer("{ seq " + std::to_string(seq) + ", slot 1, pdu command : create : " +
                     c.create + " }"),
              wire(success(seq, 1)));
    ++seq;
    if (c.modem) {
      EXPECT_EQ(answer("{ seq " + std::to_string(seq) +
                       ", slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }"),
                wire(success(seq, 2)));
      ++seq;
      EXPECT_EQ(answer("{ seq " + std::to_string(seq) + ", slot 2, pdu command : connect : 1 }"),
                wire(success(seq, 2)));
      ++seq;
    }
    EXPECT_EQ(signal("abort"), wire("{ slot 1, pdu signal : " + std::string(c.abort) + " }"));
    EXPECT_TRUE(daemon_.wait_output(c.line + "\n")) << daemon_.output();
    for (int slot : {1, 2}) {
      answer("{ seq " + std::to_string(seq++) + ", slot " + std::to_string(slot) +
             ", pdu command : destroy : NULL }");
    }
  }
}

}  // namespace
