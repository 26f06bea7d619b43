#include "proto/tpkt.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "proto/strm_protocol.h"
#include "tests/proto/proto_testlib.h"
#include "tests/support/loop_test.h"
#include "tests/support/loopback.h"
#include "tests/support/multiplexer_probe.h"

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
  std::string budget;
  for (unsigned i = 0; i < Tpkt_protocol::max_frames_per_turn; ++i) budget += tpkt("A");
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
      {"stray_run_across_reads", {"\x55\x56", std::string(60000, '\xff'), abc}, {"ABC"},
       "TPKT bad TPKT packet start: 60002 bytes skipped.\n"},
      {"bad_reserved", {"\x03\x01" + abc}, {"ABC"}, "TPKT bad TPKT reserved.\n"},
      {"too_small", {std::string("\x03\x00\x00\x03", 4) + abc}, {"ABC"}, "TPKT too small 3\n"},
      {"empty_frames_then_frame", {tpkt("") + tpkt("") + abc}, {"", "", "ABC"}, ""},
      {"largest", {tpkt(std::string(65531, 'x'))}, {std::string(65531, 'x')}, ""},
      {"binary_payload", {tpkt(std::string("\x03\x00\x00\x04", 4))},
       {std::string("\x03\x00\x00\x04", 4)}, ""},
      // The frame behind the turn's budget waits; the reset below drops it.
      {"past_the_turn_budget", {budget + tpkt("B")},
       Strings(Tpkt_protocol::max_frames_per_turn, "A"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A turn of the loop of its own, with the whole frame budget.
    bool once = true;
    MultiplexerProbe::turns_while([&once] { return std::exchange(once, false); });
    // Past the interval of the log lines of the case before.
    Mux::TestClock::advance_ms(1000);
    family_.received.clear();
    for (const std::string& r : c.reads) feed(r);
    EXPECT_EQ(family_.received, c.frames);
    EXPECT_EQ(log_.take(), c.log);
    EXPECT_EQ(tpkt_->state(), Tpkt_protocol::idle);
    // Starting afresh leaves nothing of the old stream.
    tpkt_->reset();
    EXPECT_EQ(tpkt_->waiting(), 0u);
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

TEST_F(TpktTest, HostileBytesLogOnceASecondWithExactCounts) {
  // Each repeat is a run of one stray byte, then a frame start with a bad reserved byte.
  const std::string bad = "\x55\x03\x01";
  std::string flood;
  for (int i = 0; i < 1000; ++i) flood += bad;
  feed(flood);
  EXPECT_EQ(log_.take(), "TPKT bad TPKT packet start: 1 byte skipped.\nTPKT bad TPKT reserved.\n");
  advance(999);
  feed(bad);
  EXPECT_EQ(log_.take(), "");
  advance(1);
  feed(bad + std::string("\x03\x00\x00\x02", 4) + std::string("\x03\x00\x00\x01", 4));
  // The runs left out are added to the next run's line.
  EXPECT_EQ(log_.take(),
            "TPKT bad TPKT packet start: 1001 bytes skipped. (1000 similar lines left out)\n"
            "TPKT bad TPKT reserved. (1000 similar lines left out)\n"
            "TPKT too small 2\n");
  for (int i = 0; i < 5; ++i) feed(bad);
  feed(std::string("\x03\x00\x00\x03", 4) + "\x77\x77");
  EXPECT_EQ(log_.take(), "");
  // Stopping writes what is owed, the run in progress included.
  family_.deactivate();
  EXPECT_EQ(log_.take(),
            "TPKT bad TPKT packet start: 7 bytes skipped. (5 similar lines left out)\n"
            "TPKT bad TPKT reserved. (4 similar lines left out)\n"
            "TPKT too small 3 (1 similar lines left out)\n");
  family_.deactivate();
  EXPECT_EQ(log_.take(), "");
}

// A stack of a stream socket and TPKT whose owner echoes every frame back.
class TpktFlood : public AwakeLoopTest {
 protected:
  class Echo : public ProtocolsFamily {
   public:
    void on_message(Packet& p) override {
      ++frames;
      Packet reply;
      top()->prepare_head(reply);
      std::memcpy(reply.put(p.length()), p->data, p.length());
      top()->message(reply);
    }
    void on_deactivated(Protocol*, Protocol_status s) override { down = s->message(); }
    void on_status(Protocol_status s) override { status = s->message(); }
    unsigned frames = 0;
    std::string down;
    std::string status;
  };

  void SetUp() override {
    AwakeLoopTest::SetUp();
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    peer_ = Fd(sv[1]);
    strm_ = new StrmProtocol(Fd(sv[0]));
    stack_.add_protocol_tail(strm_);
    stack_.add_protocol_tail(new Tpkt_protocol);
    stack_.activate();
  }
  void TearDown() override {
    stack_.deactivate();
    turns(1);
    AwakeLoopTest::TearDown();
  }
  void send_frames(unsigned first, unsigned count) {
    const std::string bytes = stream_of(first, count);
    ASSERT_EQ(::send(peer_.get(), bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
  }
  std::string stream_of(unsigned first, unsigned count) {
    std::string bytes;
    for (unsigned i = first; i < first + count; ++i) bytes += tpkt(std::to_string(i));
    return bytes;
  }
  std::string read_all() {
    std::string got;
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(peer_.get(), buf, sizeof buf, MSG_DONTWAIT)) > 0) got.append(buf, n);
    return got;
  }

  Echo stack_;
  StrmProtocol* strm_ = nullptr;
  Fd peer_;
};

TEST_F(TpktFlood, FramesOfOneReadAreSpreadOverLoopTurns) {
  const unsigned total = 4000;
  send_frames(0, total);
  unsigned turns_taken = 0;
  unsigned before = 0;
  std::string echoes;
  while (stack_.frames < total && turns_taken < 200) {
    const int timeout = MultiplexerProbe::turn();
    ++turns_taken;
    const unsigned in_turn = stack_.frames - before;
    before = stack_.frames;
    ASSERT_LE(in_turn, Tpkt_protocol::max_frames_per_turn) << "turn " << turns_taken;
    if (turns_taken == 1) {
      EXPECT_EQ(in_turn, Tpkt_protocol::max_frames_per_turn);
    }
    // While frames wait, the loop does not sleep and the socket is not read.
    if (turns_taken > 1 && stack_.frames < total) {
      EXPECT_EQ(timeout, 0) << "turn " << turns_taken;
    }
    if (stack_.frames < total) {
      EXPECT_EQ(strm_->event().events(), 0);
    }
    // Frames sent meanwhile come behind those that wait.
    if (turns_taken == 3) send_frames(total, 10);
    echoes += read_all();
  }
  EXPECT_EQ(turns_taken, (total + 63) / 64);
  turns(2);
  EXPECT_EQ(stack_.frames, total + 10);
  // Each frame answered once, in order.
  echoes += read_all();
  EXPECT_TRUE(echoes == stream_of(0, total + 10));
  // Once all is through, the socket is read again and the loop may sleep.
  EXPECT_EQ(strm_->event().events(), POLLIN);
  EXPECT_NE(MultiplexerProbe::turn(), 0);

  // A peer that sends and hangs up has every frame answered before the end is seen.
  send_frames(total + 10, 200);
  ::shutdown(peer_.get(), SHUT_WR);
  turns(10);
  EXPECT_TRUE(read_all() == stream_of(total + 10, 200));
  EXPECT_EQ(stack_.frames, total + 210);
  EXPECT_EQ(stack_.status, "end of stream");
}

}  // namespace
