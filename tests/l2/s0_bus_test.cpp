// The basic-rate network side with user-side LAPD terminals on an in-process S0 bus; time moves
// only by the test clock.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/l2/l2_support.h"
#include "tests/l2/s0_bus.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"

namespace {

using Strings = std::vector<std::string>;

class S0BusTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    keep_alive_.emplace();
  }
  void TearDown() override {
    bus_.reset();
    keep_alive_.reset();
    LoopTest::TearDown();
  }
  // `count` terminals, each activated in turn until its link is up or refused.
  void start(unsigned count) {
    bus_.reset(new S0Bus(count));
    bus_->exchange.nt->activate();
    for (auto& t : bus_->terminals) {
      t->lapd->activate();
      for (int i = 0; i < 10; ++i) bus_->pump();
    }
  }

  std::unique_ptr<S0Bus> bus_;
  std::optional<Keepalive> keep_alive_;
};

TEST_F(S0BusTest, EightTerminalsGetTeis64To71AndTheNinthIsDenied) {
  start(9);
  for (unsigned i = 0; i < 8; ++i) {
    EXPECT_TRUE(bus_->terminals[i]->established()) << i;
    EXPECT_EQ(bus_->terminals[i]->lapd->full_state().self_tei, 64 + i);
  }
  EXPECT_FALSE(bus_->terminals[8]->established());
  EXPECT_LT(bus_->terminals[8]->lapd->full_state().state, 4u);
}

TEST_F(S0BusTest, SetupBroadcastOnceThenRoutingByCallReference) {
  start(3);
  // A SETUP, call reference 1: one UI frame, every terminal gets it.
  bus_->exchange.send({0x08, 0x01, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3});
  EXPECT_EQ(bus_->pump(), 1u);
  for (auto& t : bus_->terminals) EXPECT_EQ(t->received, Strings{"08 01 01 05 04 03 80 90 A3"});
  // Terminal 1 answers; the CONNECT ACKNOWLEDGE that follows reaches terminal 1 only.
  bus_->terminals[1]->send({0x08, 0x01, 0x81, 0x07});
  for (int i = 0; i < 3; ++i) bus_->pump();
  EXPECT_EQ(bus_->exchange.received, Strings{"08 01 81 07"});
  bus_->exchange.send({0x08, 0x01, 0x01, 0x0F});
  for (int i = 0; i < 3; ++i) bus_->pump();
  for (unsigned i = 0; i < 3; ++i)
    EXPECT_EQ(bus_->terminals[i]->received.size(), i == 1 ? 2u : 1u) << i;
  EXPECT_EQ(bus_->terminals[1]->received.back(), "08 01 01 0F");
}

TEST_F(S0BusTest, ALostIFrameIsSentAgainAfterT200) {
  start(1);
  S0Bus::Terminal& t = *bus_->terminals[0];
  t.send({0x08, 0x01, 0x81, 0x07});
  bus_->pump();
  bool lost = false;
  bus_->lose = [&](const S0Bus::Frame& f) {
    if (lost || f.from >= 0 || (f.bytes[2] & 1) != 0) return false;
    return lost = true;  // the first I frame from the network side
  };
  bus_->exchange.send({0x08, 0x01, 0x01, 0x0F});
  bus_->exchange.send({0x08, 0x01, 0x01, 0x7B});
  for (int i = 0; i < 3; ++i) bus_->pump();
  ASSERT_TRUE(lost);
  advance(ISDN::LAPD_NT_user::t200_ms);
  for (int i = 0; i < 5; ++i) bus_->pump();
  EXPECT_EQ(t.received, (Strings{"08 01 01 0F", "08 01 01 7B"}));
  EXPECT_EQ(bus_->exchange.nt->user(0).unacknowledged(), 0u);
  EXPECT_TRUE(t.established());
}

}  // namespace
