#include "base/watchdog.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/timer.h"
#include "tests/support/loop_test.h"
#include "tools/simctl/board_sim.h"

struct WatchdogProbe {
  static Watchdog& watchdog() { return multiplexer.watchdog_; }
};

namespace {

// What the simulated watchdog received, without the times. The watchdog is never sent an empty
// write; the simulator may log the close of the session as some, when the hang-up reaches it
// after the end of the data.
std::vector<std::string> writes(BoardSim& sim) {
  std::vector<std::string> out;
  for (const std::string& line : sim.command("watchdog")) {
    std::string text = line.substr(line.find(' ') + 1);
    if (!text.empty()) out.push_back(text);
  }
  return out;
}

using Words = std::vector<std::string>;

class WatchdogTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    ASSERT_TRUE(sim.ok());
  }
  BoardSim sim;
};

// Each tick moves the loop clock on by 300 ms and asks for the next turn at once.
struct Ticker {
  void tick() {
    Mux::TestClock::advance_ms(300);
    if (++ticks == 10)
      multiplexer.terminate();
    else
      timer.set(0, &Ticker::tick, this);
  }
  int ticks = 0;
  Timer timer;
};

TEST_F(WatchdogTest, LoopStartsPingsAtMostOncePerSecondAndStops) {
  Ticker t;
  t.timer.set(0, &Ticker::tick, &t);
  multiplexer.run(true, true);
  // Polls at 300, 600, ... 2700 ms of loop time: pings at 300, 1500 and 2700.
  EXPECT_EQ(writes(sim), (Words{"START", "PING", "PING", "PING", "STOP"}));
  EXPECT_FALSE(WatchdogProbe::watchdog().is_open());
}

TEST_F(WatchdogTest, OpenWatchdogLimitsThePollToOneSecond) {
  ASSERT_TRUE(WatchdogProbe::watchdog().start());
  struct Idle {
    void on_timer() {}
    Timer timer;
  } idle;
  idle.timer.set(5000, &Idle::on_timer, &idle);
  EXPECT_EQ(MultiplexerProbe::prepare(), 1000);
  idle.timer.set(250, &Idle::on_timer, &idle);
  EXPECT_EQ(MultiplexerProbe::prepare(), 250);
  idle.timer.reset();
  WatchdogProbe::watchdog().stop();
  EXPECT_EQ(writes(sim), (Words{"START", "STOP"}));
}

TEST_F(WatchdogTest, FailuresAreReportedAndTheLoopGoesOn) {
  struct Case {
    const char* name;
    const char* before_start;
    const char* after_start;
    const char* messages;
    Words received;
  };
  const Case cases[] = {
      {"no device", "unplug misc/gw-wd", nullptr,
       "Mux: fail to open watchdog: No such file or directory\n", {}},
      {"PING and STOP refused", nullptr, "fail misc/gw-wd write EPIPE",
       "Mux: ping watchdog failed: Broken pipe\nMux: stop watchdog failed: Broken pipe\n",
       {"START"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sim.restart());
    Watchdog w;
    testing::internal::CaptureStderr();
    if (c.before_start) {
      EXPECT_EQ(sim.command(c.before_start), Words{"ok"});
    }
    w.start();
    if (c.after_start) {
      EXPECT_EQ(sim.command(c.after_start), Words{"ok"});
    }
    w.ping();
    w.stop();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
    EXPECT_FALSE(w.is_open());
    EXPECT_EQ(writes(sim), c.received);
  }
}

}  // namespace
