// The road of a command, end to end over loopback TCP: the test controller against the control
// server with the heartbeat and the test services of ServerHost.
#include <gtest/gtest.h>

#include "tests/support/lgcp_test.h"
#include "tests/e2e/server_host.h"

namespace {

constexpr int wait_ms = ServerHost::wait_ms;

class HostEnvironment : public testing::Environment {
 public:
  void SetUp() override { ServerHost::instance(); }
  void TearDown() override { ServerHost::instance().stop(); }
};

testing::Environment* const environment = testing::AddGlobalTestEnvironment(new HostEnvironment);

class ControlRoad : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.wait_disconnected());
    ASSERT_TRUE(ctl_.connect("127.0.0.1", host_.port(), wait_ms)) << ctl_.error();
    // The server has attached this controller once it answers.
    Ctl::Received r;
    ASSERT_TRUE(ctl_.command("ping : NULL", r, wait_ms)) << ctl_.error();
    host_.take_observed();
  }
  void TearDown() override {
    ctl_.close();
    EXPECT_TRUE(host_.wait_disconnected());
  }

  void send_hex(const std::string& payload_hex) {
    std::vector<char> bytes;
    EXPECT_TRUE(Ctl::from_hex(payload_hex, bytes));
    EXPECT_TRUE(ctl_.send_frame(bytes)) << ctl_.error();
  }
  // The payload of the next frame, in hex.
  std::string next_hex() {
    Ctl::Received r;
    EXPECT_TRUE(ctl_.receive(r, wait_ms)) << ctl_.error();
    return Ctl::to_hex(r.bytes);
  }

  ServerHost& host_ = ServerHost::instance();
  Ctl::Controller ctl_;
};

struct WireCase {
  const char* name;
  // The frame sent: a message in value notation, or hex octets after "0x".
  const char* sent;
  // The payload of the one frame that comes back: value notation, or hex octets after "0x";
  // empty for none.
  const char* answer;
};

class ResponseOnTheWire : public ControlRoad, public testing::WithParamInterface<WireCase> {};

TEST_P(ResponseOnTheWire, ExactlyOneResponse) {
  const std::string sent(GetParam().sent), answer(GetParam().answer);
  const auto hex = [](const std::string& s) { return s.compare(0, 2, "0x") == 0 ? s.substr(2) : wire(s); };
  send_hex(hex(sent));
  if (!answer.empty()) {
    EXPECT_EQ(next_hex(), hex(answer));
  }
  // Nothing else follows: the next frame is the answer to the next command.
  send_hex(wire("{ seq 99, pdu command : ping : NULL }"));
  EXPECT_EQ(next_hex(), wire("{ seq 99, pdu response : success : NULL }"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponseOnTheWire,
    testing::Values(
        WireCase{"PingSeq5Slot3", "{ seq 5, slot 3, pdu command : ping : NULL }", "0xC00105000340"},
        WireCase{"InvalidSlotWithoutSeq", "{ slot 7, pdu command : connect : 1 }", "0x40000762"},
        WireCase{"SlotAbove1023", "0xC0010907D018", "{ seq 9, pdu response : error : invalidSlot }"},
        WireCase{"NotACommand", "{ seq 4, slot 3, pdu signal : activated : NULL }",
                 "{ seq 4, pdu response : error : unexpectedMsgType }"},
        WireCase{"NoTaker", "{ seq 8, slot 2, pdu command : disconnect : NULL }",
                 "{ seq 8, slot 2, pdu response : error : unexpectedMsgType }"},
        WireCase{"TakerSilent", "{ seq 10, pdu command : deactivate : NULL }",
                 "{ seq 10, pdu response : error : internal }"},
        WireCase{"DelayedAnswer", "{ seq 11, slot 6, pdu command : destroy : NULL }",
                 "{ seq 11, slot 6, pdu response : success : NULL }"},
        WireCase{"Undecodable", "0xFF", ""}),
    [](const testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

TEST_F(ControlRoad, SignalReachesOtherServicesAndThenTheController) {
  Ctl::Received response;
  ASSERT_TRUE(ctl_.command("{ slot 4, pdu command : userData : '0A0B'H }", response, wait_ms))
      << ctl_.error();
  EXPECT_EQ(response.text(), lgcp_message("{ seq 2, slot 4, pdu response : success : NULL }")
                                 .asValueNotation());
  ASSERT_EQ(ctl_.kept().size(), 1u);
  EXPECT_EQ(Ctl::to_hex(ctl_.kept().front().bytes),
            wire("{ slot 4, pdu signal : userData : '0A0B'H }"));
  EXPECT_EQ(host_.take_observed(), std::vector<std::string>{"userData"});
}

TEST_F(ControlRoad, PipelinedCommandsAreEachAnsweredInOrder) {
  const int count = 100;
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(ctl_.send(i % 2 ? "query : NULL" : "ping : NULL")) << ctl_.error();
  }
  int responses = 0, signals = 0;
  for (int i = 0; i < count * 3 / 2; ++i) {
    Ctl::Received r;
    ASSERT_TRUE(ctl_.receive(r, wait_ms)) << ctl_.error() << " after " << i;
    if (r.is_signal()) {
      ++signals;
      continue;
    }
    ASSERT_TRUE(r.is_response() && r.message->get_pdu().get_response().is_success());
    EXPECT_EQ(r.message->get_seq().getValue(), 2 + responses);
    ++responses;
  }
  EXPECT_EQ(responses, count);
  EXPECT_EQ(signals, count / 2);
}

}  // namespace
