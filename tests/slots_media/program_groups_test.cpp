// What a slot's program starts ends with the slot: wrapper scripts in place of pppd (a modem's
// execfile) and of the T.38 program, whose child runs on the slot's device, on the loop's clock.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/child_stop.h"
#include "slots/media/dsp_modem_slot.h"
#include "tests/slots_media/modem_road.h"

namespace {

struct Script {
  const char* name;
  bool leader_ignores;  // the script ignores the stop's signal
  bool child_ignores;   // its child does
  bool leader_exits;    // the script ends by itself, leaving its child running
};

class ProgramGroups : public ModemRoad {
 protected:
  void SetUp() override {
    // What a script leaves when it ends comes to this process, whose loop reaps it at once, as
    // the board's init does for the daemon (a test runner may leave it a zombie for long).
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    ModemRoad::SetUp();
    ::unlink(pids_.c_str());
  }
  void TearDown() override {
    for (pid_t pid : pids()) ::kill(pid, SIGKILL);
    ModemRoad::TearDown();
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  }

  // Writes a script at `path` that records its pid and its child's to the pid file; the child
  // keeps the script's standard input. `signal` is the stop's signal.
  void write_script(const std::string& path, const Script& s, const char* signal) {
    ::unlink(path.c_str());  // a link to the stub, which must stay as it is
    const std::string trap = std::string("trap \"\" ") + signal + "; ";
    const std::string child = "/bin/sh -c '" + std::string(s.child_ignores ? trap : "") +
                              "echo $$ >> " + pids_ + "; exec sleep 1000'";
    std::ofstream out(path);
    out << "#!/bin/sh\n" << (s.leader_ignores ? trap + "\n" : "") << "echo $$ >> " << pids_ << "\n";
    // A shell without job control gives a command run in the background /dev/null as its
    // input, unless the command's own redirection says otherwise.
    if (s.leader_exits) {
      out << "exec 3<&0\n" << child << " <&3 3<&- &\nwhile [ $(wc -l < " << pids_
          << ") -lt 2 ]; do sleep 0.01; done\nexit 3\n";
    } else {
      out << child << "\n";
    }
    out.close();
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
  }
  std::vector<pid_t> pids() const { return pids_in(pids_); }
  // The pool's modem 0: "0 ts=1536 held " or "0 ts=1536 free ".
  std::string modem0() { return board().command("mctl show").at(0).substr(0, 15); }
  // Both pids, once written; what the controller received meanwhile goes to `got`.
  std::vector<pid_t> both_started(Lines& got) {
    for (const auto& m : until([&](const Lines&) { return pids().size() == 2; })) {
      got.push_back(m);
    }
    return pids();
  }
  // Turns the loop until none of `some` runs (bounded): those still running, which are then
  // killed, so that they hold neither a channel nor the test's output.
  std::vector<pid_t> ended(const std::vector<pid_t>& some) {
    until([&](const Lines&) { return alive_of(some).empty(); });
    const std::vector<pid_t> left = alive_of(some);
    for (pid_t pid : left) ::kill(pid, SIGKILL);
    return left;
  }

  const std::string pids_ = root() + "/program.pids";
};

const Script kScripts[] = {
    {"both end at the signal", false, false, false},
    {"both ignore it", true, true, false},
    {"the child ignores it", false, true, false},
};

// pppd run through a modem's execfile: SIGHUP at the destroy reaches the script's child too; a
// group that ignores it is killed at the bound, and a child left by its script is killed at the
// same bound, while the destroy is answered when the script has ended. What is left of the
// group keeps the modem until it has ended, also after the slot has gone.
TEST_F(ProgramGroups, ExecfileWrapperEndsWithTheModem) {
  const std::string wrapper = root() + "/pppd-wrapper";
  std::vector<Script> scripts(std::begin(kScripts), std::end(kScripts));
  scripts.push_back({"the script ends by itself, its child ignores SIGHUP", false, true, true});
  for (const Script& s : scripts) {
    SCOPED_TRACE(s.name);
    ::unlink(pids_.c_str());
    write_script(wrapper, s, "HUP");
    run({"{ seq 1, slot 1, pdu command : create : modem : { cid \"\", cdid \"\", execfile \"" +
         wrapper + "\" } }"});
    Lines got = connect_trunk();
    const std::vector<pid_t> started = both_started(got);
    ASSERT_EQ(started.size(), 2u);
    const std::string done = wire(reply(9, 1, "success : NULL"));
    const std::string destroy = "{ seq 9, slot 1, pdu command : destroy : NULL }";
    const std::vector<pid_t> child{started[1]};
    if (s.leader_exits) {
      // After the two streams and the connect's answer.
      EXPECT_EQ(collect(got, 4).back(), wire(signal(1, "abort : 768")));
      EXPECT_EQ(run({destroy}), Lines{done});
      advance(ChildStop::kGraceMs - 1);
      EXPECT_EQ(alive_of(child), child);
      EXPECT_EQ(modem0(), "0 ts=1536 held ") << "the child may still use the modem";
      advance(1);
    } else if (s.leader_ignores) {
      got = run({destroy});
      advance(ChildStop::kGraceMs - 1);
      EXPECT_EQ(alive_of(started), started);
      EXPECT_EQ(arrived(), Lines{});
      advance(1);
    } else {
      got = run({destroy});
      for (const auto& m : until([&](const Lines& l) { return !l.empty() || !got.empty(); })) {
        got.push_back(m);
      }
      EXPECT_EQ(got, Lines{done}) << "answered when the script has ended";
      EXPECT_EQ(alive_of({started[0]}), std::vector<pid_t>{});
      if (s.child_ignores) {
        advance(ChildStop::kGraceMs - 1);
        EXPECT_EQ(alive_of(child), child);
        EXPECT_EQ(modem0(), "0 ts=1536 held ") << "the child may still use the modem";
        advance(1);
      }
    }
    EXPECT_EQ(ended(started), std::vector<pid_t>{});
    until([&](const Lines& l) { return !l.empty() || ModemFactory::instance().modems.empty(); });
    EXPECT_TRUE(ModemFactory::instance().modems.empty());
    // Within moments of the group's end, long before the bound.
    for (int ms = 0; ms < 1000 && modem0() != "0 ts=1536 free "; ms += 100) advance(100);
    EXPECT_EQ(modem0(), "0 ts=1536 free ");
    run({"{ seq 91, slot 2, pdu command : destroy : NULL }"});
  }
}

// A fax receiver that ends by itself and leaves a child that ignores SIGTERM: the child keeps
// the modem from other calls, also after the slot's destroy, until it is killed at the bound;
// the daemon holds no descriptor of the modem meanwhile.
TEST_F(ProgramGroups, FaxReceiverLeftoverKeepsTheModem) {
  const std::string receiver = root() + "/usr/local/bin/fax";
  write_script(receiver, {"", false, true, true}, "TERM");
  run({"{ seq 1, slot 1, pdu command : create : modem : { cid \"\", cdid \"\", fax NULL } }"});
  Lines got = connect_trunk();
  const std::vector<pid_t> started = both_started(got);
  ASSERT_EQ(started.size(), 2u);
  const auto* slot = static_cast<const DspModemSlot*>(Slots::instance().GetLive().front());
  until([&](const Lines&) { return slot->receiver_pid < 0; });
  ASSERT_LT(slot->receiver_pid, 0);
  EXPECT_EQ(run({"{ seq 9, slot 1, pdu command : destroy : NULL }"}),
            wires({reply(9, 1, "success : NULL")}));
  const std::vector<pid_t> child{started[1]};
  advance(ChildStop::kGraceMs - 1000);
  EXPECT_EQ(modem0(), "0 ts=1536 free ") << "the daemon holds the fax program's modem";
  EXPECT_EQ(next_call_modem(3), "/dev/mdm1") << "the child may still use modem 0";
  advance(999);
  EXPECT_EQ(alive_of(child), child);
  advance(1);
  EXPECT_EQ(ended(started), std::vector<pid_t>{});
  for (int ms = 0; ms < 1000 && ModemFactory::instance().pool.marked(0); ms += 100) advance(100);
  EXPECT_EQ(next_call_modem(3), "/dev/mdm0");
  run({"{ seq 91, slot 2, pdu command : destroy : NULL }"});
  install("/usr/local/bin/fax");
}

// The T.38 program is a script whose child has the channel: SIGTERM at the destroy reaches the
// child, and a child left running by a script that ends by itself is asked to end and killed at
// the bound; either way the channel comes back.
TEST_F(ProgramGroups, T38WrapperEndsWithTheSlot) {
  const std::string program = root() + "/usr/local/sbin/t38";
  std::vector<Script> scripts(std::begin(kScripts), std::end(kScripts));
  scripts.push_back({"the script ends by itself", false, false, true});
  scripts.push_back({"the script ends by itself, its child ignores SIGTERM", false, true, true});
  for (const Script& s : scripts) {
    SCOPED_TRACE(s.name);
    ::unlink(pids_.c_str());
    ::unlink(program.c_str());
    write_script(program, s, "TERM");
    Lines got = run(
        {"{ seq 1, slot 1, pdu command : create : t38soft : { dhost { iaddr \"127.0.0.1\", port "
         "5000 }, shost { iaddr \"127.0.0.1\", port 6000 }, rx-packet-size 160, rx-threshold 1, "
         "tx-threshold 2, args { } } }"});
    const std::vector<pid_t> started = both_started(got);
    ASSERT_EQ(started.size(), 2u);
    const std::vector<pid_t> child{started[1]};
    if (s.leader_exits) {
      // After the create's answer and its two streams.
      EXPECT_EQ(collect(got, 4).back(), wire(signal(1, "abort : 768")));
    }
    run({"{ seq 2, slot 1, pdu command : destroy : NULL }"});
    if (s.leader_ignores || s.child_ignores) {
      advance(ChildStop::kGraceMs - 1);
      EXPECT_EQ(alive_of(child), child);
      EXPECT_EQ(board().command("mcc channels").size(), 1u);
      advance(1);
    }
    EXPECT_EQ(ended(started), std::vector<pid_t>{});
    until([&](const Lines&) { return board().command("mcc channels").empty(); });
    EXPECT_EQ(board().command("mcc channels"), Lines{});
  }
  install("/usr/local/sbin/t38");
}

}  // namespace
