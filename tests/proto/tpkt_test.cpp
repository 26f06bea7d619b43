#include "proto/tpkt.h"

#include <gtest/gtest.h>

#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "tests/proto/proto_testlib.h"
#include "tests/support/loopback.h"

namespace {

using Strings = std::vector<std::string>;

class TpktTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Mux::TestClock::set(5'000'000'000ull);
    family_.add_protocol_tail(tpkt_);
    family_.activate();
  }
  void TearDown() override { Mux::TestClock::release(); }

  void feed(const std::string& bytes) {
    Packet p = packet_of(bytes);
    tpkt_->receive(p);
  }
  void advance(unsigned ms) {
    Mux::TestClock::advance_ms(ms);
    multiplexer.timers_schedule();
  }

  StreamCapture log_{std::clog};
  RecordingFamily family_;
  Tpkt_protocol* tpkt_ = new Tpkt_protocol;
};

TEST_F(TpktTest, ReassemblesFramesFromAnyCut) {
  const std::string abc = tpkt("ABC");
  struct Case {
    const char* name;
    Strings reads;
    Strings frames;
    const char* log;
  } cases[] = {
      {"one_read", {abc}, {"ABC"}, ""},
      {"header_split", {"\x03", std::string("\0\0", 2), "\x07" "AB", "C"}, {"ABC"}, ""},
      {"two_in_one_read", {abc + tpkt("D")}, {"ABC", "D"}, ""},
      {"frame_across_reads", {abc + abc.substr(0, 5), abc.substr(5) + abc}, {"ABC", "ABC", "ABC"},
       ""},
      {"stray_byte", {"\x55" + abc}, {"ABC"}, "TPKT bad TPKT packet start: 1 byte skipped.\n"},
      // One line per run of stray bytes, however many reads bring it.
      {"stray_run_across_reads", {"\x55\x56", std::string(60000, '\xff'), abc + "\x57" + abc},
       {"ABC", "ABC"},
       "TPKT bad TPKT packet start: 60002 bytes skipped.\n"
       "TPKT bad TPKT packet start: 1 byte skipped.\n"},
      {"bad_reserved", {"\x03\x01" + abc}, {"ABC"}, "TPKT bad TPKT reserved.\n"},
      {"too_small", {std::string("\x03\x00\x00\x03", 4) + abc}, {"ABC"}, "TPKT too small 3\n"},
      {"empty_frames_then_frame", {tpkt("") + tpkt("") + abc}, {"", "", "ABC"}, ""},
      {"largest", {tpkt(std::string(65531, 'x'))}, {std::string(65531, 'x')}, ""},
      {"binary_payload", {tpkt(std::string("\x03\x00\x00\x04", 4))},
       {std::string("\x03\x00\x00\x04", 4)}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    family_.received.clear();
    for (const std::string& r : c.reads) feed(r);
    EXPECT_EQ(family_.received, c.frames);
    EXPECT_EQ(log_.take(), c.log);
    EXPECT_EQ(tpkt_->state(), Tpkt_protocol::idle);
  }
}

TEST_F(TpktTest, IncompleteFrameTimesOutThreeSecondsAfterItsLastPiece) {
  feed(std::string("\x03\x00\x00\x10", 4) + "ab");
  advance(2000);
  feed("cd");  // restarts the timeout
  advance(2999);
  EXPECT_EQ(log_.take(), "");
  advance(1);
  EXPECT_EQ(log_.take(), " TPKT packet timeout.\n");
  EXPECT_EQ(tpkt_->state(), Tpkt_protocol::idle);

  feed(tpkt("ok"));
  EXPECT_EQ(family_.received, Strings{"ok"});
  EXPECT_EQ(log_.take(), "");
}

TEST_F(TpktTest, TimerRunsOnlyWhileAFrameIsIncomplete) {
  const std::string f = tpkt("ABC");
  for (char b : f) {
    feed(std::string(1, b));
    advance(2999);
  }
  advance(10000);
  EXPECT_EQ(family_.received, Strings{"ABC"});
  EXPECT_EQ(log_.take(), "");

  // A garbage byte leaves the layer idle: nothing to time out. The run is logged when the
  // stream below ends.
  feed("\x55");
  advance(10000);
  EXPECT_EQ(log_.take(), "");
  tpkt_->on_deactivate(make_status<Protocol_status_error>(tpkt_, "closed by peer"));
  EXPECT_EQ(log_.take(), "TPKT bad TPKT packet start: 1 byte skipped.\n");
}

TEST_F(TpktTest, OwnerMayStopOrDeleteTheStackWhileAFrameIsHandedUp) {
  family_.on_frame = [this](Packet&) { family_.deactivate(); };
  feed(tpkt("A") + tpkt("B") + "\x03\x00");
  EXPECT_EQ(family_.received, Strings{"A"});
  EXPECT_EQ(family_.reports, Strings{"ok: TPKT deactivated"});
  advance(5000);
  EXPECT_EQ(log_.take(), "");

  family_.on_frame = [this](Packet&) { delete tpkt_; };
  family_.activate();
  feed(tpkt("C") + tpkt("D"));
  EXPECT_EQ(family_.received, (Strings{"A", "C"}));
  EXPECT_EQ(family_.count(), 0u);
}

TEST_F(TpktTest, DeactivationDropsThePartialFrame) {
  feed(std::string("\x03\x00\x00\x08", 4) + "ab");
  family_.deactivate();
  family_.activate();
  feed("cd" + tpkt("E"));
  EXPECT_EQ(family_.received, Strings{"E"});
  EXPECT_EQ(log_.take(), "TPKT bad TPKT packet start: 2 bytes skipped.\n");
  advance(5000);
  EXPECT_EQ(log_.take(), "");
}

}  // namespace
