#include "hw/hw_mux.h"

#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <string>

#include "tests/support/board.h"
#include "tests/support/test_clock.h"

namespace {

// The count of requests `request` that the switch carried out so far.
unsigned long count(const std::string& request) {
  for (const std::string& line : board().command("hal counts")) {
    if (line.rfind(request + " ", 0) == 0) return std::stoul(line.substr(request.size() + 1));
  }
  return 0;
}

const char kDisableRequest[] = "0x80044d03";

class HwMuxTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(board().ok()); }
};

TEST_F(HwMuxTest, OpeningDisablesEveryOutputAndTheRefreshSweepsTheDisabledOnes) {
  TestClockGuard clock(1000000);
  unsigned long before = count(kDisableRequest);
  StreamCapture log(std::clog);
  HwMux mux;
  EXPECT_EQ(log.take_lines(), (Lines{"hwMux: init", "hwMux: device opened"}));
  EXPECT_EQ(count(kDisableRequest) - before, 2048u);
  for (int output = 8192; output < 10240; ++output) {
    ASSERT_EQ(mux.source(output), HwMux::kDisabled) << output;
  }
  EXPECT_EQ(board().command("switch 10239"), Lines{"off"});
  EXPECT_EQ(mux.refresh_index(), 0u);

  mux.OnDPC();
  EXPECT_EQ(mux.refresh_index(), 128u);
  Lines run = log_tail("hal", 128);
  EXPECT_EQ(run.front(), "0x80044d03 disable output=8193");
  EXPECT_EQ(run.back(), "0x80044d03 disable output=8320");

  // Detached and connected outputs are left alone by the rest of the sweep, which wraps.
  ASSERT_TRUE(mux.Disconnect(8400));
  ASSERT_TRUE(mux.Connect(3, 9000));
  before = count(kDisableRequest);
  // An idle loop: its turns come further apart than the refresh interval, one run each.
  for (int run = 1; run < 16; ++run) {
    Mux::TestClock::advance_ms(HwMux::kRefreshIntervalMs + 10);
    mux.OnDPC();
  }
  EXPECT_EQ(mux.refresh_index(), 0u);
  EXPECT_EQ(count(kDisableRequest) - before, 2048u - 128 - 2);
  EXPECT_EQ(board().command("switch 8400"), Lines{"const 0xd5"});
  EXPECT_EQ(board().command("switch 9000"), Lines{"3"});
  EXPECT_EQ(log_tail("hal", 1), Lines{"0x80044d03 disable output=8192"});
  EXPECT_TRUE(log.take_lines().empty());
}

TEST_F(HwMuxTest, ABusyLoopRunsTheRefreshOncePerInterval) {
  TestClockGuard clock(1000000);
  HwMux mux;
  // The loop calls the refresh twice in every turn, however close together the turns come.
  const auto busy_turns = [&mux] {
    for (int call = 0; call < 40; ++call) mux.OnDPC();
  };
  busy_turns();
  EXPECT_EQ(mux.refresh_index(), 128u);
  Mux::TestClock::advance_ms(HwMux::kRefreshIntervalMs - 1);
  busy_turns();
  EXPECT_EQ(mux.refresh_index(), 128u);
  Mux::TestClock::advance_ms(1);
  busy_turns();
  EXPECT_EQ(mux.refresh_index(), 256u);
}

struct Case {
  const char* name;
  const char* fail;  // a request to make fail with EIO first, or null
  std::function<int(HwMux&)> op;
  int result;
  int output;       // the channel whose state the case checks, -1 for none
  Lines state;      // the switch's answer for it
  uint16_t source;  // the table entry afterwards
  Lines log;
};

class HwMuxOps : public HwMuxTest, public ::testing::WithParamInterface<Case> {};

TEST_P(HwMuxOps, ResultStateAndMessages) {
  const Case& c = GetParam();
  HwMux mux;
  if (c.fail) {
    ASSERT_EQ(board().command(std::string("fail hal ") + c.fail + " EIO"), Lines{"ok"});
  }
  StreamCapture log(std::clog);
  EXPECT_EQ(c.op(mux), c.result);
  EXPECT_EQ(log.take_lines(), c.log);
  if (c.output >= 0) {
    EXPECT_EQ(board().command("switch " + std::to_string(c.output)), c.state);
  }
  if (c.output >= 0) {
    EXPECT_EQ(mux.source(c.output), c.source);
  }
}

const Case kCases[] = {
    {"Connect", nullptr, [](HwMux& m) { return m.Connect(5, 8192); }, true, 8192, {"5"}, 5, {}},
    {"ConnectBelowTheTable", nullptr, [](HwMux& m) { return m.Connect(6, 100); }, true, 100,
     {"6"}, 6, {}},
    {"ConnectBeyondTheTableReachesTheDriver", nullptr,
     [](HwMux& m) { return m.Connect(5, 10240); }, false, -1, {}, 0,
     {"hwMux: connect 5 -> 10240 failed: Invalid argument"}},
    {"ConnectNegative", nullptr, [](HwMux& m) { return m.Connect(-1, 8193); }, false, 8193,
     {"off"}, HwMux::kDisabled, {"hwMux: ERROR not opened"}},
    {"ConnectRefusedStillRecordsTheSource", "0x80084d02",
     [](HwMux& m) { return m.Connect(7, 8201); }, false, 8201, {"off"}, 7,
     {"hwMux: connect 7 -> 8201 failed: Input/output error"}},
    {"Disconnect", nullptr, [](HwMux& m) { return m.Disconnect(8202); }, true, 8202,
     {"const 0xd5"}, HwMux::kDetached, {}},
    {"Disable", nullptr,
     [](HwMux& m) { return m.Connect(1, 8204) && m.Disable(8204); }, true, 8204, {"off"},
     HwMux::kDisabled, {}},
    {"DisableRefused", "0x80044d03",
     [](HwMux& m) { return m.Connect(1, 8205) + 2 * m.Disable(8205); }, 1, 8205, {"1"}, 1,
     {"hwMux: disable failed 8205 : Input/output error"}},
    {"DisconnectRefused", "0xc0084d04",
     [](HwMux& m) { return m.Connect(2, 8203) + 2 * m.Disconnect(8203); }, 1, 8203, {"2"}, 2,
     {"hwMux: disconnect failed 8203 : Input/output error"}},
    {"WriteRefused", "0xc0084d04",
     [](HwMux& m) { return m.Connect(3, 8207) + 2 * m.Write(8207, 0x3c); }, 1, 8207, {"3"}, 3,
     {"hwMux: write failed 8207 <- 0x3c : Input/output error"}},
    {"Write", nullptr, [](HwMux& m) { return m.Write(8206, 0x3c); }, true, 8206, {"const 0x3c"},
     HwMux::kDetached, {}},
    {"ReadBack", nullptr, [](HwMux& m) { return m.Write(30, 0xa5) ? m.Read(30) : -1; }, 0xa5, 30,
     {"const 0xa5"}, HwMux::kDetached, {}},
    {"ReadLeavesTheTable", nullptr, [](HwMux& m) { return m.Read(8208); }, 0xff, 8208, {"off"},
     HwMux::kDisabled, {}},
    {"ReadNegative", nullptr, [](HwMux& m) { return m.Read(-1); }, 0xff, -1, {}, 0, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, HwMuxOps, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return i.param.name; });

TEST_F(HwMuxTest, ReleaseIdlesEveryOutputTheChannelFeedsAndItsOwn) {
  HwMux mux;
  struct Path {
    int input, output;
    const char* after;  // what the output carries after Release(1030)
  };
  const Path paths[] = {
      {1030, 40, "const 0xd5"},    // below the table
      {1030, 8300, "const 0xd5"},  // in the table
      {40, 1030, "const 0xd5"},    // the channel's own output
      {1031, 41, "1031"},          // another channel's path
      {1030, 8301, "off"},         // fed once, disabled since
  };
  for (const Path& p : paths) ASSERT_TRUE(mux.Connect(p.input, p.output));
  ASSERT_TRUE(mux.Disable(8301));
  StreamCapture log(std::clog);
  mux.Release(1030);
  for (const Path& p : paths) {
    EXPECT_EQ(board().command("switch " + std::to_string(p.output)), Lines{p.after}) << p.output;
  }
  EXPECT_EQ(mux.source(8300), HwMux::kDetached);
  EXPECT_EQ(mux.source(8301), HwMux::kDisabled);
  EXPECT_EQ(mux.source(40), HwMux::kDetached);
  EXPECT_EQ(mux.source(41), 1031);
  // Nothing feeds from it any more, and a negative channel is no channel.
  const unsigned long writes = count("0xc0084d04");
  mux.Release(1030);
  mux.Release(-1);
  EXPECT_EQ(count("0xc0084d04"), writes);
  EXPECT_TRUE(log.take_lines().empty());
}

// Outputs outside the table come and go with the controller's numbers (an external channel is
// 8192 + any number it names): one that is disabled again leaves no entry behind.
TEST_F(HwMuxTest, OutputsOutsideTheTableLeaveNoEntryOnceDisabled) {
  HwMux mux;
  const size_t table = mux.outputs_named();
  for (int output = 100; output < 200; ++output) {
    ASSERT_TRUE(mux.Connect(5, output));
    ASSERT_TRUE(mux.Disconnect(output));
    ASSERT_TRUE(mux.Disable(output));
    EXPECT_EQ(mux.source(output), HwMux::kDisabled);
  }
  ASSERT_TRUE(mux.Disable(8200));
  EXPECT_EQ(mux.outputs_named(), table);
  EXPECT_EQ(mux.source(8200), HwMux::kDisabled);
}

TEST_F(HwMuxTest, AMissingDeviceIsOpenedByALaterOperation) {
  TestClockGuard clock(1000000);
  ASSERT_EQ(board().command("unplug hal"), Lines{"ok"});
  StreamCapture log(std::clog);
  HwMux mux;
  EXPECT_EQ(log.take_lines(),
            (Lines{"hwMux: init", "hwMux: can't open device: No such file or directory"}));
  // Each operation tries the open again; the line it writes then is one a second.
  EXPECT_FALSE(mux.Connect(1, 8192));
  EXPECT_EQ(log.take_lines(), Lines{"hwMux: ERROR not opened"});
  EXPECT_EQ(mux.Read(8192), 0xff);
  EXPECT_FALSE(mux.Disable(8192));
  Mux::TestClock::advance_ms(1000);
  EXPECT_FALSE(mux.Disable(8192));
  EXPECT_EQ(log.take_lines(),
            Lines{"hwMux: can't open device: No such file or directory (3 similar lines left out)"});
  mux.OnDPC();
  EXPECT_EQ(mux.refresh_index(), 0u);

  ASSERT_EQ(board().command("plug hal"), Lines{"ok"});
  EXPECT_TRUE(mux.Connect(4, 8192));
  EXPECT_EQ(log.take_lines(), Lines{"hwMux: device opened"});
  EXPECT_EQ(board().command("switch 8192"), Lines{"4"});
  EXPECT_EQ(mux.source(8192), 4);
  EXPECT_EQ(mux.source(8193), HwMux::kDisabled);
}

// A board restarted under the switch leaves it a dead descriptor: every request fails from then
// on, each kind of line is written once a second with the count of those left out, and the
// counts still owed are written when the switch goes.
TEST_F(HwMuxTest, RequestsRefusedOnAllOutputsLogOnceASecondPerKind) {
  TestClockGuard clock(1000000);
  auto mux = std::make_unique<HwMux>();
  ASSERT_TRUE(board().restart());
  StreamCapture log(std::clog);
  const struct {
    std::function<bool(HwMux&)> op;
    std::string line;
  } kinds[] = {
      {[](HwMux& m) { return m.Connect(3, 8200); }, "hwMux: connect 3 -> 8200 failed: "},
      {[](HwMux& m) { return m.Disconnect(40); }, "hwMux: disconnect failed 40 : "},
      {[](HwMux& m) { return m.Disable(8201); }, "hwMux: disable failed 8201 : "},
      {[](HwMux& m) { return m.Write(41, 0x3c); }, "hwMux: write failed 41 <- 0x3c : "},
      {[](HwMux& m) { return m.Read(42) != 0xff; }, "hwMux: read failed 42 -> 0xff : "},
  };
  const std::string error = "Bad file descriptor";
  const auto each = [&](int times) {
    for (int i = 0; i < times; ++i)
      for (const auto& k : kinds) EXPECT_FALSE(k.op(*mux));
  };
  const auto lines = [&](const std::string& end) {
    Lines all;
    for (const auto& k : kinds) all.push_back(k.line + error + end);
    return all;
  };
  each(100);
  EXPECT_EQ(log.take_lines(), lines(""));
  Mux::TestClock::advance_ms(1000);
  each(3);
  EXPECT_EQ(log.take_lines(), lines(" (99 similar lines left out)"));
  mux.reset();
  EXPECT_EQ(log.take_lines(),
            (Lines{"hwMux: connect (1 similar lines left out)",
                   "hwMux: disable failed (1 similar lines left out)",
                   "hwMux: disconnect failed (1 similar lines left out)",
                   "hwMux: read failed (1 similar lines left out)",
                   "hwMux: write failed (1 similar lines left out)"}));
}

}  // namespace
