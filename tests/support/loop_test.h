// The fixture of tests that drive the event loop by hand.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>

#include "base/mux_clock.h"
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
