// The road of a command to the daemon, over loopback TCP: each frame gets exactly its response,
// with the exact octets and the envelope's checks, and pipelined commands are each answered in
// order. The board services report trunk status meanwhile; those signals are skipped.
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"

namespace {

class ControlRoad : public DaemonOnBoard {
 protected:
  void send_hex(const std::string& hex) {
    const std::string bytes = bytes_of(hex);
    ASSERT_TRUE(ctl_.send_frame(std::vector<char>(bytes.begin(), bytes.end()))) << ctl_.error();
  }
  // The payload of the next response, in hex.
  std::string next_response() {
    Ctl::Received r;
    while (ctl_.receive(r, wait_ms)) {
      if (!r.is_signal()) return Ctl::to_hex(r.bytes);
    }
    return ctl_.error();
  }
};

struct WireCase {
  const char* name;
  std::string sent, answer;  // payloads in hex; no answer when empty
};

class ResponseOnTheWire : public ControlRoad, public testing::WithParamInterface<WireCase> {};

// The frame sent, then a ping whose answer must be the next response.
TEST_P(ResponseOnTheWire, ExactlyOneResponse) {
  send_hex(GetParam().sent);
  if (!GetParam().answer.empty()) {
    EXPECT_EQ(next_response(), GetParam().answer);
  }
  send_hex(wire("{ seq 99, pdu command : ping : NULL }"));
  EXPECT_EQ(next_response(), wire("{ seq 99, pdu response : success : NULL }"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponseOnTheWire,
    testing::Values(
        WireCase{"PingSeq5Slot3", wire("{ seq 5, slot 3, pdu command : ping : NULL }"),
                 "C00105000340"},
        WireCase{"SlotAbove1023", "C0010907D018",
                 wire("{ seq 9, pdu response : error : invalidSlot }")},
        WireCase{"NotACommand", wire("{ seq 4, slot 3, pdu signal : activated : NULL }"),
                 wire("{ seq 4, pdu response : error : unexpectedMsgType }")},
        WireCase{"MissingSlot", wire("{ slot 7, pdu command : connect : 1 }"),
                 wire("{ slot 7, pdu response : error : slotNotExists }")},
        WireCase{"Undecodable", "FF", ""}),
    [](const testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

TEST_F(ControlRoad, PipelinedCommandsAreEachAnsweredInOrder) {
  const int count = 100;
  for (int i = 0; i < count; ++i) {
    // Every query's report follows its response: the last command is a ping.
    ASSERT_TRUE(ctl_.send(i % 2 ? "ping : NULL" : "query : NULL")) << ctl_.error();
  }
  int responses = 0, reports = 0;
  while (responses < count) {
    Ctl::Received r;
    ASSERT_TRUE(ctl_.receive(r, wait_ms)) << ctl_.error() << " after " << responses;
    if (r.is_signal()) {
      reports += r.signal_name() == "query";
      continue;
    }
    ASSERT_TRUE(r.is_response() && r.message->get_pdu().get_response().is_success());
    EXPECT_EQ(r.message->get_seq().getValue(), 2 + responses);
    ++responses;
  }
  EXPECT_EQ(reports, count / 2);
}

// A controller that sends a batch and then shuts its sending side reads every answer, then the
// end of the stream. The daemon is held still while the batch arrives, so that its connection
// check is due before it has read the batch.
TEST_F(ControlRoad, HalfClosedControllerGetsEveryAnswer) {
  const int count = 1000;
  ASSERT_TRUE(daemon_.signal(SIGSTOP));
  std::vector<std::string> batch(count, "query : NULL");
  const bool sent = ctl_.send_together(batch) && ctl_.shut_sending();
  usleep(1100 * 1000);
  ASSERT_TRUE(daemon_.signal(SIGCONT));
  ASSERT_TRUE(sent) << ctl_.error();
  int responses = 0, reports = 0;
  Ctl::Received r;
  while (ctl_.receive(r, wait_ms)) {
    if (r.is_signal()) {
      reports += r.signal_name() == "query";
    } else {
      EXPECT_TRUE(r.is_response() && r.message->get_pdu().get_response().is_success());
      ++responses;
    }
  }
  EXPECT_EQ(responses, count);
  EXPECT_EQ(reports, count);
  EXPECT_TRUE(ctl_.wait_closed(0)) << "closed after the last answer";
}

}  // namespace
