// The heartbeat in front of the other services: a silent controller dropped after 120 s on the
// test clock.
#include "control/heartbeat_ctl.h"

#include <gtest/gtest.h>

#include "tests/control/server_fixture.h"

namespace {

class HeartBeatTest : public CtrlServerTest {
 protected:
  void bind() override {
    server_.Bind(&heartbeat_);
    server_.Bind(&a_);
  }
  // Moves the clock and lets the loop serve what fell due and the disconnect that follows.
  void wait_ms(unsigned ms) {
    advance(ms);
    turns(2);
  }
  bool dropped() { return peer_.eof(); }

  HeartBeatCtl heartbeat_;
};

TEST_F(HeartBeatTest, SilentControllerIsDroppedAfter120s) {
  connect();
  exchange(wire("{ seq 1, pdu command : ping : NULL }"));
  wait_ms(HeartBeatCtl::timeout_ms - 1);
  EXPECT_FALSE(dropped());
  wait_ms(1);
  EXPECT_TRUE(dropped());
  EXPECT_NE(logs_.log.take().find("heartbeat timeout!!!\n"), std::string::npos);
  EXPECT_EQ(log_, std::vector<std::string>{"a disconnect"});

  // The next controller starts without a count.
  connect();
  wait_ms(10 * HeartBeatCtl::timeout_ms);
  EXPECT_FALSE(dropped());
}

TEST_F(HeartBeatTest, EveryCommandRestartsTheCount) {
  connect();
  EXPECT_EQ(exchange(wire("{ seq 1, pdu command : ping : NULL }")),
            std::vector<std::string>{wire("{ seq 1, pdu response : success : NULL }")});
  wait_ms(100000);
  EXPECT_FALSE(dropped());
  // A command that no service takes restarts it too.
  exchange(wire("{ seq 9, pdu command : query : NULL }"));
  wait_ms(100000);
  EXPECT_FALSE(dropped());
  wait_ms(20000);
  EXPECT_TRUE(dropped());
}

TEST_F(HeartBeatTest, MessagesRefusedBeforeTheServicesDoNotRestartTheCount) {
  a_.on_command = answer_success;
  connect();
  exchange(wire("{ seq 1, pdu command : ping : NULL }"));
  wait_ms(100000);
  exchange("C0010907D018");  // slot 2000
  exchange(wire("{ seq 2, pdu response : success : NULL }"));
  exchange("FF");
  wait_ms(20000);
  EXPECT_TRUE(dropped());
}

}  // namespace
