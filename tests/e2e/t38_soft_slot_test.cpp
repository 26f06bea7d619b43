// Software T.38 slots on orvexd and the simulated board, orvex-stub as the T.38 program: a
// destroy that follows its create at once still ends the program, and the program's end frees
// its controller channel.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/processes.h"
#include "tests/support/temp_root.h"

namespace {

class T38SoftSlot : public DaemonOnBoard {
 protected:
  void SetUp() override {
    DaemonOnBoard::SetUp();
    ASSERT_EQ(std::system(("mkdir -p " + board_.root() + "/usr/local/sbin").c_str()), 0);
    ASSERT_EQ(::symlink(ORVEX_STUB, program_.c_str()), 0);
  }
  void TearDown() override {
    for (pid_t pid : running(program_)) ::kill(pid, SIGKILL);
  }
  // Waits (bounded) until no T.38 program runs; those still running.
  std::vector<pid_t> settle() {
    std::vector<pid_t> left;
    wait_until([&] { return (left = running(program_)).empty(); }, wait_ms);
    return left;
  }

  const std::string program_ = board_.root() + "/usr/local/sbin/t38";
};

std::string create(int seq) {
  return "{ seq " + std::to_string(seq) +
         ", slot 1, pdu command : create : t38soft : { dhost { iaddr \"127.0.0.1\", port 5000 }, "
         "shost { iaddr \"127.0.0.1\", port 6000 }, rx-packet-size 160, rx-threshold 1, "
         "tx-threshold 2, args { } } }";
}

std::string destroy(int seq) {
  return "{ seq " + std::to_string(seq) + ", slot 1, pdu command : destroy : NULL }";
}

TEST_F(T38SoftSlot, DestroyRightAfterCreateEndsTheProgram) {
  constexpr int kCycles = 300;
  struct Case {
    const char* name;
    bool one_write;  // each create and its destroy in one write
  };
  int seq = 1;
  for (const Case& c : {Case{"a write each", false}, Case{"one write a pair", true}}) {
    SCOPED_TRACE(c.name);
    const int first = seq;
    for (int i = 0; i < kCycles; ++i, seq += 2) {
      if (c.one_write) {
        ASSERT_TRUE(ctl_.send_together({create(seq), destroy(seq + 1)})) << ctl_.error();
      } else {
        ASSERT_TRUE(ctl_.send(create(seq))) << ctl_.error();
        ASSERT_TRUE(ctl_.send(destroy(seq + 1))) << ctl_.error();
      }
    }
    int successes = 0;
    Ctl::Received r;
    for (int i = 0; i < 2 * kCycles && ctl_.receive(r, wait_ms);) {
      if (!r.is_response()) continue;
      ++i;
      successes += Ctl::to_hex(r.bytes) == wire(success(first + i - 1, 1));
    }
    EXPECT_EQ(successes, 2 * kCycles);
    EXPECT_EQ(settle().size(), 0u);
    const std::vector<std::string> held = held_channels();
    EXPECT_EQ(held.size(), 0u) << "first: " << held.front();
  }
}

// A program that ignores SIGTERM does not outlive its slot: the destroy is answered at once
// and the program is killed when its grace runs out; nor does it outlive the daemon, whose end
// destroys the slot and kills it then. Either way its channel comes back.
TEST_F(T38SoftSlot, ProgramThatIgnoresTheEndIsEndedWithinTheBound) {
  constexpr int kGraceMs = 5000;
  std::ofstream(program_ + ".ignore") << "";
  int seq = 1;
  for (const bool by_destroy : {true, false}) {
    SCOPED_TRACE(by_destroy ? "the slot's destroy" : "the daemon's end");
    ASSERT_EQ(answer(create(seq)), wire(success(seq, 1)));
    ASSERT_TRUE(wait_file(program_ + ".argv", true, wait_ms));
    ::unlink((program_ + ".argv").c_str());
    ASSERT_EQ(running(program_).size(), 1u);
    if (by_destroy) {
      ASSERT_EQ(answer(destroy(seq + 1)), wire(success(seq + 1, 1)));
      EXPECT_EQ(running(program_).size(), 1u) << "it ignores SIGTERM";
      std::vector<pid_t> left;
      wait_until([&] { return (left = running(program_)).empty(); }, kGraceMs + wait_ms);
      EXPECT_EQ(left.size(), 0u);
    } else {
      ASSERT_TRUE(daemon_.signal(SIGTERM));
      int status;
      ASSERT_TRUE(daemon_.wait_exit(status));
      EXPECT_EQ(settle().size(), 0u);
    }
    EXPECT_EQ(held_channels(), std::vector<std::string>{});
    seq += 2;
  }
}

// A T.38 program that does not answer the instance count, a script that waits for a program
// of its own: the query is answered with a count of 0 after about a second, the loop stays
// alive meanwhile (the watchdog is fed), the next command is served, and the script is ended
// and reaped, and what it started ended too.
TEST_F(T38SoftSlot, SilentProgramDoesNotStopTheDaemon) {
  ::unlink(program_.c_str());
  const std::string pids = board_.root() + "/t38.pids";
  std::ofstream(program_) << "#!/bin/sh\necho $$ >> " << pids << "\nsleep 30 &\necho $! >> "
                          << pids << "\nwait\n";
  ASSERT_EQ(::chmod(program_.c_str(), 0755), 0);
  const std::vector<std::string> before = board_.command("watchdog");
  ASSERT_FALSE(before.empty());
  const long from_ms = std::stol(before.back());
  Ctl::Received r;
  ASSERT_TRUE(ctl_.command("query : NULL", r, wait_ms)) << ctl_.error();
  EXPECT_TRUE(r.message->get_pdu().get_response().is_success());
  ASSERT_TRUE(ctl_.wait_for("query", r, wait_ms)) << ctl_.error();
  EXPECT_EQ(r.message->get_pdu().get_signal().get_query().get_t38_instances().getValue(), 0);
  ASSERT_TRUE(ctl_.command("ping : NULL", r, 2500)) << ctl_.error();
  EXPECT_LT(longest_watchdog_gap(from_ms), 2500u);
  EXPECT_EQ(children_of(daemon_.pid()), std::vector<pid_t>{}) << "ended and reaped";
  std::istringstream in(read_file(pids));
  int started = 0;
  for (pid_t pid; in >> pid; ++started) {
    EXPECT_TRUE(wait_until([&] { return !alive(pid); }, 2000)) << pid << " runs on";
    if (alive(pid)) ::kill(pid, SIGKILL);
  }
  EXPECT_EQ(started, 2);
  EXPECT_NE(daemon_.output().find("t38soft: t38: can't detect T38 resources"), std::string::npos);
}

}  // namespace
