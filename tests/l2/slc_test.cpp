// Two SS7 links back to back on the link test kit's wire, which delivers each signal unit once;
// time moves only by the test clock.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "l2/ss7/slc.h"
#include "proto/protocol.h"
#include "tests/l2/l2_support.h"
#include "tests/support/hdlc_wire.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

using SS7::SLC;
using Units = std::vector<std::string>;

// An MSU of `len` octets whose first two carry its number.
std::string numbered(unsigned n, unsigned len = 5) {
  std::string b(len, 0x5A);
  b[0] = char(n >> 8);
  b[1] = char(n);
  return b;
}

// A link on one end of the wire, under a layer-3 owner that keeps what reaches it.
struct End : ProtocolsList {
  // A new link on `w`.
  void fresh(HdlcWire::End& w) {
    release();
    wire = &w;
    slc = new SLC;
    slc->hdlc = wire;
    wire->notify = slc;
    add_protocol_head(slc);
    ups = 0;
    downs.clear();
    received.clear();
  }
  void on_activated(Protocol*) override { ++ups; }
  void on_deactivated(Protocol*, Protocol_status s) override { downs.push_back(s->message()); }
  void on_message(Packet& p) override { received.push_back(unhex(p.text())); }
  void send(const std::string& msu) {
    Packet p = packet_of(msu, 3);
    slc->message(p);
  }
  SLC::State::type state() const { return slc->state(); }
  void release() {
    delete slc;
    slc = nullptr;
  }

  HdlcWire::End* wire = nullptr;
  SLC* slc = nullptr;
  int ups = 0;
  std::vector<std::string> downs;
  Units received;
};

class SlcTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    fresh();
  }
  void TearDown() override {
    a.release();
    b.release();
    wire.reset();
    LoopTest::TearDown();
  }
  // New links at both ends, nothing on the wire.
  void fresh() {
    auto next = std::make_unique<HdlcWire>(1000);
    a.fresh(next->a());
    b.fresh(next->b());
    b.slc->slc = 1;
    wire = std::move(next);
  }
  void pump() {
    for (int i = 0; i < 100 && !wire->idle(); ++i) turns();
  }
  void step(unsigned ms) {
    advance(ms);
    pump();
  }
  void align(bool emergency = false) {
    wire->rule = nullptr;
    a.slc->emergency = b.slc->emergency = emergency;
    a.slc->activate();
    pump();
    step(emergency ? 500 : 8200);
    ASSERT_EQ(a.state(), SLC::State::worked);
    ASSERT_EQ(b.state(), SLC::State::worked);
  }

  std::unique_ptr<HdlcWire> wire;
  End a;
  End b;
};

TEST_F(SlcTest, BackToBackAlignmentTakesNormalOrEmergencyProving) {
  for (bool emergency : {false, true}) {
    SCOPED_TRACE(emergency);
    fresh();
    a.slc->emergency = b.slc->emergency = emergency;
    a.slc->activate();
    pump();
    EXPECT_EQ(a.state(), SLC::State::proving);
    EXPECT_EQ(b.state(), SLC::State::proving);
    unsigned t4 = emergency ? 500 : 8200;
    step(t4 - 1);
    EXPECT_EQ(a.state(), SLC::State::proving);
    step(1);
    EXPECT_EQ(a.state(), SLC::State::worked);
    EXPECT_EQ(b.state(), SLC::State::worked);
    EXPECT_EQ(a.ups + b.ups, 2);
    // Activating a working link reports it up again and changes nothing.
    a.wire->sent.clear();
    a.slc->activate();
    EXPECT_EQ(a.ups, 2);
    EXPECT_TRUE(a.wire->sent.empty());
  }
}

TEST_F(SlcTest, MsusArriveInOrderAfterLossNackAndRetransmission) {
  align();
  bool lost = false;
  wire->rule = [&](HdlcWire::Side from, const Packet& p) {
    // The second MSU from A, once.
    const std::string u = unhex(p.text());
    if (from != HdlcWire::kA || lost || u.size() < 5 || u[3] != 0 || u[4] != 1)
      return HdlcWire::Fault::kNone;
    lost = true;
    return HdlcWire::Fault::kLose;
  };
  for (unsigned n = 0; n < 6; ++n) a.send(numbered(n));
  b.send(numbered(100));
  pump();
  ASSERT_TRUE(lost);
  ASSERT_EQ(b.received.size(), 6u);
  for (unsigned n = 0; n < 6; ++n) EXPECT_EQ(b.received[n], numbered(n));
  EXPECT_EQ(a.received, Units{numbered(100)});
  EXPECT_EQ(b.slc->statistics().nacks_sent, 1u);
  EXPECT_EQ(a.slc->statistics().retransmissions, 1u);
  EXPECT_EQ(a.slc->statistics().rtb_size, 0u);
  EXPECT_EQ(a.state(), SLC::State::worked);
  EXPECT_EQ(b.state(), SLC::State::worked);
}

TEST_F(SlcTest, RtbHolds127AndTbRefusesThe201st) {
  align();
  bool hold = true;
  wire->rule = [&](HdlcWire::Side from, const Packet&) {
    return hold && from == HdlcWire::kB ? HdlcWire::Fault::kLose : HdlcWire::Fault::kNone;
  };
  for (unsigned n = 0; n < 328; ++n) a.send(numbered(n));
  pump();
  EXPECT_EQ(a.slc->rtb_fill(), 127u);
  EXPECT_EQ(a.slc->tb_count(), 200u);
  EXPECT_EQ(a.slc->statistics().tb_overflows, 1u);
  EXPECT_EQ(b.received.size(), 127u);
  // B's next unit acknowledges everything, and the TB drains in windows of 127.
  hold = false;
  b.send(numbered(1000));
  pump();
  ASSERT_EQ(b.received.size(), 327u);
  for (unsigned n = 0; n < 327; ++n) ASSERT_EQ(b.received[n], numbered(n));
  EXPECT_EQ(a.slc->rtb_fill(), 0u);
  EXPECT_EQ(a.state(), SLC::State::worked);
}

// What refusal names is what message would not take: the owner answers the controller from it
// before it hands the MSU over, so an MSU answered success is never dropped.
TEST_F(SlcTest, RefusalNamesEveryMsuThatMessageWouldNotTake) {
  struct Case {
    const char* what;
    bool in_service;
    unsigned queued;  // MSUs sent before, none acknowledged
    unsigned length;
    bool refused;
  };
  const Case cases[] = {
      {"not in service", false, 0, 5, true},
      {"in service", true, 0, 5, false},
      {"too short", true, 0, 2, true},
      {"too long", true, 0, 274, true},
      {"RTB full, room in the TB", true, SLC::kRtbLimit, 5, false},
      {"RTB full, one place left in the TB", true, SLC::kRtbLimit + SLC::kTbLimit - 1, 5, false},
      {"RTB and TB full", true, SLC::kRtbLimit + SLC::kTbLimit, 5, true},
  };
  StreamCapture err(std::cerr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    if (c.in_service) align();
    wire->rule = [](HdlcWire::Side, const Packet&) { return HdlcWire::Fault::kLose; };
    for (unsigned n = 0; n < c.queued; ++n) a.send(numbered(n));
    pump();
    const unsigned held = a.slc->rtb_fill() + a.slc->tb_count();
    ASSERT_EQ(held, c.queued);
    EXPECT_EQ(a.slc->refusal(c.length) != nullptr, c.refused);
    a.send(numbered(c.queued, c.length));
    EXPECT_EQ(a.slc->rtb_fill() + a.slc->tb_count(), held + (c.refused ? 0 : 1));
  }
}

TEST_F(SlcTest, LengthIndicatorsSentAndReceived) {
  align();
  // Sent: the SIF length up to 62, then 63; units the peer would misread are refused.
  struct Sent {
    unsigned len;
    int li;  // -1: refused
  } sent_cases[] = {{3, 3}, {62, 62}, {63, 63}, {273, 63}, {2, -1}, {274, -1}, {0, -1}};
  StreamCapture err(std::cerr);
  for (const Sent& c : sent_cases) {
    SCOPED_TRACE(c.len);
    a.wire->sent.clear();
    a.send(std::string(c.len, 0x11));
    if (c.li < 0) {
      EXPECT_TRUE(a.wire->sent.empty());
      continue;
    }
    ASSERT_FALSE(a.wire->sent.empty());
    EXPECT_EQ(a.wire->sent[0][2], c.li);
    EXPECT_EQ(a.wire->sent[0].size(), c.len + 3);
    pump();
  }
  // Refusals the owner repeats at once: one line.
  const std::string refused = err.take();
  EXPECT_NE(refused.find("refuse msu of 2 octets\n"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("refuse msu of 274"), std::string::npos) << refused;
  // Received by B, which has accepted FSNs 0 to 3.
  ASSERT_EQ(b.received.size(), 4u);
  struct Received {
    const char* what;
    unsigned li;
    unsigned octets;
    int delivered;  // octets passed up, -1: nothing
  } received_cases[] = {
      {"LI 63, 70 octets", 63, 70, 70},
      {"LI 63, 273 octets: the longest MSU", 63, 273, 273},
      {"LI 63, 274 octets: longer than an MSU, errored", 63, 274, -1},
      {"LI 60, 70 octets: cannot be cut, errored", 60, 70, -1},
      {"LI 10, 296 octets: errored", 10, 296, -1},
      {"LI 8, 10 octets: cut", 8, 10, 8},
      {"LI 20, 10 octets: short, errored", 20, 10, -1},
      {"spare bits set", 0xC0 | 6, 6, 6},
  };
  unsigned fsn = 3;
  for (const Received& c : received_cases) {
    SCOPED_TRACE(c.what);
    b.received.clear();
    // Each carries the next FSN: a unit passed up when it should not be shows.
    unsigned next = fsn + 1;
    if (c.delivered >= 0) fsn = next;
    std::string u = {'\xFF', char(0x80 | next), char(c.li)};
    u.resize(3 + c.octets, 0x22);
    Packet p = packet_of(u);
    b.slc->on_hdlc_receive(p);
    if (c.delivered < 0) {
      EXPECT_TRUE(b.received.empty());
    } else {
      ASSERT_EQ(b.received.size(), 1u);
      EXPECT_EQ(b.received[0].size(), unsigned(c.delivered));
    }
    b.wire->sent.clear();
    EXPECT_EQ(b.state(), SLC::State::worked);
  }
  // Units of one kind within the second: one line each kind.
  const Lines misfits = err.take_lines();
  ASSERT_EQ(misfits.size(), 2u) << ::testing::PrintToString(misfits);
  EXPECT_NE(misfits[0].find("signal unit too long, received = 274, MSU at most 273 octets: "
                            "dropped"),
            std::string::npos);
  EXPECT_NE(misfits[1].find("invalid packet length, expected = 60, received = 70: dropped"),
            std::string::npos);
  // A 2-octet frame counts as octets only; the peer's repeats get no line of their own.
  auto before = b.slc->statistics();
  err.take();
  for (int i = 0; i < 2; ++i) {
    Packet two = hex_frame("FF FF");
    b.slc->on_hdlc_receive(two);
  }
  const std::string short_lines = err.take();
  EXPECT_NE(short_lines.find("ignore packet, length too small"), std::string::npos);
  EXPECT_EQ(short_lines.find("length too small"), short_lines.rfind("length too small"));
  EXPECT_EQ(b.slc->statistics().octets_received, before.octets_received + 4);
  EXPECT_EQ(b.slc->statistics().su_received, before.su_received);
  EXPECT_EQ(b.state(), SLC::State::worked);
  // Destroyed, the link writes a line for the last of each kind's lines left out, with the count
  // of the others: each unit dropped is in the log (the cut one under the same kind).
  b.release();
  Lines last;
  for (const std::string& line : err.take_lines()) last.push_back(line.substr(line.find(": ")));
  EXPECT_EQ(last, (Lines{": ignore packet, length too small",
                         ": invalid packet length (2 similar lines left out)"}));
}

TEST_F(SlcTest, RefusedSendKeepsTheMsuAndTheFisuSequence) {
  align();
  wire->a().refuse = 1;
  a.send(numbered(7));
  EXPECT_EQ(a.slc->tb_count(), 1u);
  // A FISU sent meanwhile (the acknowledgement of B's MSU) names no MSU of A's.
  b.send(numbered(8));
  pump();
  ASSERT_EQ(b.received.size(), 0u);
  a.slc->on_hdlc_ready();
  pump();
  ASSERT_EQ(b.received, Units{numbered(7)});
  // Refused again while later MSUs queue behind it: it goes out first, each MSU once.
  wire->a().refuse = 2;
  for (unsigned n = 10; n < 13; ++n) a.send(numbered(n));
  pump();
  EXPECT_EQ(b.received, (Units{numbered(7), numbered(10), numbered(11), numbered(12)}));
  EXPECT_EQ(b.slc->statistics().nacks_sent, 0u);
  EXPECT_EQ(b.state(), SLC::State::worked);
}

TEST_F(SlcTest, SentUnitsCountTheirOctetsWhateverTheMsusBuffer) {
  align();
  struct Case {
    const char* what;
    unsigned head;  // head room of the owner's buffer
    bool kept;      // the owner keeps a handle on it
    bool refused;   // the channel refuses it once
  } cases[] = {{"head room", 3, false, false},
               {"no head room", 0, false, false},
               {"kept by the owner", 3, true, false},
               {"refused, then sent", 3, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SLC::Statistics a_before = a.slc->statistics(), b_before = b.slc->statistics();
    const std::string msu = numbered(1, 6);
    Packet p = packet_of(msu, c.head);
    const Packet kept = c.kept ? p : Packet();
    wire->a().refuse = c.refused ? 1 : 0;
    a.slc->message(p);
    EXPECT_EQ(a.slc->statistics().su_sent, a_before.su_sent + (c.refused ? 0 : 1));
    if (c.kept) {
      EXPECT_EQ(unhex(kept.text()), msu);  // the header went into a copy
    }
    if (c.refused) a.slc->on_hdlc_ready();
    pump();
    EXPECT_EQ(a.slc->statistics().su_sent, a_before.su_sent + 1);
    EXPECT_EQ(a.slc->statistics().octets_sent, a_before.octets_sent + msu.size() + 3);
    // B's acknowledgement: one FISU of three octets.
    EXPECT_EQ(b.slc->statistics().su_sent, b_before.su_sent + 1);
    EXPECT_EQ(b.slc->statistics().octets_sent, b_before.octets_sent + 3);
  }
  EXPECT_EQ(b.received, Units(4, numbered(1, 6)));
  EXPECT_EQ(a.slc->rtb_fill(), 0u);
}

// The sending paths' exception handling: with every buffer taken, neither a FISU nor an MSU that
// needs a fresh buffer for its header throws or reaches the wire, the first leaves a line (the
// second, within the same second, is left out), and the MSU waits in the TB with its FSN unused
// until buffers are back.
TEST_F(SlcTest, EmptyPoolSendsNothingAndKeepsTheMsu) {
  align();
  const SLC::Statistics before = a.slc->statistics();
  Packet msu = packet_of(numbered(9, 6), 0);  // no head room for the header
  std::vector<Packet> held;
  {
    LogCapture logs;
    try {
      for (;;) held.push_back(packet_of("", 0));
    } catch (const std::bad_alloc&) {
    }
    a.slc->on_hdlc_ready();  // the TB is empty: a FISU
    a.slc->message(msu);
    const Lines lines = logs.err.take_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("): no packet buffer, signal unit not sent"), std::string::npos);
  }
  EXPECT_EQ(a.slc->statistics().su_sent, before.su_sent);
  EXPECT_EQ(a.slc->tb_count(), 1u);
  EXPECT_TRUE(wire->idle());
  held.clear();
  a.slc->on_hdlc_ready();
  pump();
  EXPECT_EQ(b.received, Units{numbered(9, 6)});
  EXPECT_EQ(b.slc->statistics().nacks_sent, 0u);
  EXPECT_EQ(a.slc->statistics().su_sent, before.su_sent + 1);
  EXPECT_EQ(a.slc->statistics().octets_sent, before.octets_sent + 6 + 3);
  EXPECT_EQ(a.slc->rtb_fill(), 0u);
}

TEST_F(SlcTest, TimersAndFailuresEndInIdle) {
  auto receive = [&](const char* hex) {
    Packet p = hex_frame(hex);
    a.slc->on_hdlc_receive(p);
  };
  using S = SLC::State;
  struct Case {
    const char* what;
    bool aligned;
    std::function<void()> start;
    S::type waiting;
    unsigned ms;  // 0: at once
  } cases[] = {
      {"T2: no answer while not aligned", false, [&] { a.slc->activate(); }, S::not_aligned, 7000},
      {"T3: no SIN while aligned", false, [&] { receive("FF FF 01 00"); }, S::aligned, 1500},
      {"T1: nothing after proving", false, [&] { receive("FF FF 01 01"); advance(8200); },
       S::aligned_ready, 45000},
      {"T7: no acknowledgement", true, [&] { a.send(numbered(1)); }, S::worked, 12000},
      {"trunk down", true, [&] { a.slc->OnTrunkHardStatus(false); }, S::worked, 0},
      {"channel failed", true,
       [&] { a.slc->on_hdlc_error(HDLC::Notify::Cause::read_error); }, S::worked, 0},
      {"LSSU while worked", true, [&] { receive("FF FF 01 00"); }, S::worked, 0},
      {"LSSU of two status octets while worked", true, [&] { receive("FF FF 02 00 00"); },
       S::worked, 0},
      {"trunk down after deactivate and activate", true,
       [&] {
         a.slc->deactivate();
         a.slc->activate();
         a.slc->OnTrunkHardStatus(false);
       },
       S::not_aligned, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    if (c.aligned) align();
    wire->rule = [](HdlcWire::Side, const Packet&) { return HdlcWire::Fault::kLose; };
    c.start();
    if (c.ms) {
      a.wire->sent.clear();
      EXPECT_EQ(a.state(), c.waiting);
      advance(c.ms - 1);
      EXPECT_EQ(a.state(), c.waiting);
      advance(1);
    }
    EXPECT_EQ(a.state(), SLC::State::idle);
    ASSERT_FALSE(a.downs.empty());
    EXPECT_EQ(a.downs.back(), "impossible phasing");
    // Idle sends SIOS.
    ASSERT_FALSE(a.wire->sent.empty());
    EXPECT_EQ(a.wire->sent.back(), unhex("FF FF 01 03"));
    // A failure is no deactivation: the peer's SIO starts the alignment again.
    receive("FF FF 01 00");
    EXPECT_EQ(a.state(), SLC::State::aligned);
  }
}

// T7 follows the acknowledgements of A's MSUs: it starts afresh on each that frees part of the
// RTB and stops when the RTB empties. Every 5 s A sends an MSU and then gets a FISU that
// acknowledges all but the last `behind` MSUs; then the traffic stops. Every unit on the wire is
// lost.
TEST_F(SlcTest, T7FollowsTheAcknowledgements) {
  constexpr unsigned kPeriod = 5000;
  struct Case {
    const char* what;
    unsigned msus;
    unsigned behind;
    unsigned idle_at;  // ms after the first MSU; 0: the link stays in service
  };
  const Case cases[] = {
      {"each MSU acknowledged: in service past T7 after the traffic", 3, 0, 0},
      {"steady traffic acknowledged one behind: T7 runs from the last progress", 8, 1,
       7 * kPeriod + SLC::T7.ms},
      {"FISUs that acknowledge nothing: T7 runs from the first MSU", 3, 3, SLC::T7.ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    align();
    wire->rule = [](HdlcWire::Side, const Packet&) { return HdlcWire::Fault::kLose; };
    for (unsigned n = 0; n < c.msus; ++n) {
      if (n) step(kPeriod);
      a.send(numbered(n));
      // The BSN names the last MSU acknowledged, 127 before the first.
      const unsigned bsn = n >= c.behind ? n - c.behind : 127;
      Packet fisu = packet_of(std::string{char(0x80 | bsn), '\xFF', '\0'});
      a.slc->on_hdlc_receive(fisu);
      ASSERT_EQ(a.state(), SLC::State::worked);
    }
    const unsigned end = c.idle_at ? c.idle_at : 3 * SLC::T7.ms;
    step(end - 1 - (c.msus - 1) * kPeriod);
    EXPECT_EQ(a.state(), SLC::State::worked);
    step(1);
    EXPECT_EQ(a.state(), c.idle_at ? SLC::State::idle : SLC::State::worked);
  }
}

TEST_F(SlcTest, TsharkReadsTheCaptureAsMtp2) {
  TempRoot dir;
  const std::string capture = dir.path() + "/units.txt";
  ASSERT_TRUE(wire->capture(capture, HdlcWire::kLinkMtp2));
  align();
  for (unsigned n = 0; n < 3; ++n) a.send(numbered(n, 20));
  pump();
  // LI of each unit as tshark's MTP2 dissector reads it, and no malformed unit.
  Lines expected;
  for (const std::string& line : wire->trace) {
    const size_t at = line.find('>');  // "0 A>B FF FF 01 00": a delivered unit
    if (at == std::string::npos) continue;
    const Packet unit = hex_frame(line.substr(at + 3));
    expected.push_back(std::to_string(unit->data[2] & 0x3F) + "\t");
  }
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(tshark_read(capture, HdlcWire::kLinkMtp2, "-T fields -e mtp2.li -e _ws.malformed"),
            expected);
}

// A link that its owner deactivated stays out of service when the peer starts aligning; the
// owner's activate brings it back.
TEST_F(SlcTest, DeactivatedLinkIgnoresThePeersAlignment) {
  align();
  a.slc->deactivate();
  pump();
  ASSERT_EQ(a.state(), SLC::State::idle);
  const int ups = a.ups;
  b.slc->activate();
  pump();
  step(8200);
  EXPECT_EQ(a.state(), SLC::State::idle);
  EXPECT_EQ(a.ups, ups);
  step(7000);  // B's T2
  EXPECT_EQ(b.state(), SLC::State::idle);
  a.slc->activate();
  pump();
  step(8200);
  EXPECT_EQ(a.state(), SLC::State::worked);
  EXPECT_EQ(b.state(), SLC::State::worked);
  EXPECT_EQ(a.ups, ups + 1);
}

// Units made up for B, in service with nothing sent either way (FSNs and BSNs 127, both
// indicator bits 1), and what B does with them; B's own units are lost.
TEST_F(SlcTest, ErrorCorrectionOnReceivedUnits) {
  struct Case {
    const char* what;
    std::vector<const char*> units;
    SLC::State::type state;
    unsigned nacks;
    std::vector<std::string> sent;  // B's units, "" when not checked
  };
  const Case cases[] = {
      {"one BSN out of range is ignored", {"85 FF 00"}, SLC::State::worked, 0, {""}},
      {"a second in a row takes the link down", {"85 FF 00", "85 FF 00"}, SLC::State::idle, 0,
       {""}},
      {"a valid BSN between them clears the first", {"85 FF 00", "FF FF 00", "85 FF 00"},
       SLC::State::worked, 0, {""}},
      {"a FISU with a new FSN: one NACK, and the old FIB after it only moves BSNs",
       {"FF 80 00", "FF 80 00", "FF FF 00"}, SLC::State::worked, 1, {unhex("7F FF 00")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh();
    align();
    wire->rule = [](HdlcWire::Side, const Packet&) { return HdlcWire::Fault::kLose; };
    b.wire->sent.clear();
    for (const char* u : c.units) {
      Packet p = hex_frame(u);
      b.slc->on_hdlc_receive(p);
    }
    EXPECT_EQ(b.state(), c.state);
    EXPECT_EQ(b.slc->statistics().nacks_sent, c.nacks);
    if (c.sent.front().empty()) continue;
    EXPECT_EQ(b.wire->sent, c.sent);
  }
}

}  // namespace
