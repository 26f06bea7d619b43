// Two SS7 links back to back on an in-process wire that delivers each signal unit once, when the
// test pumps it; time moves only by the test clock.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/timer.h"
#include "l2/ss7/slc.h"
#include "tests/l2/slc_pair.h"
#include "tests/support/loop_test.h"
#include "tests/support/command_output.h"
#include "tests/support/loop_turns.h"
#include "tests/support/temp_root.h"

namespace {

using SS7::SLC;
using End = SlcEnd;

SLC::State::type state_of(const End& e) { return e.slc->state(); }

class SlcTest : public LoopTest, public SlcPair {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    // A link that has gone idle waits for nothing; the loop must not take itself for hung.
    keep_alive_.set(3600 * 1000, &SlcPair::fresh, this);
    fresh();
  }
  void TearDown() override {
    keep_alive_.reset();
    fresh();
    LoopTest::TearDown();
  }

  void step(unsigned ms) {
    advance(ms);
    pump();
  }
  void align(bool emergency = false) {
    a.slc->emergency = b.slc->emergency = emergency;
    a.slc->activate();
    pump();
    step(emergency ? 500 : 8200);
    ASSERT_EQ(state_of(a), SLC::State::worked);
    ASSERT_EQ(state_of(b), SLC::State::worked);
  }
  Timer keep_alive_;
};

TEST_F(SlcTest, BackToBackAlignmentTakesNormalOrEmergencyProving) {
  for (bool emergency : {false, true}) {
    SCOPED_TRACE(emergency);
    fresh();
    a.slc->emergency = b.slc->emergency = emergency;
    a.slc->activate();
    pump();
    EXPECT_EQ(state_of(a), SLC::State::proving);
    EXPECT_EQ(state_of(b), SLC::State::proving);
    unsigned t4 = emergency ? 500 : 8200;
    step(t4 - 1);
    EXPECT_EQ(state_of(a), SLC::State::proving);
    step(1);
    EXPECT_EQ(state_of(a), SLC::State::worked);
    EXPECT_EQ(state_of(b), SLC::State::worked);
    EXPECT_EQ(a.ups + b.ups, 2);
    // Activating a working link reports it up again and changes nothing.
    a.slc->activate();
    EXPECT_EQ(a.ups, 2);
    EXPECT_TRUE(a.sent.empty());
  }
}

TEST_F(SlcTest, MsusArriveInOrderAfterLossNackAndRetransmission) {
  align();
  bool lost = false;
  lose = [&](const End& from, const Bytes& u) {
    // The second MSU from A, once.
    if (&from != &a || lost || u.size() < 5 || u[3] != 0 || u[4] != 1) return false;
    return lost = true;
  };
  for (unsigned n = 0; n < 6; ++n) send(a, numbered(n));
  send(b, numbered(100));
  pump();
  ASSERT_TRUE(lost);
  ASSERT_EQ(b.received.size(), 6u);
  for (unsigned n = 0; n < 6; ++n) EXPECT_EQ(b.received[n], numbered(n));
  EXPECT_EQ(a.received, std::vector<Bytes>{numbered(100)});
  EXPECT_EQ(b.slc->statistics().nacks_sent, 1u);
  EXPECT_EQ(a.slc->statistics().retransmissions, 1u);
  EXPECT_EQ(a.slc->statistics().rtb_size, 0u);
  EXPECT_EQ(state_of(a), SLC::State::worked);
  EXPECT_EQ(state_of(b), SLC::State::worked);
}

TEST_F(SlcTest, RtbHolds127AndTbRefusesThe201st) {
  align();
  bool hold = true;
  lose = [&](const End& from, const Bytes&) { return hold && &from == &b; };
  for (unsigned n = 0; n < 328; ++n) send(a, numbered(n));
  pump();
  EXPECT_EQ(a.slc->rtb_fill(), 127u);
  EXPECT_EQ(a.slc->tb_count(), 200u);
  EXPECT_EQ(a.slc->statistics().tb_overflows, 1u);
  EXPECT_EQ(b.received.size(), 127u);
  // B's next unit acknowledges everything, and the TB drains in windows of 127.
  hold = false;
  send(b, numbered(1000));
  pump();
  ASSERT_EQ(b.received.size(), 327u);
  for (unsigned n = 0; n < 327; ++n) ASSERT_EQ(b.received[n], numbered(n));
  EXPECT_EQ(a.slc->rtb_fill(), 0u);
  EXPECT_EQ(state_of(a), SLC::State::worked);
}

TEST_F(SlcTest, LengthIndicatorsSentAndReceived) {
  align();
  // Sent: the SIF length up to 62, then 63; units the peer would misread are refused.
  struct Sent {
    unsigned len;
    int li;  // -1: refused
  } sent_cases[] = {{3, 3}, {62, 62}, {63, 63}, {273, 63}, {2, -1}, {274, -1}, {0, -1}};
  for (const Sent& c : sent_cases) {
    SCOPED_TRACE(c.len);
    send(a, Bytes(c.len, 0x11));
    if (c.li < 0) {
      EXPECT_TRUE(a.sent.empty());
      continue;
    }
    ASSERT_FALSE(a.sent.empty());
    EXPECT_EQ(a.sent[0][2], c.li);
    EXPECT_EQ(a.sent[0].size(), c.len + 3);
    pump();
  }
  // Received by B, which has accepted FSNs 0 to 3.
  ASSERT_EQ(b.received.size(), 4u);
  struct Received {
    const char* what;
    unsigned li;
    unsigned octets;
    int delivered;  // octets passed up, -1: nothing
  } received_cases[] = {
      {"LI 63, 70 octets", 63, 70, 70},   {"LI 60, 70 octets: kept whole", 60, 70, 70},
      {"LI 8, 10 octets: cut", 8, 10, 8}, {"LI 20, 10 octets: short, dropped", 20, 10, -1},
      {"spare bits set", 0xC0 | 6, 6, 6},
  };
  unsigned fsn = 3;
  for (const Received& c : received_cases) {
    SCOPED_TRACE(c.what);
    b.received.clear();
    // Each carries the next FSN: a unit passed up when it should not be shows.
    unsigned next = fsn + 1;
    if (c.delivered >= 0) fsn = next;
    Bytes u = {0xFF, static_cast<unsigned char>(0x80 | next), static_cast<unsigned char>(c.li)};
    u.resize(3 + c.octets, 0x22);
    Packet p = packet_of(u, 0);
    b.slc->on_hdlc_receive(p);
    if (c.delivered < 0) {
      EXPECT_TRUE(b.received.empty());
    } else {
      ASSERT_EQ(b.received.size(), 1u);
      EXPECT_EQ(b.received[0].size(), unsigned(c.delivered));
    }
    b.sent.clear();
  }
  // A 2-octet frame counts as octets only.
  auto before = b.slc->statistics();
  Packet two = packet_of({0xFF, 0xFF}, 0);
  b.slc->on_hdlc_receive(two);
  EXPECT_EQ(b.slc->statistics().octets_received, before.octets_received + 2);
  EXPECT_EQ(b.slc->statistics().su_received, before.su_received);
  EXPECT_EQ(state_of(b), SLC::State::worked);
}

TEST_F(SlcTest, RefusedSendKeepsTheMsuAndTheFisuSequence) {
  align();
  a.refuse = 1;
  send(a, numbered(7));
  EXPECT_EQ(a.slc->tb_count(), 1u);
  // A FISU sent meanwhile (the acknowledgement of B's MSU) names no MSU of A's.
  send(b, numbered(8));
  pump();
  ASSERT_EQ(b.received.size(), 0u);
  a.slc->on_hdlc_ready();
  pump();
  ASSERT_EQ(b.received, std::vector<Bytes>{numbered(7)});
  EXPECT_EQ(b.slc->statistics().nacks_sent, 0u);
  EXPECT_EQ(state_of(b), SLC::State::worked);
}

TEST_F(SlcTest, TimersAndFailuresEndInIdle) {
  const Packet sio = packet_of({0xFF, 0xFF, 0x01, 0x00}, 0);
  const Packet sin = packet_of({0xFF, 0xFF, 0x01, 0x01}, 0);
  struct Case {
    const char* what;
    std::function<void()> start;
    SLC::State::type waiting;
    unsigned ms;  // 0: at once
  } cases[] = {
      {"T2: no answer while not aligned", [&] { a.slc->activate(); },
       SLC::State::not_aligned, 7000},
      {"T3: no SIN while aligned",
       [&] { Packet p = sio; a.slc->on_hdlc_receive(p); }, SLC::State::aligned, 1500},
      {"T1: nothing after proving",
       [&] {
         Packet p = sin;
         a.slc->on_hdlc_receive(p);
         advance(8200);
       },
       SLC::State::aligned_ready, 45000},
      {"T7: no acknowledgement",
       [&] {
         align();
         lose = [](const End&, const Bytes&) { return true; };
         send(a, numbered(1));
       },
       SLC::State::worked, 12000},
      {"trunk down",
       [&] {
         align();
         a.slc->OnTrunkHardStatus(false);
       },
       SLC::State::worked, 0},
      {"channel failed",
       [&] {
         align();
         a.slc->on_hdlc_error(HDLC::Notify::Cause::read_error);
       },
       SLC::State::worked, 0},
      {"LSSU while worked",
       [&] {
         align();
         Packet p = sio;
         a.slc->on_hdlc_receive(p);
       },
       SLC::State::worked, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    c.start();
    if (c.ms) {
      a.sent.clear();
      EXPECT_EQ(state_of(a), c.waiting);
      advance(c.ms - 1);
      EXPECT_EQ(state_of(a), c.waiting);
      advance(1);
    }
    EXPECT_EQ(state_of(a), SLC::State::idle);
    ASSERT_FALSE(a.downs.empty());
    EXPECT_EQ(a.downs.back(), "impossible phasing");
    // Idle sends SIOS.
    ASSERT_FALSE(a.sent.empty());
    EXPECT_EQ(a.sent.back(), (Bytes{0xFF, 0xFF, 0x01, 0x03}));
  }
}

TEST_F(SlcTest, TsharkReadsTheCaptureAsMtp2) {
  std::vector<Bytes> units;
  a.capture = b.capture = &units;
  align();
  for (unsigned n = 0; n < 3; ++n) send(a, numbered(n, 20));
  pump();
  TempRoot dir;
  {
    std::ofstream out(dir.path() + "/units.txt");
    for (const Bytes& u : units) out << "0000 " << packet_of(u, 0).text() << "\n";
  }
  // LI of each unit as tshark's MTP2 dissector reads it, and no malformed unit.
  std::string expected;
  for (const Bytes& u : units) expected += std::to_string(u[2] & 0x3F) + "\t\n";
  EXPECT_EQ(output_of("text2pcap -q -l 140 " + dir.path() + "/units.txt " + dir.path() +
                      "/units.pcap && tshark -r " + dir.path() +
                      "/units.pcap -T fields -e mtp2.li -e _ws.malformed"),
            expected);
}

}  // namespace
