// Test access to the loop's turn, split at poll(), so tests check the computed timeout and then
// poll with timeout 0: no test waits on real time.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <poll.h>
#include <vector>

#include "base/multiplexer.h"
#include "base/mux_clock.h"

struct MultiplexerProbe {
  static constexpr int kTerminating = Multiplexer::kTerminating;

  // Timer pass, plug-in pass, poll set, second deferred-call pass; returns the poll timeout.
  static int prepare() { return multiplexer.prepare_turn(); }
  // Polls without waiting and serves the handlers.
  static void poll_now() { multiplexer.poll_and_serve(0); }
  // One whole turn that never waits; returns the timeout the loop would have used.
  static int turn() {
    int timeout = prepare();
    if (timeout != kTerminating) poll_now();
    return timeout;
  }
  static const std::vector<pollfd>& poll_set() { return multiplexer.poll_set_; }
  static unsigned timer_count() { return multiplexer.timers_.count(); }
  static void clear_terminate() { multiplexer.terminate_ = 0; }
  static bool idle() {
    const Multiplexer& m = multiplexer;
    return m.timers_.empty() && m.new_.empty() && m.polled_[0].empty() && m.polled_[1].empty() &&
           m.dpcs_.empty() && m.plugins_.empty();
  }
};

// Moves the loop clock by hand for the test's lifetime and checks that the test left the loop
// as it found it.
class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Mux::TestClock::set(uint64_t(1000) * 1000000);
    ASSERT_TRUE(MultiplexerProbe::idle());
  }
  void TearDown() override {
    Mux::TestClock::release();
    MultiplexerProbe::clear_terminate();
    EXPECT_TRUE(MultiplexerProbe::idle());
  }
};
