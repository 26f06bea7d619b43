// LAPD multiple-frame operation, one test per procedure, two links back to back on the test
// clock: A is the user side, B the network side.
#include "l2/isdn/lapd.h"

#include <gtest/gtest.h>

#include <new>

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
  EXPECT_EQ(events.back(), "A: down error (DM received)");
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
  b->hook = [&](const std::string& e) {
    if (e == "B: up") {
      wire->b().notify = nullptr;
      delete b->lapd;
      b->lapd = nullptr;
    }
  };
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
  EXPECT_EQ(events.back(), "A: down link error (HDLC error)");
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

}  // namespace
