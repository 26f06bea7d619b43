// LAPD multiple-frame operation, one test per procedure, two links back to back on the test
// clock: A is the user side, B the network side.
#include "l2/isdn/lapd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <numeric>

#include "tests/l2/lapd_fixture.h"
#include "tests/support/stream_capture.h"

namespace {

using ISDN::LAPD;

// Frames B would see from A: a user-side command has C/R 0; to A, a network response has C/R 0.
HdlcWire::Fault lose_all(HdlcWire::Side, const Packet&) { return HdlcWire::Fault::kLose; }

int count_sent(const HdlcWire::End& end, const std::string& kind) {
  int n = 0;
  for (const std::string& f : end.sent) n += describe_frame(f).rfind(kind, 0) == 0;
  return n;
}

// The lines of links started afresh among those written so far; all of them are forgotten.
Lines restart_lines(StreamCapture& log) {
  Lines out;
  for (const std::string& line : log.take_lines())
    if (line.find("link started afresh") != std::string::npos) out.push_back(line);
  return out;
}

// The owner's hook that destroys its link on `event`, as an owner may from its callbacks.
void destroy_link_on(Layer3& owner, HdlcWire::End& end, const std::string& event) {
  owner.hook = [&owner, &end, event](const std::string& e) {
    if (e != event) return;
    end.notify = nullptr;
    delete owner.lapd;
    owner.lapd = nullptr;
  };
}

TEST_F(LapdTest, EstablishmentReleaseAndCollision) {
  a->lapd->activate();
  settle();
  send_numbered(*a, 1);
  send_numbered(*b, 1);
  settle();
  a->lapd->deactivate();
  settle();
  EXPECT_EQ(a->lapd->full_state().state, 3u);
  EXPECT_EQ(b->lapd->full_state().state, 3u);
  wire->note("-- SABMEs from both sides");
  a->lapd->activate();
  b->lapd->activate();
  settle();
  ORVEX_EXPECT_GOLDEN("establish_release", wire->trace);
}

TEST_F(LapdTest, DmResponseEndsEstablishmentAtOnce) {
  wire->rule = lose_all;
  a->lapd->activate();
  settle();
  wire->inject(HdlcWire::kA, hex_frame("00 01 0F"));  // DM F = 0: no answer to the SABME, ignored
  settle();
  EXPECT_EQ(a->lapd->full_state().state, 4u);
  wire->inject(HdlcWire::kA, hex_frame("00 01 1F"));
  settle();
  EXPECT_EQ(a->lapd->full_state().state, 3u);
  EXPECT_EQ(last_of(events), "A: down error (DM received)");
  EXPECT_FALSE(a->lapd->full_state().t200_running);
}

TEST_F(LapdTest, TransferBothWaysKeepsOrder) {
  establish();
  for (int i = 0; i < 40; ++i) {
    send_numbered(*a, 1, i);
    send_numbered(*b, 1, 100 + i);
    if (i % 3 == 0) settle();
  }
  settle();
  std::vector<int> from_a, from_b;
  for (int i = 0; i < 40; ++i) {
    from_a.push_back(i);
    from_b.push_back(100 + i);
  }
  EXPECT_EQ(numbers(*b), from_a);
  EXPECT_EQ(numbers(*a), from_b);
  EXPECT_EQ(a->lapd->stats().rx_messages, 40u);
  EXPECT_EQ(a->lapd->ack_queue_count() + b->lapd->ack_queue_count(), 0u);
}

// I frames that the channel refuses wait at the head of the I queue: each goes out later once,
// with one header and a fresh N(S), ahead of the messages queued after it; also on the traced
// path, which holds a second handle on the frame.
TEST_F(LapdTest, RefusedIFramesGoLaterOnceAndInOrder) {
  struct Case {
    const char* what;
    unsigned log;
    unsigned refused;  // the first writes that the channel refuses, one per message at most
    int messages;
  };
  const Case cases[] = {
      {"refused once, sent when the channel is ready", 0, 1, 1},
      {"refused twice while later messages queue behind it", 0, 2, 3},
      {"refused twice with the trace on", 3, 2, 3},
  };
  StreamCapture log(std::clog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    relink();
    establish();
    a->lapd->log = c.log;
    wire->a().refuse = c.refused;
    for (int i = 0; i < c.messages; ++i) {
      // Room for more than one header, which would then show in what B receives.
      Packet p = packet_of(numbered(i), 16);
      a->lapd->message(p);
    }
    a->lapd->on_hdlc_ready();
    settle();
    std::vector<int> sent(c.messages);
    std::iota(sent.begin(), sent.end(), 0);
    EXPECT_EQ(numbers(*b), sent);
    EXPECT_EQ(b->lapd->stats().rejected, 0u);
    EXPECT_EQ(a->lapd->out_queue_count() + a->lapd->ack_queue_count(), 0u);
  }
}

TEST_F(LapdTest, WindowOfSevenThenTimerRecovery) {
  establish();
  wire->rule = [](HdlcWire::Side from, const Packet&) {
    return from == HdlcWire::kA ? HdlcWire::Fault::kNone : HdlcWire::Fault::kLose;
  };
  send_numbered(*a, 8);
  settle();
  EXPECT_EQ(count_sent(wire->a(), "I "), 7);
  EXPECT_EQ(a->lapd->out_queue_count(), 1u);
  EXPECT_EQ(a->lapd->ack_queue_count(), 7u);
  wire->rule = nullptr;
  step(1000);
  ORVEX_EXPECT_GOLDEN("window_recovery", wire->trace);
  EXPECT_EQ(numbers(*b), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(a->lapd->full_state().state, 6u);
}

TEST_F(LapdTest, RejectResendsFromNr) {
  establish();
  int i_frames = 0;
  wire->rule = [&](HdlcWire::Side from, const Packet& f) {
    return from == HdlcWire::kA && describe_frame(f).rfind("I ", 0) == 0 && ++i_frames == 2
               ? HdlcWire::Fault::kLose
               : HdlcWire::Fault::kNone;
  };
  send_numbered(*a, 5);
  settle();
  ORVEX_EXPECT_GOLDEN("reject", wire->trace);
  EXPECT_EQ(numbers(*b), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(b->lapd->stats().rejected, 3u);
  EXPECT_EQ(a->lapd->stats().retrains, 4u);
}

TEST_F(LapdTest, SecondOutOfSequenceFrameWithPollGetsRr) {
  establish();
  wire->inject(HdlcWire::kB, hex_frame("00 01 0A 00 08"));  // N(S) 5, P 0
  wire->inject(HdlcWire::kB, hex_frame("00 01 0C 01 08"));  // N(S) 6, P 1
  settle();
  EXPECT_EQ(count_sent(wire->b(), "REJ nr=0 pf=0"), 1);
  EXPECT_EQ(count_sent(wire->b(), "RR nr=0 pf=1"), 1);
  EXPECT_TRUE(b->received.empty());
}

TEST_F(LapdTest, RetransmissionExhaustionReestablishesThenGivesUp) {
  establish();
  wire->rule = lose_all;
  send_numbered(*a, 1);
  settle();
  for (int i = 0; i < 8; ++i) step(1000);
  ORVEX_EXPECT_GOLDEN("retransmission_exhaustion", wire->trace);
  EXPECT_EQ(a->lapd->full_state().state, 3u);
  EXPECT_EQ(a->lapd->stats().t200, 8u);
}

TEST_F(LapdTest, UnansweredDiscGivesUpAfterN200) {
  establish();
  wire->rule = lose_all;
  a->lapd->deactivate();
  for (int i = 0; i < 4; ++i) step(1000);
  EXPECT_EQ(count_sent(wire->a(), "DISC pf=1"), 4);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
            (std::vector<std::string>{"A: status Unsuccessful retransmission (N200 times) - DISC",
                                      "A: down link error (T200 expired N200 times)"}));
  EXPECT_EQ(a->lapd->full_state().state, 3u);
}

TEST_F(LapdTest, IdleLinkPollsOnT203) {
  establish();
  step(10000);
  ORVEX_EXPECT_GOLDEN("idle_t203", wire->trace);
  EXPECT_EQ(a->lapd->full_state().state, 6u);
  EXPECT_EQ(b->lapd->full_state().state, 6u);
}

// Acknowledgements re-arm the timer: T203 runs from one that covers every outstanding I frame,
// T200 afresh from one that covers part of them. A sends two messages that B never sees; 500 ms
// later the acknowledgement comes, and A's poll is due `due` ms after it.
TEST_F(LapdTest, AcknowledgementsRearmTheTimers) {
  struct Case {
    const char* what;
    const char* ack;
    unsigned due;
  };
  const Case cases[] = {
      {"RR acknowledging both: T203", "00 01 01 04", LAPD::t203_ms},
      {"RR acknowledging one: T200 again", "00 01 01 02", LAPD::t200_ms},
      {"I frame acknowledging both: T203", "02 01 00 04 08 01", LAPD::t203_ms},
      {"I frame acknowledging one: T200 again", "02 01 00 02 08 01", LAPD::t200_ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    relink();
    establish();
    wire->rule = lose_all;
    send_numbered(*a, 2);
    step(500);
    wire->inject(HdlcWire::kA, hex_frame(c.ack));
    settle();
    step(c.due - 1);
    EXPECT_EQ(a->lapd->full_state().state, 6u);
    step(1);
    EXPECT_EQ(a->lapd->full_state().state, 7u);
    const LAPD::Stats& stats = a->lapd->stats();
    EXPECT_EQ(stats.t200 + stats.t203, 1u);
    EXPECT_EQ(stats.t203, c.due == LAPD::t203_ms ? 1u : 0u);
  }
}

TEST_F(LapdTest, FlowStatusBusyAndReadyAndOverflow) {
  StreamCapture log(std::clog);
  send_numbered(*a, 129);
  EXPECT_EQ(events, (std::vector<std::string>{"A: flow busy"}));
  EXPECT_EQ(a->lapd->stats().out_overflows, 1u);
  EXPECT_EQ(log.take_lines(), (Lines{"LAPD[0] : discard outgoing message: buffer overflow"}));
  // Messages queued before the link came up leave as soon as it is up.
  a->lapd->activate();
  settle();
  int ready = 0;
  for (const std::string& e : events) ready += e == "A: flow ready";
  EXPECT_EQ(ready, 1);
  EXPECT_EQ(numbers(*b).size(), 128u);
  ASSERT_FALSE(numbers(*b).empty());
  EXPECT_EQ(numbers(*b).back(), 127);
}

TEST_F(LapdTest, MalformedFramesAreDropped) {
  establish();
  const char* frames[] = {
      "00",       "00 01",       "00 01 00",  // I frame without N(R)
      "00 01 01", "01 01 7F",                 // S frame without N(R), EA 1 in octet 1
      "00 00 7F", "00 01 0D 00",              // EA 0 in octet 2, S type 3
      "00 01 AF",                             // XID
  };
  for (const char* f : frames) wire->inject(HdlcWire::kB, hex_frame(f));
  settle();
  EXPECT_TRUE(events.empty()) << trace();
  EXPECT_TRUE(wire->b().sent.empty());
  EXPECT_EQ(b->lapd->full_state().state, 6u);
}

TEST_F(LapdTest, UnsolicitedUaIsReportedWithoutResettingSequence) {
  establish();
  send_numbered(*a, 2);
  settle();
  events.clear();
  wire->inject(HdlcWire::kA, hex_frame("00 01 63"));
  wire->inject(HdlcWire::kA, hex_frame("00 01 73"));
  settle();
  EXPECT_EQ(events, (std::vector<std::string>{"A: status UA (F = 0)", "A: status UA (F = 1)"}));
  EXPECT_EQ(unsigned(a->lapd->full_state().vs), 2u);
  EXPECT_EQ(unsigned(a->lapd->full_state().va), 2u);
  send_numbered(*a, 1, 2);
  settle();
  EXPECT_EQ(numbers(*b), (std::vector<int>{0, 1, 2}));
}

TEST_F(LapdTest, OwnerMayDestroyOrReleaseFromItsCallbacks) {
  destroy_link_on(*b, wire->b(), "B: up");
  a->lapd->activate();
  settle();
  EXPECT_EQ(a->lapd->full_state().state, 6u);

  // A second pair: A releases the link from inside the delivery of a message.
  b = std::make_unique<Layer3>("B", ISDN::Side::network, wire->b(), &events, wire.get());
  a->lapd->deactivate();
  settle();
  a->lapd->activate();
  settle();
  a->hook = [&](const std::string& e) {
    if (e.rfind("A: rx", 0) == 0) a->lapd->deactivate();
  };
  send_numbered(*b, 2);
  settle();
  EXPECT_EQ(numbers(*a), (std::vector<int>{0}));
  EXPECT_EQ(a->lapd->full_state().state, 3u);
  EXPECT_EQ(b->lapd->full_state().state, 3u);
}

// The flow turns ready in the queue work at the end of a received frame: the owner may destroy
// the link there, and the link then touches nothing of itself.
TEST_F(LapdTest, OwnerMayDestroyTheLinkWhenItsFlowTurnsReady) {
  send_numbered(*a, 100);
  ASSERT_EQ(events, (std::vector<std::string>{"A: flow busy"}));
  destroy_link_on(*a, wire->a(), "A: flow ready");
  a->lapd->activate();
  settle();
  EXPECT_EQ(a->lapd, nullptr);
  EXPECT_EQ(std::count(events.begin(), events.end(), "A: flow ready"), 1);
}

TEST_F(LapdTest, TimerStartedOverAnotherKeepsRunning) {
  wire->rule = lose_all;
  a->lapd->activate();
  a->lapd->deactivate();  // state 3, T200 left running after the DISC
  settle();
  wire->trace.clear();
  wire->inject(HdlcWire::kA, hex_frame("02 01 7F"));  // SABME P 1 from the network
  settle();
  EXPECT_EQ(wire->trace, (Lines{"0 *>A SABME pf=1 cr=1 tei=0",
                                "0 A: status trying to start T203 while T200 running", "0 A: up",
                                "0 A>B lost UA pf=1 cr=1 tei=0"}));
  // T200 no longer counts as running: the next I frame starts it, and its loss is noticed.
  EXPECT_FALSE(a->lapd->full_state().t200_running);
  send_numbered(*a, 1);
  step(1000);
  EXPECT_EQ(count_sent(wire->a(), "RR nr=0 pf=1 cr=0"), 1) << trace();
}

TEST_F(LapdTest, HdlcErrorTakesTheLinkDownAtOnce) {
  establish();
  wire->rule = lose_all;
  send_numbered(*a, 9);
  settle();
  a->lapd->on_hdlc_error(HDLC::Notify::Cause::read_error);
  EXPECT_EQ(last_of(events), "A: down link error (HDLC error)");
  EXPECT_EQ(a->lapd->full_state().state, 3u);
  EXPECT_EQ(a->lapd->out_queue_count() + a->lapd->ack_queue_count(), 0u);
  const size_t sent = wire->a().sent.size();
  step(20000);
  EXPECT_EQ(wire->a().sent.size(), sent);
}

TEST_F(LapdTest, EmptyPoolRefusesFramesWithoutThrowing) {
  establish();
  std::vector<Packet> hoard;
  try {
    for (;;) {
      Packet p;
      p.reserve_head(0);
      hoard.push_back(p);
    }
  } catch (const std::bad_alloc&) {
  }
  StreamCapture log(std::clog);
  step(10000);  // T203 on both sides: the enquiries find no buffer
  EXPECT_EQ(a->lapd->full_state().state, 7u);
  EXPECT_TRUE(wire->a().sent.empty());
  hoard.clear();
  step(1000);  // T200: the enquiries go out
  EXPECT_EQ(a->lapd->full_state().state, 6u);
  EXPECT_EQ(b->lapd->full_state().state, 6u);
}

TEST_F(LapdTest, TracesAtLogLevelFour) {
  a->lapd->log = 4;
  a->lapd->trunk = 2;
  StreamCapture log(std::clog);
  a->lapd->activate();
  settle();
  a->send(unhex("08 01 01 05 A1"));
  settle();
  ORVEX_EXPECT_GOLDEN("log_level4", log.take_lines());
}

// Frames from the network side (B) injected into an established user side (A) that hears nothing
// back: in "Multiple frame established" with nothing outstanding or with two I frames lost, or
// in "Timer recovery" with two I frames lost (and a third message handed over there). What A
// sends, reports and keeps, and how many unacknowledged messages its restart line discards.
// Last, B for real: it took three I frames and its frames were lost until A started the link
// afresh; each message reaches B once.
TEST_F(LapdTest, FramesInEstablishedAndTimerRecoveryStates) {
  enum Before { kIdle, kOutstanding, kRecovery, kRecoveryQueued, kRestarting };
  struct Case {
    const char* what;
    Before before;
    std::vector<const char*> frames;
    unsigned state;
    std::vector<std::string> events;
    std::vector<std::string> sent;
    const char* vs_va_vr;
    unsigned discarded;
    std::vector<int> at_b;
  };
  const Case cases[] = {
      {"RR with N(R) beyond V(S)", kIdle, {"00 01 01 0A"}, 4,
       {"A: status Other - N(R) error"}, {"SABME pf=1 cr=0 tei=0"}, "0 0 0", 0, {}},
      {"I frame with N(R) beyond V(S): taken, then re-establishment", kIdle,
       {"02 01 00 0A 08 01"}, 4, {"A: status Other - N(R) error", "A: rx 2 octets"},
       {"SABME pf=1 cr=0 tei=0"}, "0 0 1", 0, {}},
      {"RR with N(R) below V(A) in timer recovery", kRecovery, {"00 01 01 07"}, 4,
       {"A: status Other - N(R) error"}, {"SABME pf=1 cr=0 tei=0"}, "2 0 0", 0, {}},
      {"DM F = 0", kIdle, {"00 01 0F"}, 4, {"A: status Receipt of DM response (F = 0)"},
       {"SABME pf=1 cr=0 tei=0"}, "0 0 0", 0, {}},
      {"DM F = 1 is only reported", kIdle, {"00 01 1F"}, 6, {"A: status DM (F = 1)"}, {},
       "0 0 0", 0, {}},
      {"FRMR", kIdle, {"00 01 87 00 00 00 00 00"}, 4,
       {"A: status Other - Receipt of FRMR response"}, {"SABME pf=1 cr=0 tei=0"}, "0 0 0", 0, {}},
      {"timer recovery: RR F = 0 moves V(A) only", kRecovery, {"00 01 01 02"}, 7, {}, {}, "2 1 0",
       0, {}},
      {"timer recovery: REJ command P = 0 moves V(A) only", kRecovery, {"02 01 09 02"}, 7, {}, {},
       "2 1 0", 0, {}},
      {"timer recovery: RR F = 1 resends the lost I frames", kRecovery, {"00 01 01 01"}, 6, {},
       {"I ns=0 nr=0 p=0 cr=0 tei=0 + 08 01 00 00", "I ns=1 nr=0 p=0 cr=0 tei=0 + 08 01 01 00"},
       "2 0 0", 0, {}},
      {"SABME resets the counters", kIdle, {"02 01 00 00 08 01", "02 01 7F"}, 6,
       {"A: rx 2 octets", "A: status Peer initiated re-establishment - SABME"},
       {"RR nr=1 pf=0 cr=1 tei=0", "UA pf=1 cr=1 tei=0"}, "0 0 0", 0, {}},
      {"SABME in timer recovery: the sent I frames are discarded, the one never sent goes after "
       "the UA",
       kRecoveryQueued, {"02 01 7F"}, 6,
       {"A: status Peer initiated re-establishment - SABME"},
       {"UA pf=1 cr=1 tei=0", "I ns=0 nr=0 p=0 cr=0 tei=0 + 08 01 02 00"}, "1 0 0", 2, {}},
      {"SABME crossing two I frames: discarded, the peer may have them", kOutstanding,
       {"02 01 7F"}, 6, {"A: status Peer initiated re-establishment - SABME"},
       {"UA pf=1 cr=1 tei=0"}, "0 0 0", 2, {}},
      {"SABME while the peer is busy: the frames moved back to go again are discarded too",
       kRecoveryQueued, {"00 01 05 01", "02 01 7F"}, 6,
       {"A: status Peer initiated re-establishment - SABME"},
       {"UA pf=1 cr=1 tei=0", "I ns=0 nr=0 p=0 cr=0 tei=0 + 08 01 02 00"}, "1 0 0", 2, {}},
      {"three I frames taken, the taker's frames lost for N200 x T200, the link started afresh: "
       "each message up once, those handed over meanwhile after the UA",
       kRestarting, {}, 6,
       {"B: status Peer initiated re-establishment - SABME", "B: rx 4 octets", "B: rx 4 octets"},
       {"SABME pf=1 cr=0 tei=0", "I ns=0 nr=0 p=0 cr=0 tei=0 + 08 01 03 00",
        "I ns=1 nr=0 p=0 cr=0 tei=0 + 08 01 04 00"},
       "2 2 0", 3, {0, 1, 2, 3, 4}},
      {"REJ with N(R) ahead of V(A): acknowledges the first, resends the second", kOutstanding,
       {"00 01 09 02"}, 6, {}, {"I ns=1 nr=0 p=0 cr=0 tei=0 + 08 01 01 00"}, "2 1 0", 0, {}},
      {"timer recovery: REJ F = 1 ahead of V(A) resends from N(R)", kRecovery, {"00 01 09 03"}, 6,
       {}, {"I ns=1 nr=0 p=0 cr=0 tei=0 + 08 01 01 00"}, "2 1 0", 0, {}},
  };
  StreamCapture log(std::clog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    relink();
    establish();
    wire->rule = lose_all;
    if (c.before == kRestarting) {
      wire->rule = [](HdlcWire::Side from, const Packet&) {
        return from == HdlcWire::kB ? HdlcWire::Fault::kLose : HdlcWire::Fault::kNone;
      };
      send_numbered(*a, 3);
      settle();
      ASSERT_EQ(numbers(*b), (std::vector<int>{0, 1, 2}));
      for (unsigned t200 = 0; t200 <= LAPD::n200; ++t200) step(LAPD::t200_ms);
      ASSERT_EQ(a->lapd->full_state().state, 4u);
      send_numbered(*a, 2, 3);
      wire->rule = nullptr;
    } else if (c.before != kIdle) {
      send_numbered(*a, 2);
      settle();
      if (c.before != kOutstanding) step(1000);
      if (c.before == kRecoveryQueued) send_numbered(*a, 1, 2);
      ASSERT_EQ(a->lapd->full_state().state, c.before == kOutstanding ? 6u : 7u);
    }
    events.clear();
    log.take();
    wire->a().sent.clear();
    for (const char* f : c.frames) wire->inject(HdlcWire::kA, hex_frame(f));
    settle();
    if (c.before == kRestarting) step(LAPD::t200_ms);
    const ISDN::LAPDFullState& st = a->lapd->full_state();
    EXPECT_EQ(st.state, c.state);
    EXPECT_EQ(events, c.events);
    std::vector<std::string> sent;
    for (const std::string& f : wire->a().sent) sent.push_back(describe_frame(f));
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(std::to_string(unsigned(st.vs)) + " " + std::to_string(unsigned(st.va)) + " " +
                  std::to_string(unsigned(st.vr)),
              c.vs_va_vr);
    EXPECT_EQ(numbers(*b), c.at_b);
    EXPECT_EQ(restart_lines(log), c.discarded ? Lines{"LAPD[0] : link started afresh, "
                                                      "unacknowledged messages discarded: " +
                                                      std::to_string(c.discarded)}
                                              : Lines{});
    events.clear();
  }
}

// The peer starts the link afresh again and again, each time with messages sent and not
// acknowledged: one line a second at most, and the next one written (or the one written when the
// link is destroyed) counts the messages of the lines left out, so that every discarded message
// is in the log.
TEST_F(LapdTest, RestartLinesCountEveryDiscardedMessage) {
  struct Case {
    const char* what;
    std::vector<unsigned> discarded;  // at each restart, 100 ms apart
    unsigned pause_before_last;       // ms
    Lines lines;
    Lines at_end;
  };
  const std::string line = "LAPD[0] : link started afresh, unacknowledged messages discarded: ";
  const Case cases[] = {
      {"one restart", {2}, 0, {line + "2"}, {}},
      {"three in a second", {2, 3, 1}, 0, {line + "2"}, {line + "4 (1 similar lines left out)"}},
      {"two in a second, then one after it", {2, 3, 4}, 1000,
       {line + "2", line + "7 (1 similar lines left out)"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    relink();
    establish();
    wire->rule = lose_all;
    StreamCapture log(std::clog);
    for (size_t i = 0; i < c.discarded.size(); ++i) {
      step(i + 1 == c.discarded.size() && c.pause_before_last ? c.pause_before_last : 100);
      send_numbered(*a, int(c.discarded[i]));
      settle();
      wire->inject(HdlcWire::kA, hex_frame("02 01 7F"));  // SABME
      settle();
    }
    EXPECT_EQ(restart_lines(log), c.lines);
    a.reset();
    EXPECT_EQ(restart_lines(log), c.at_end);
  }
}

// RNR makes the peer busy: messages wait until an RR clears it.
TEST_F(LapdTest, RnrHoldsIFramesUntilRr) {
  establish();
  wire->inject(HdlcWire::kA, hex_frame("02 01 05 00"));  // RNR command, N(R) 0
  settle();
  EXPECT_TRUE(a->lapd->full_state().peer_busy);
  send_numbered(*a, 2);
  settle();
  EXPECT_EQ(count_sent(wire->a(), "I "), 0);
  EXPECT_EQ(a->lapd->out_queue_count(), 2u);
  wire->inject(HdlcWire::kA, hex_frame("02 01 01 00"));  // RR command, N(R) 0
  settle();
  EXPECT_FALSE(a->lapd->full_state().peer_busy);
  EXPECT_EQ(count_sent(wire->a(), "I "), 2);
  EXPECT_EQ(numbers(*b), (std::vector<int>{0, 1}));
}

// Frames for another SAPI, and frames other than UI to the group TEI, are logged and change
// nothing; a UI frame to the group TEI still reaches layer 3 on a basic-rate link.
TEST_F(LapdTest, FramesByAddressAreDroppedOrTaken) {
  struct Case {
    const char* what;
    const char* frame;
    bool dropped;
  };
  const Case cases[] = {
      {"I frame on SAPI 63 with a bad N(R)", "FE 01 00 0A 08 01", true},
      {"SABME on SAPI 1", "06 01 7F", true},
      {"RR on SAPI 16", "42 01 01 00", true},
      {"DISC to the group TEI", "02 FF 53", true},
      {"DM to the group TEI", "00 FF 1F", true},
      {"RR to the group TEI", "02 FF 01 00", true},
      {"UI on SAPI 5 to the group TEI", "16 FF 03 08 01 01 05", true},
      {"UI on SAPI 63 to TEI 0", "FE 01 03 0F 00 00 04 FF", true},
      {"UI SETUP to the group TEI", "02 FF 03 08 01 01 05", false},
  };
  a->lapd->change_to_bri();
  establish();
  StreamCapture log(std::clog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    events.clear();
    wire->a().sent.clear();
    wire->inject(HdlcWire::kA, hex_frame(c.frame));
    settle();
    EXPECT_EQ(a->lapd->full_state().state, 6u);
    EXPECT_TRUE(wire->a().sent.empty());
    EXPECT_EQ(events, c.dropped ? std::vector<std::string>{}
                                : std::vector<std::string>{"A: rx 4 octets"});
  }
  // One line for the first; the rest within the second are left out.
  EXPECT_EQ(log.take_lines(), (Lines{"LAPD[0] : frame dropped: SAPI 63, TEI 0, control 0x00"}));
  step(1000);
  wire->inject(HdlcWire::kA, hex_frame("06 01 7F"));
  settle();
  EXPECT_EQ(log.take_lines(), (Lines{"LAPD[0] : frame dropped: SAPI 1, TEI 0, control 0x7F (7 "
                                     "similar lines left out)"}));
}

// A primary-rate link has one TEI, 0: frames to another are logged like those for another SAPI
// and change nothing, on either side; each is in the log, written or in the count of those left
// out that the link writes when it ends.
TEST_F(LapdTest, PointToPointLinkTakesFramesToItsOwnTeiOnly) {
  struct Case {
    const char* what;
    HdlcWire::Side to;
    const char* frame;
  };
  const Case cases[] = {
      {"DISC to TEI 5 at the user side", HdlcWire::kA, "02 0B 53"},
      {"SABME to TEI 5 at the user side", HdlcWire::kA, "02 0B 7F"},
      {"RR poll to TEI 5 at the user side", HdlcWire::kA, "02 0B 01 01"},
      {"I frame to TEI 5 at the user side", HdlcWire::kA, "02 0B 00 00 08 01"},
      {"DISC to TEI 64 at the network side", HdlcWire::kB, "00 81 53"},
      {"REJ to TEI 126 at the network side", HdlcWire::kB, "00 FD 09 00"},
  };
  establish();
  StreamCapture log(std::clog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wire->inject(c.to, hex_frame(c.frame));
    settle();
    EXPECT_EQ(a->lapd->full_state().state, 6u);
    EXPECT_EQ(b->lapd->full_state().state, 6u);
    EXPECT_TRUE(wire->a().sent.empty());
    EXPECT_TRUE(wire->b().sent.empty());
    EXPECT_TRUE(events.empty()) << trace();
  }
  EXPECT_EQ(log.take_lines(), (Lines{"LAPD[0] : frame dropped: SAPI 0, TEI 5, control 0x53",
                                     "LAPD[0] : frame dropped: SAPI 0, TEI 64, control 0x53"}));
  // The link still carries messages both ways.
  send_numbered(*a, 1);
  send_numbered(*b, 1, 1);
  settle();
  EXPECT_EQ(numbers(*b), (std::vector<int>{0}));
  EXPECT_EQ(numbers(*a), (std::vector<int>{1}));
  relink();
  // Four at A, two at B: the first written, the last standing for the others.
  EXPECT_EQ(log.take_lines(), (Lines{"LAPD[0] : frame dropped (2 similar lines left out)",
                                     "LAPD[0] : frame dropped"}));
}

// Q.921's N201 both ways on the user side: 260 octets go either way; longer ones are refused from
// above, and from the peer are a management error, the link established again with no second "up".
TEST_F(LapdTest, IFramesLongerThanN201AreRefusedBothWays) {
  for (bool bri : {false, true}) {
    for (unsigned length : {260u, 261u, 1000u}) {
      SCOPED_TRACE(std::string(bri ? "basic rate, " : "primary rate, ") + std::to_string(length));
      const bool fits = length <= LAPD::n201;
      relink();
      if (bri) for (Layer3* l : {a.get(), b.get()}) l->lapd->change_to_bri();
      establish();
      const std::string message = "\x08\x01\x05\x7B" + std::string(length - 4, '\x2A');
      const char* refusal = a->lapd->refusal(length);
      EXPECT_EQ(refusal ? std::string(refusal) : "", fits ? "" : "longer than N201 (260 octets)");
      a->send(message);
      settle();
      if (fits)
        b->send(message);
      else  // as B would send it: N(S) 0, N(R) 0
        wire->inject(HdlcWire::kA, packet_of(std::string{'\x02', '\x01', '\0', '\0'} + message));
      settle();
      const std::string rx = " rx " + std::to_string(length) + " octets";
      EXPECT_EQ(events, (fits ? Lines{"B:" + rx, "A:" + rx}
                              : Lines{"A: status Other - N201 error",
                                      "B: status Peer initiated re-establishment - SABME"}));
      EXPECT_EQ(a->lapd->full_state().state, 6u);
    }
  }
}

// A broadcast SETUP while a basic-rate user side establishes its link again after an FRMR: the
// link comes up, but the owner, never told that it went down, hears no second "up".
TEST_F(LapdTest, BroadcastWhileTheLinkIsEstablishedAgainIsNoSecondUp) {
  for (Layer3* l : {a.get(), b.get()}) l->lapd->change_to_bri();
  establish();
  wire->rule = lose_all;
  wire->inject(HdlcWire::kA, hex_frame("00 01 87 00 00 00 00 00"));
  wire->inject(HdlcWire::kA, hex_frame("02 FF 03 08 01 01 05"));
  settle();
  wire->rule = nullptr;
  step(LAPD::t200_ms);
  EXPECT_EQ(events, (Lines{"A: status Other - Receipt of FRMR response", "A: rx 4 octets",
                           "B: status Peer initiated re-establishment - SABME"}));
  EXPECT_EQ(a->lapd->full_state().state, 6u);
}

}  // namespace
