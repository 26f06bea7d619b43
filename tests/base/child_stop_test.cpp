// ChildStop on a group whose leader has ended and been reaped, on the loop's clock: what the
// program started is ended at the bound, and a process of the group's id that the program did
// not start is never signalled.
#include "base/child_stop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/child_wait.h"
#include "base/proc.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/processes.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

using ChildStopTest = AwakeLoopTest;

// The loop reaps children while it lives.
struct ChildWaits {
  ChildWaits() { ChildWait::Activate(); }
  ~ChildWaits() { ChildWaitService::childWaitService->Release(); }
};

// The owner of a program, as a slot is: when the leader is reaped, the rest of its group is
// asked to end with SIGTERM and killed at the bound.
struct Owner {
  explicit Owner(int pid) {
    wait.Bind(this, &Owner::on_end);
    wait.Attach(pid);
  }
  void on_end(int) {
    reaped = true;
    ChildStop::end_rest(wait.pid(), SIGTERM);
  }
  ChildWait wait;
  bool reaped = false;
};

// A process of the daemon's session, started after the program, joins `pgid`'s group, as the
// child of a process that never reaps it: only the mark tells it apart. {that parent, it}.
std::vector<pid_t> stranger_in(pid_t pgid) {
  const pid_t parent = ::fork();
  if (parent == 0) {
    if (::fork() == 0) ::setpgid(0, pgid);
    for (;;) ::pause();
  }
  std::vector<pid_t> joined;
  EXPECT_TRUE(wait_until([&] {
    ProcStat stat;
    joined = children_of(parent);
    return joined.size() == 1 && read_proc_stat(joined[0], stat) && stat.group == pgid;
  }, 2000));
  joined.insert(joined.begin(), parent);
  return joined;
}

TEST_F(ChildStopTest, GroupWhoseLeaderEndedIsEndedOnlyInWhatItStarted) {
  enum Scene {
    kOutlives,  // a member outlives its leader
    kIdTaken,   // the member ends, and a process the program did not start takes the id at once
    // the group is killed as a whole before its leader is reaped; a member of it, not yet
    // reaped, holds the id on
    kKilledUnreaped,
  };
  const ChildWaits waits;
  TempRoot root;
  const std::string pids = root.path() + "/pids";
  for (const Scene scene : {kOutlives, kIdTaken, kKilledUnreaped}) {
    SCOPED_TRACE(scene);
    ::unlink(pids.c_str());
    // The member ignores SIGTERM; the leader ends at once, unless it is to be killed.
    const std::string script = "trap '' TERM; sleep 1000 & echo $! > " + pids;
    const int leader = ChildStop::spawn(
        ChildProgram{{"/bin/sh", "-c", script + (scene == kKilledUnreaped ? "; wait" : "")}});
    ASSERT_GT(leader, 0);
    Owner owner(leader);
    LogCapture log;
    std::vector<pid_t> stranger;
    if (scene == kKilledUnreaped) {
      ASSERT_TRUE(wait_until([&] { return pids_in(pids).size() == 1; }, 2000));
      stranger = stranger_in(leader);
      ChildStop().kill(leader);
      ASSERT_TRUE(wait_until([&] { return alive_of(pids_in(pids)).empty(); }, 2000));
    }
    ASSERT_TRUE(turn_until([&] { return owner.reaped; }));
    const std::vector<pid_t> member = pids_in(pids);
    ASSERT_EQ(member.size(), 1u);
    if (scene == kIdTaken) {
      stranger = stranger_in(leader);
      ::kill(member[0], SIGKILL);
      ASSERT_TRUE(wait_until([&] { return alive_of(member).empty(); }, 2000));
    }
    advance(ChildStop::kGraceMs - 1);
    EXPECT_EQ(alive_of(member), scene == kOutlives ? member : std::vector<pid_t>{});
    advance(1);
    EXPECT_TRUE(wait_until([&] { return alive_of(member).empty(); }, 2000));
    advance(100);
    // A signal sent takes its moment to end the process.
    if (scene == kIdTaken) {
      EXPECT_FALSE(wait_until([&] { return alive_of(stranger) != stranger; }, 200))
          << "signalled by the daemon";
    }
    EXPECT_EQ(log.err.take_lines(),
              scene != kIdTaken ? Lines{}
                                : Lines{"child group " + std::to_string(leader) +
                                        ": no member carries the mark of the recorded group; "
                                        "left alone"});
    for (pid_t pid : stranger) ::kill(pid, SIGKILL);
    turn_until([&] { return children_of(::getpid()).empty(); });
  }
}

}  // namespace
