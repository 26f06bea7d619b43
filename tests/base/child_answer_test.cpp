// ChildAnswer on scripts that start programs of their own: however the question ends, nothing
// that the script started runs on afterwards, and the script itself has been reaped.
#include "base/child_answer.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/orvexd_process.h"
#include "tests/support/processes.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr unsigned kLimitMs = 300;

TEST(ChildAnswerTest, NothingTheProgramStartedOutlivesTheQuestion) {
  // Each script writes its own pid and its child's to $PIDS before it answers, if it does.
  const struct {
    const char* name;
    const char* script;
    ChildAnswer::Outcome outcome;
    const char* line;
  } cases[] = {
      {"answers and leaves its child running", "sleep 10 & echo $! >> $PIDS; echo 3",
       ChildAnswer::kLine, "3"},
      {"answers and waits for its child", "sleep 10 & echo $! >> $PIDS; echo 3; wait",
       ChildAnswer::kLine, "3"},
      {"answers after its child", "sleep 10 & echo $! >> $PIDS; wait; echo 3",
       ChildAnswer::kTimedOut, ""},
      {"closes its output, its child runs on", "exec >&-; sleep 10 & echo $! >> $PIDS; wait",
       ChildAnswer::kNoLine, ""},
  };
  TempRoot root;
  const std::string pids = root.path() + "/pids";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(pids.c_str());
    const std::vector<pid_t> children = children_of(::getpid());
    const auto start = steady_clock::now();
    const ChildAnswer answer = ChildAnswer::ask(
        ChildProgram{{"/bin/sh", "-c", "PIDS=" + pids + "; echo $$ >> $PIDS; " + c.script}},
        kLimitMs, 31);
    EXPECT_LT(steady_clock::now() - start, milliseconds(kLimitMs + ChildAnswer::kKillWaitMs + 200));
    EXPECT_EQ(answer.outcome, c.outcome);
    EXPECT_EQ(answer.line, c.line);
    EXPECT_EQ(children_of(::getpid()), children) << "the script is reaped";
    std::istringstream in(read_file(pids));
    int started = 0;
    for (pid_t pid; in >> pid; ++started) {
      EXPECT_TRUE(wait_until([&] { return !alive(pid); }, 2000)) << pid << " runs on";
    }
    EXPECT_EQ(started, 2);
  }
}

// The descriptors this process has open.
int open_descriptors() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
  ::closedir(dir);
  return count;
}

// However a question ends, it leaves no descriptor open, and the group is killed while its
// leader, unreaped, still holds the group's id: never a group that may have gone (a kill that
// finds no group is logged).
TEST(ChildAnswerTest, QuestionLeavesNoDescriptorAndKillsOnlyItsOwnGroup) {
  constexpr int kQuestions = 5;
  const struct {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"answers and ends", {"/bin/sh", "-c", "echo 3"}},
      {"answers and lingers", {"/bin/sh", "-c", "echo 3; exec sleep 10"}},
      {"ends silent", {"/bin/true"}},
      {"hangs silent", {"/bin/sleep", "10"}},
      {"cannot run", {"/nonexistent/program"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = open_descriptors();
    StreamCapture err(std::cerr);
    for (int i = 0; i < kQuestions; ++i) ChildAnswer::ask(ChildProgram{c.args}, kLimitMs, 31);
    EXPECT_EQ(open_descriptors(), before);
    for (const std::string& line : err.take_lines()) {
      EXPECT_EQ(line.find("kill of group"), std::string::npos) << line;
    }
  }
}

}  // namespace
