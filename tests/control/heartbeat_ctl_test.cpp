// The heartbeat in front of the other services: a silent controller dropped after 120 s on the
// test clock, whether or not it ever brought a command.
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
  // Kept to the count's last millisecond, then dropped with the line; the services are told.
  void expect_dropped_at_the_timeout() {
    wait_ms(HeartBeatCtl::timeout_ms - 1);
    EXPECT_FALSE(dropped());
    wait_ms(1);
    EXPECT_TRUE(dropped());
    EXPECT_NE(logs_.log.take().find("heartbeat timeout!!!\n"), std::string::npos);
    EXPECT_EQ(log_, std::vector<std::string>{"a disconnect"});
  }

  HeartBeatCtl heartbeat_;
};

TEST_F(HeartBeatTest, SilentControllerIsDroppedAfter120s) {
  connect();
  exchange(wire("{ seq 1, pdu command : ping : NULL }"));
  expect_dropped_at_the_timeout();
}

// A peer that connects and brings no command (nothing, a cut frame, or frames refused before
// the services) is closed as an idle controller is, and the next controller is served.
struct SilentCase {
  const char* name;
  std::string sent;  // octets on the wire
};

void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.name; }

std::string without_last(std::string s) {
  s.pop_back();
  return s;
}

class SilentConnection : public HeartBeatTest, public testing::WithParamInterface<SilentCase> {};

TEST_P(SilentConnection, IsClosedAfter120sAndTheNextControllerIsServed) {
  a_.on_command = answer_success;
  connect();
  if (!GetParam().sent.empty()) peer_.send(GetParam().sent);
  turns(2);
  // Meanwhile the place is taken: another controller is turned away.
  TcpPeer other = TcpPeer::connect(port_);
  turns(2);
  EXPECT_TRUE(other.eof());

  expect_dropped_at_the_timeout();

  connect();
  EXPECT_EQ(exchange(wire("{ seq 3, pdu command : ping : NULL }")),
            std::vector<std::string>{wire("{ seq 3, pdu response : success : NULL }")});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SilentConnection,
    testing::Values(
        SilentCase{"Nothing", ""}, SilentCase{"HalfATpktHeader", bytes_of("0300")},
        SilentCase{"FrameWithoutItsLastOctet",
                   without_last(tpkt(bytes_of(wire("{ seq 1, pdu command : ping : NULL }"))))},
        SilentCase{"UndecodableFrame", tpkt(bytes_of("FF"))},
        SilentCase{"NotACommand",
                   tpkt(bytes_of(wire("{ seq 2, pdu response : success : NULL }")))}),
    [](const testing::TestParamInfo<SilentCase>& info) { return std::string(info.param.name); });

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
