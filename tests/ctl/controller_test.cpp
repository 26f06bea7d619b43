// Ctl::Controller against a hand-driven daemon end: frames cut at any point, broken headers,
// undecodable payloads and the end of the connection.
#include "tools/orvex-ctl/lib/controller.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "tests/support/loopback.h"
#include "tools/orvex-ctl/lib/hex.h"

namespace {

class ControllerTest : public testing::Test {
 protected:
  void SetUp() override {
    LoopbackListener listener;
    ASSERT_TRUE(ctl_.connect("127.0.0.1", listener.port(), 1000)) << ctl_.error();
    daemon_ = listener.accept();
    ASSERT_TRUE(daemon_);
  }
  void write(const std::string& hex) {
    std::vector<char> b;
    ASSERT_TRUE(Ctl::from_hex(hex, b));
    ASSERT_EQ(::write(daemon_.get(), b.data(), b.size()), ssize_t(b.size()));
  }
  std::string read_all() {
    char buf[256];
    ssize_t n = ::recv(daemon_.get(), buf, sizeof buf, MSG_DONTWAIT);
    return n > 0 ? Ctl::to_hex(std::vector<char>(buf, buf + n)) : "";
  }

  Ctl::Controller ctl_;
  Fd daemon_;
};

TEST_F(ControllerTest, FramesCutAnywhereAreReassembledAndABrokenHeaderIsAnError) {
  Ctl::Received r;
  write("03 00");
  EXPECT_FALSE(ctl_.receive(r, 20));
  write("00 0A C0 01 05");
  EXPECT_FALSE(ctl_.receive(r, 20));
  write("00 03 40 03 00 00 05 FF");
  ASSERT_TRUE(ctl_.receive(r, 1000)) << ctl_.error();
  EXPECT_EQ(Ctl::to_hex(r.bytes), "C00105000340");
  ASSERT_TRUE(r.is_response());
  ASSERT_TRUE(ctl_.receive(r, 1000)) << ctl_.error();
  EXPECT_EQ(r.message, nullptr);
  EXPECT_EQ(r.text(), "undecodable frame: FF");
  write("04 00 00 05 40");
  EXPECT_FALSE(ctl_.receive(r, 1000));
  EXPECT_EQ(ctl_.error(), "broken TPKT header 04000005");
}

TEST_F(ControllerTest, SeqIsFilledInUnlessAsked) {
  ASSERT_TRUE(ctl_.send("ping : NULL"));
  ASSERT_TRUE(ctl_.send("{ slot 3, pdu command : ping : NULL }", false));
  ASSERT_TRUE(ctl_.send("{ seq 40, pdu command : ping : NULL }"));
  ASSERT_TRUE(ctl_.send("ping : NULL"));
  EXPECT_FALSE(ctl_.send("ping : NULL extra"));
  EXPECT_FALSE(ctl_.send("no such command"));
  EXPECT_EQ(read_all(), "0300000880010118" "0300000840000318" "0300000880012818" "0300000880010218");
}

TEST_F(ControllerTest, CommandWaitsForItsOwnResponse) {
  // A signal and the response to another seq arrive first; both are kept.
  write("03 00 00 06 21 40"           // { pdu signal : activated : NULL }
        "03 00 00 08 80 01 07 40"      // { seq 7, pdu response : success : NULL }
        "03 00 00 08 80 01 01 40");    // { seq 1, pdu response : success : NULL }
  Ctl::Received r;
  ASSERT_TRUE(ctl_.command("ping : NULL", r, 1000)) << ctl_.error();
  EXPECT_EQ(Ctl::to_hex(r.bytes), "80010140");
  ASSERT_EQ(ctl_.kept().size(), 2u);
  ASSERT_TRUE(ctl_.wait_for("activated", r, 0));
  EXPECT_EQ(ctl_.kept().size(), 1u);
  EXPECT_FALSE(ctl_.wait_for("activated", r, 20));
}

TEST_F(ControllerTest, EndOfConnectionIsSeen) {
  EXPECT_FALSE(ctl_.wait_closed(20));
  write("03 00 00 06 21 40");
  daemon_.close();
  EXPECT_TRUE(ctl_.wait_closed(1000));
  Ctl::Received r;
  ASSERT_TRUE(ctl_.receive(r, 0));
  EXPECT_EQ(r.signal_name(), "activated");
  EXPECT_FALSE(ctl_.receive(r, 1000));
}

}  // namespace
