// The fixture of tests that drive the event loop by hand.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>

#include "base/mux_clock.h"
#include "base/timer.h"
#include "tests/support/multiplexer_probe.h"

// Moves the loop clock by hand for the test's lifetime and checks that the test left the loop
// as it found it.
class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Mux::TestClock::set(uint64_t(1000) * 1000000);
    ASSERT_EQ(MultiplexerProbe::leftovers(), "") << "an earlier test left the loop busy";
  }
  void TearDown() override {
    Mux::TestClock::release();
    MultiplexerProbe::clear_terminate();
    EXPECT_EQ(MultiplexerProbe::leftovers(), "");
  }
};

// LoopTest with a far timer armed for the test's lifetime: a loop with nothing else to wait for
// takes itself for hung.
class AwakeLoopTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    awake_.set(3600 * 1000, &AwakeLoopTest::stay_awake, this);
  }
  void TearDown() override {
    awake_.reset();
    LoopTest::TearDown();
  }

 private:
  void stay_awake() {}
  Timer awake_;
};
