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

class ChildStopTest : public AwakeLoopTest {
 protected:
  void SetUp() override {
    AwakeLoopTest::SetUp();
    ChildWait::Activate();
  }
  void TearDown() override {
    ChildWaitService::childWaitService->Release();
    AwakeLoopTest::TearDown();
  }
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

bool in_group(pid_t pid, pid_t pgid) {
  ProcStat stat;
  return read_proc_stat(pid, stat) && stat.group == pgid;
}

TEST_F(ChildStopTest, GroupWhoseLeaderEndedIsEndedOnlyInWhatItStarted) {
  enum Scene {
    kOutlives,
    // The member ends at once, and a process the program did not start takes the group's id.
    kIdTaken,
    // The group is killed as a whole before its leader is reaped; a member of it, the child of
    // a process that does not reap it, holds the id on.
    kKilledUnreaped,
  };
  const struct {
    const char* name;
    Scene scene;
  } cases[] = {
      {"a member outlives its leader", kOutlives},
      {"the group ends, its id is taken at once", kIdTaken},
      {"the group killed as a whole, a member not yet reaped", kKilledUnreaped},
  };
  TempRoot root;
  const std::string pids = root.path() + "/pids";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(pids.c_str());
    // The leader ends once its member ignores SIGTERM, unless it is to be killed.
    const int leader = ChildStop::spawn(ChildProgram{
        {"/bin/sh", "-c",
         "PIDS=" + pids + "; sh -c 'trap \"\" TERM; echo $$ > '$PIDS'; exec sleep 1000' & " +
             "while [ ! -s $PIDS ]; do sleep 0.01; done" +
             (c.scene == kKilledUnreaped ? "; wait" : "")}});
    ASSERT_GT(leader, 0);
    Owner owner(leader);
    LogCapture log;
    std::vector<pid_t> stranger;
    if (c.scene == kKilledUnreaped) {
      ASSERT_TRUE(wait_until([&] { return pids_in(pids).size() == 1; }, 2000));
      stranger.push_back(::fork());
      if (stranger[0] == 0) {
        if (::fork() == 0) {
          ::setpgid(0, leader);
          ::pause();
        }
        ::pause();
      }
      ASSERT_TRUE(wait_until([&] {
        const std::vector<pid_t> member = children_of(stranger[0]);
        return member.size() == 1 && in_group(member[0], leader);
      }, 2000));
      ChildStop().kill(leader);
      ASSERT_TRUE(wait_until([&] { return alive_of(pids_in(pids)).empty(); }, 2000));
    }
    ASSERT_TRUE(turn_until([&] { return owner.reaped; }));
    const std::vector<pid_t> member = pids_in(pids);
    ASSERT_EQ(member.size(), 1u);
    if (c.scene != kKilledUnreaped) {
      ASSERT_EQ(alive_of(member), member);
    }
    if (c.scene == kIdTaken) {
      // Of the daemon's session and started after the leader, as a later group under the id
      // would be; only the mark tells it apart.
      stranger.push_back(::fork());
      if (stranger[0] == 0) {
        ::setpgid(0, leader);
        ::execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
        ::_exit(1);
      }
      ASSERT_TRUE(wait_until([&] { return in_group(stranger[0], leader); }, 2000));
      ::kill(member[0], SIGKILL);
      ASSERT_TRUE(wait_until([&] { return alive_of(member).empty(); }, 2000));
    }
    advance(ChildStop::kGraceMs - 1);
    EXPECT_EQ(alive_of(member), c.scene == kOutlives ? member : std::vector<pid_t>{});
    advance(1);
    EXPECT_TRUE(wait_until([&] { return alive_of(member).empty(); }, 2000));
    advance(100);
    // A signal sent takes its moment to end the process.
    EXPECT_FALSE(wait_until([&] { return alive_of(stranger) != stranger; }, 200))
        << "signalled by the daemon";
    const Lines lines = log.err.take_lines();
    if (c.scene == kIdTaken) {
      EXPECT_EQ(lines, Lines{"child group " + std::to_string(leader) +
                             ": no member carries the mark of the recorded group; left alone"});
    } else {
      EXPECT_EQ(lines, Lines{});
    }
    for (pid_t pid : stranger) ::kill(pid, SIGKILL);
    turn_until([&] { return children_of(::getpid()).empty(); });
  }
}

}  // namespace
