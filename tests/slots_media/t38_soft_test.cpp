// Software T.38 slots: orvex-stub stands in for the T.38 program on a transparent channel of
// the simulated controller.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "base/child_stop.h"
#include "slots/media/t38_soft_factory.h"
#include "slots/media/t38_soft_slot.h"
#include "tests/slots_media/modem_road.h"

namespace {

constexpr const char* kT38 = "/usr/local/sbin/t38";

// The create of slot 1 whose program gets `extra_args` arguments "a0", "a1", ..., the first
// `first` (a value) instead when given.
std::string create(int extra_args, const std::string& first = "\"a0\"") {
  std::string args = extra_args > 0 ? first : "";
  for (int i = 1; i < extra_args; ++i) args += ", \"a" + std::to_string(i) + "\"";
  return "{ seq 1, slot 1, pdu command : create : t38soft : { dhost { iaddr \"127.0.0.2\", port "
         "5000 }, shost { iaddr \"127.0.0.1\", port 6000 }, rx-packet-size 160, rx-threshold 1, "
         "tx-threshold 2, args { " +
         args + " } } }";
}

using T38Road = ModemRoad;

// The program's arguments reach the log escaped, one line each (the first would forge one), and
// the program as they came (the stub writes one line per argument).
TEST_F(T38Road, ProgramRunsOnTheChannelUntilKilled) {
  stub(kT38, "say", "hi");
  StreamCapture log(std::clog);
  EXPECT_EQ(run({create(40, "\"x\nt38soft: forged \"\"q\"\" \xe9\"")}),
            wires({reply(1, 1, "success : NULL"), stream(1, "transmitter", 1024),
                   stream(1, "receiver", 1024)}));
  Lines expected{root() + kT38, "--child", "--remote", "127.0.0.2/5000/6000", "x",
                 "t38soft: forged \"q\" \xe9"};
  for (int i = 1; i < 27; ++i) expected.push_back("a" + std::to_string(i));
  EXPECT_EQ(started(kT38), expected);
  const Lines lines = lines_of(log, "t38soft: ");
  ASSERT_EQ(lines.size(), 1 + 31 + 1u);
  EXPECT_EQ(lines[0], "t38soft: args for run t38 daemon:");
  EXPECT_EQ(lines[4], "t38soft: arg[3]=\"127.0.0.2/5000/6000\"");
  EXPECT_EQ(lines[5], "t38soft: arg[4]=\"x\\x0at38soft: forged \\\"q\\\" \\xe9\"");
  EXPECT_EQ(board().command("mcc channels"),
            Lines{"1024 mode=2 rx-size=160 rx-threshold=1 tx-threshold=2"});
  // Its standard input is the channel.
  EXPECT_EQ(board().command("mcc sent 1024"), Lines{"6869"});

  ::kill(static_cast<T38SoftSlot*>(Slots::instance().GetLive().front())->pid, SIGKILL);
  EXPECT_EQ(collect({}, 1), wires({signal(1, "abort : 9")}));
  EXPECT_EQ(lines_of(log, "01:t38 soft: "),
            Lines{"01:t38 soft: t38 daemon terminated by signal=9"});
}

// The destroy does not wait for the program; one that ignores SIGTERM is killed five seconds
// later, reaped, and its channel is free again.
TEST_F(T38Road, ProgramThatIgnoresTheEndIsKilledFiveSecondsAfterTheDestroy) {
  stub(kT38, "ignore", "");
  run({create(0)});
  started(kT38);
  const pid_t pid = static_cast<T38SoftSlot*>(Slots::instance().GetLive().front())->pid;
  EXPECT_EQ(run({"{ seq 2, slot 1, pdu command : destroy : NULL }"}),
            wires({reply(2, 1, "success : NULL")}));
  advance(ChildStop::kGraceMs - 1);
  EXPECT_TRUE(alive(pid));
  EXPECT_EQ(board().command("mcc channels").size(), 1u);
  advance(1);
  const auto ended = [&](const Lines&) {
    const std::vector<pid_t> children = children_of(::getpid());
    return board().command("mcc channels").empty() &&
           std::find(children.begin(), children.end(), pid) == children.end();
  };
  until(ended);
  EXPECT_TRUE(ended({})) << "killed, reaped, and its channel free";
}

// A program reaped by anyone but the loop (the fixture's safety net reaps every child) frees
// its pid for another process: the end of the grace signals nothing then.
TEST_F(T38Road, ProgramReapedElsewhereIsNotSignalledAfterTheGrace) {
  stub(kT38, "ignore", "");
  run({create(0)});
  started(kT38);
  const pid_t pid = static_cast<T38SoftSlot*>(Slots::instance().GetLive().front())->pid;
  run({"{ seq 2, slot 1, pdu command : destroy : NULL }"});
  StreamCapture err(std::cerr);
  ::kill(pid, SIGKILL);
  int status;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  advance(ChildStop::kGraceMs);
  EXPECT_EQ(err.take_lines(), Lines{});
}

// Sizes the channel's record cannot carry, and a dhost or an argument that the program's
// command line would change, are refused with one line, nothing opened and no program started.
TEST_F(T38Road, ValuesTheRecordsCannotCarryAreRefused) {
  const auto t38 = [](const std::string& from, const std::string& to) {
    std::string text = create(0);
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string range = " -1 out of range 0..2147483647";
  const std::string dhost = "t38soft: refused: dhost not an address: ";
  const struct { std::string create, error; } rows[] = {
      {t38("size 160", "size -1"), "t38soft: rx-packet-size" + range},
      {t38("rx-threshold 1", "rx-threshold -1"), "t38soft: rx-threshold" + range},
      {t38("tx-threshold 2", "tx-threshold -1"), "t38soft: tx-threshold" + range},
      {t38("127.0.0.2", "not an address"), dhost + "\"not an address\""},
      {t38("127.0.0.2", ""), dhost + "\"\""},
      {t38("127.0.0.2", "1.2.3.4/7/8"), dhost + "\"1.2.3.4/7/8\""},
      {create(1, "\"b" + std::string(1, '\0') + "c\""),
       "t38soft: refused: an argument holds a NUL: \"b\\x00c\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.create);
    advance(1000);  // each row's line comes unthrottled
    const std::vector<pid_t> children = children_of(::getpid());
    StreamCapture err(std::cerr);
    EXPECT_EQ(run({row.create}), wires({reply(1, 1, "error : invalidParams")}));
    EXPECT_EQ(err.take_lines(), Lines{row.error});
    EXPECT_EQ(board().command("mcc channels"), Lines{});
    EXPECT_EQ(children_of(::getpid()), children) << "no program started";
  }
  run({t38("size 160, rx-threshold 1, tx-threshold 2",
           "size 2147483647, rx-threshold 0, tx-threshold 2147483647")});
  EXPECT_EQ(board().command("mcc channels"),
            Lines{"1024 mode=2 rx-size=2147483647 rx-threshold=0 tx-threshold=2147483647"});
}

TEST_F(T38Road, MissingProgramEndsWithCode237) {
  ::unlink((root() + kT38).c_str());
  StreamCapture log(std::clog);
  EXPECT_EQ(collect(run({create(0)}), 4),
            wires({reply(1, 1, "success : NULL"), stream(1, "transmitter", 1024),
                   stream(1, "receiver", 1024), signal(1, "abort : 60672")}));
  EXPECT_EQ(lines_of(log, "01:t38 soft: "),
            Lines{"01:t38 soft: t38 daemon terminated with code=237"});
  // The resource report finds no program either; the controller leaving writes the count of
  // the lines left out since.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(T38SoftFactory::instance().QueryNumOfInstances(), 0);
  EXPECT_EQ(lines_of(log, "t38soft: t38"), Lines{"t38soft: t38 daemon not found!"});
  EXPECT_NE(controller_leaves().find("t38soft: t38 daemon not found! (1 similar lines left out)\n"),
            std::string::npos);
  ASSERT_TRUE(ctl_.connect("127.0.0.1", port_, 1000)) << ctl_.error();
  turns(3);
  install(kT38);
}

TEST_F(T38Road, InstancesAskedAtEveryReport) {
  stub(kT38, "stdout", "4\n");
  stub(kT38, "exit", "0");
  StreamCapture log(std::clog);
  LGCP::Resources report;
  T38SoftFactory::instance().Query(report);
  EXPECT_EQ(report.get_t38_instances().getValue(), 4);
  // The query reaps the program itself; the loop's reaper finds nothing of it afterwards.
  turns(3);
  EXPECT_EQ(lines_of(log, "t38soft: "), Lines{});
  EXPECT_EQ(lines_of(log, "terminate child process"), Lines{});
}

// The instance count waits about a second at most: a program that has not answered by then is
// killed and counts 0, as does an answer that is no count. The program never outlives the
// query, and each of the two lines comes at most once a second.
TEST_F(T38Road, InstanceCountWaitsOneSecondAtMost) {
  constexpr const char* kNoCount = "t38soft: t38: can't detect T38 resources";
  const struct {
    const char* name;
    const char* out;
    bool ends;  // by itself, else it waits for a signal
    bool present;
    int count;
    const char* line;
  } cases[] = {
      {"answers", "4\n", true, true, 4, nullptr},
      {"answers without a newline", "12", true, true, 12, nullptr},
      {"answers and lingers", "6\n", false, true, 6, nullptr},
      {"ends silent", "", true, true, 0, kNoCount},
      {"hangs silent", "", false, true, 0, kNoCount},
      {"missing", "", true, false, 0, "t38soft: t38 daemon not found!"},
      {"answers a negative count", "-7\n", true, true, 0, kNoCount},
      {"answers no number", "abc\n", true, true, 0, kNoCount},
      {"answers a count beyond int", "99999999999\n", true, true, 0, kNoCount},
      {"answers an empty line", "\n", true, true, 0, kNoCount},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    install(kT38);
    remove_stub(kT38, "stdout");
    remove_stub(kT38, "exit");
    if (*c.out) stub(kT38, "stdout", c.out);
    if (c.ends) stub(kT38, "exit", "0");
    if (!c.present) ::unlink((root() + kT38).c_str());
    Mux::TestClock::advance_ms(1000);
    const std::vector<pid_t> children = children_of(::getpid());
    StreamCapture log(std::clog);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(T38SoftFactory::instance().QueryNumOfInstances(), c.count);
    EXPECT_EQ(T38SoftFactory::instance().QueryNumOfInstances(), c.count);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2 * 1500));
    EXPECT_EQ(children_of(::getpid()), children) << "ended and reaped";
    // The line may tell of lines left out in the row before.
    const Lines lines = lines_of(log, "t38soft: ");
    ASSERT_EQ(lines.size(), c.line ? 1u : 0u);
    if (c.line) {
      EXPECT_EQ(lines[0].substr(0, std::string(c.line).size()), c.line);
    }
  }
  install(kT38);
}

}  // namespace
