// Two SS7 links back to back on an in-process wire that delivers each signal unit once, when the
// test pumps it; time moves only by the test clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "l2/ss7/slc.h"
#include "base/timer.h"
#include "proto/protocol.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/temp_root.h"

namespace {

using SS7::SLC;
using Bytes = std::vector<unsigned char>;

Bytes bytes_of(const Packet& p) {
  Bytes b;
  for (unsigned i = 0; i < p.length(); ++i) b.push_back(p[static_cast<int>(i)]);
  return b;
}

Packet packet_of(const Bytes& b, unsigned head = 3) {
  Packet p;
  p.reserve_head(head);
  for (unsigned char c : b) p.put8(c);
  return p;
}

// An MSU whose first two octets carry its number.
Bytes numbered(unsigned n, unsigned len = 5) {
  Bytes b(len, 0x5A);
  b[0] = static_cast<unsigned char>(n >> 8);
  b[1] = static_cast<unsigned char>(n);
  return b;
}

struct Wire;

// One end of the wire and the layer-3 owner of its link.
struct End : GenericHDLC, ProtocolsList {
  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return true; }
  bool is_ready() const override { return refuse == 0; }
  void on_activated(Protocol*) override { ++ups; }
  void on_deactivated(Protocol*, Protocol_status s) override { downs.push_back(s->message()); }
  void on_message(Packet& p) override { received.push_back(bytes_of(p)); }

  Wire* wire = nullptr;
  SLC* slc = nullptr;
  // Frames to refuse before taking one again.
  unsigned refuse = 0;
  int ups = 0;
  std::vector<std::string> downs;
  std::vector<Bytes> received;
  std::vector<Bytes> sent;
};

struct Wire {
  struct Unit {
    End* to;
    Bytes bytes;
  };
  // Whether a unit from `from` is lost.
  std::function<bool(const End& from, const Bytes&)> lose;
  std::deque<Unit> queue;
  std::vector<Bytes> all;  // every unit carried, both ways, for the capture
};

bool End::hdlc_transmit(Packet& frame) {
  if (refuse) {
    --refuse;
    return false;
  }
  Bytes b = bytes_of(frame);
  sent.push_back(b);
  wire->all.push_back(b);
  return true;
}

SLC::State::type state_of(const End& e) { return e.slc->state(); }

class SlcTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    // A link that has gone idle waits for nothing; the loop must not take itself for hung.
    keep_alive_.set(3600 * 1000, &SlcTest::fresh, this);
    fresh();
  }
  void TearDown() override {
    keep_alive_.reset();
    for (End* e : {&a, &b}) delete e->slc;
    LoopTest::TearDown();
  }
  // New links at both ends, nothing on the wire.
  void fresh() {
    wire.lose = nullptr;
    wire.all.clear();
    for (End* e : {&a, &b}) {
      delete e->slc;
      e->refuse = 0;
      e->ups = 0;
      e->downs.clear();
      e->received.clear();
      e->sent.clear();
      e->wire = &wire;
      e->slc = new SLC;
      e->slc->hdlc = e;
      e->add_protocol_head(e->slc);
    }
    b.slc->slc = 1;
  }

  // Delivers what was sent, in order, until nothing is left.
  void pump() {
    size_t done[2] = {0, 0};
    for (bool moved = true; moved;) {
      moved = false;
      for (End* from : {&a, &b}) {
        End* to = from == &a ? &b : &a;
        size_t& i = done[from == &a ? 0 : 1];
        for (; i < from->sent.size(); ++i) {
          moved = true;
          Bytes u = from->sent[i];
          if (wire.lose && wire.lose(*from, u)) continue;
          Packet p = packet_of(u, 0);
          to->slc->on_hdlc_receive(p);
        }
      }
    }
    a.sent.clear();
    b.sent.clear();
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
  void send(End& from, const Bytes& msu) {
    Packet p = packet_of(msu);
    from.slc->message(p);
  }

  Wire wire;
  End a, b;
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
  wire.lose = [&](const End& from, const Bytes& u) {
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
  wire.lose = [&](const End& from, const Bytes&) { return hold && &from == &b; };
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
         wire.lose = [](const End&, const Bytes&) { return true; };
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
  align();
  for (unsigned n = 0; n < 3; ++n) send(a, numbered(n, 20));
  pump();
  TempRoot dir;
  std::string text = dir.path() + "/units.txt", pcap = dir.path() + "/units.pcap";
  {
    std::ofstream out(text);
    for (const Bytes& u : wire.all) {
      out << "0000";
      for (unsigned char c : u) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", c);
        out << hex;
      }
      out << "\n";
    }
  }
  std::string cmd = "text2pcap -q -l 140 " + text + " " + pcap + " && tshark -r " + pcap +
                    " > " + dir.path() + "/out.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(dir.path() + "/out.txt");
  std::string line, all;
  unsigned lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    all += line + "\n";
  }
  EXPECT_EQ(lines, wire.all.size()) << all;
  EXPECT_EQ(all.find("Malformed"), std::string::npos) << all;
  EXPECT_NE(all.find("MTP2 4 SIN"), std::string::npos) << all;
  EXPECT_NE(all.find("MTP2 3 FISU"), std::string::npos) << all;
  EXPECT_NE(all.find("MTP3"), std::string::npos) << all;
}

}  // namespace
