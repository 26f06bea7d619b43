// The network side of a basic-rate D channel against terminals played frame by frame (the frames
// it sends, as hex, and the messages it passes up), then against user-side LAPDs on an S0 bus.
// Time moves only by the test clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "l2/isdn/lapd_nt.h"
#include "l2/ss7/slc.h"
#include "proto/protocol.h"
#include "tests/l2/l2_support.h"
#include "tests/l2/lapd_fixture.h"
#include "tests/l2/s0_bus.h"
#include "tests/support/golden.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/stream_capture.h"

namespace {

using Frames = std::vector<std::string>;

std::string hex2(unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string{digits[(v >> 4) & 15], digits[v & 15]};
}

// The network side under a stack that writes what it sends and passes up to `log`.
class Exchange : public ProtocolsList {
 public:
  explicit Exchange(Frames& log) : nt(new ISDN::LAPD_NT), log_(log) { add_protocol_head(nt); }
  void transmit(Packet& p) override { log_.push_back("N> " + p.text()); }
  void on_message(Packet& p) override { log_.push_back("up " + p.text()); }
  ISDN::LAPD_NT* nt;

 private:
  Frames& log_;
};

class LapdNtTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    keep_alive_.emplace();
    ex_.reset(new Exchange(log_));
    ex_->nt->activate();
  }
  void TearDown() override {
    ex_.reset();
    bus_.reset();
    keep_alive_.reset();
    LoopTest::TearDown();
  }
  // A frame from a terminal (T>), or a message from above (L3>), into the trace.
  void rx(const std::string& hex) {
    log_.push_back("T> " + hex);
    Packet p = packet_of(unhex(hex), 4);
    ex_->nt->receive(p);
  }
  void down(const std::string& hex) {
    log_.push_back("L3> " + hex);
    Packet p = packet_of(unhex(hex), 4);
    ex_->nt->message(p);
  }
  void note(const std::string& text) { log_.push_back("-- " + text); }
  void step(unsigned ms) {
    note("+" + std::to_string(ms) + " ms");
    advance(ms);
  }
  // A TEI management message from a terminal.
  void tei_message(unsigned type, unsigned ri, unsigned ai) {
    rx("FC FF 03 0F " + hex2(ri) + " 00 " + hex2(type) + " " + hex2(ai << 1 | 1));
  }
  void expect_trace(const std::string& golden) { ORVEX_EXPECT_GOLDEN(golden, log_); }
  // Line `i` of log_ as the octets of an I frame that the network side sent; "" for another line.
  std::string i_frame(size_t i) const {
    const std::string f = log_[i].rfind("N> ", 0) == 0 ? unhex(log_[i].substr(3)) : "";
    return f.size() > 4 && (f[2] & 1) == 0 ? f : "";
  }
  static unsigned tei_of(const std::string& frame) {
    return static_cast<unsigned char>(frame[1]) >> 1;
  }
  // The TEIs of the I frames sent to terminals since log_ held `mark` lines, in order.
  std::vector<unsigned> i_frames_since(size_t mark) const {
    std::vector<unsigned> teis;
    for (size_t i = mark; i < log_.size(); ++i) {
      if (!i_frame(i).empty()) teis.push_back(tei_of(i_frame(i)));
    }
    return teis;
  }
  // Terminals 64 to 64 + count - 1 acknowledge the I frames sent since log_ held `mark` lines
  // until no more come: the last octets of those each got.
  std::map<unsigned, std::vector<unsigned>> acknowledge_all(size_t mark, unsigned count) {
    std::map<unsigned, std::vector<unsigned>> got;
    for (size_t frames = 1; frames;) {
      for (unsigned tei = 64; tei < 64 + count; ++tei)
        rx("02 " + hex2(tei << 1 | 1) + " 01 " + hex2(unsigned(got[tei].size() % 128) << 1));
      for (frames = 0; mark < log_.size(); ++mark) {
        const std::string f = i_frame(mark);
        if (f.empty()) continue;
        got[tei_of(f)].push_back(static_cast<unsigned char>(f.back()));
        ++frames;
      }
    }
    return got;
  }
  // The refusal of the layer-3 message `hex` from above, which is then given all the same.
  const char* offer(const std::string& hex) {
    const std::string m = unhex(hex);
    const char* refusal =
        ex_->nt->refusal(reinterpret_cast<const unsigned char*>(m.data()), unsigned(m.size()));
    Packet p = packet_of(m, 4);
    ex_->nt->message(p);
    return refusal;
  }
  // A layer-3 message from terminal `tei` in an I frame with its next N(S) and N(R) 0.
  void say(unsigned tei, const std::string& message) {
    unsigned& ns = next_ns_[tei];
    rx("00 " + hex2(tei << 1 | 1) + " " + hex2(ns << 1) + " 00 " + message);
    ns = (ns + 1) % 128;
  }

  // Message `i` from above on the terminal's call `call`, by default the one fresh_call sets up.
  static std::string message(unsigned i, unsigned call = 5) {
    return "08 01 " + hex2(0x80 | call) + " 7B 2C 01 " + hex2(i);
  }

  // A fresh network side with one terminal, TEI 64, that has set up call 5.
  void fresh_call() {
    ex_.reset(new Exchange(log_));
    next_ns_.clear();
    ex_->nt->activate();
    tei_message(1, 0, 127);
    say(64, "08 01 05 05");
  }

  // A fresh bus whose terminal i (TEI 64 + i) set up call 1 + i; the first `busy` are busy (RNR).
  void stalled_bus(unsigned busy) {
    ex_.reset(new Exchange(log_));
    next_ns_.clear();
    ex_->nt->activate();
    for (unsigned i = 0; i < ISDN::LAPD_NT::kUsers; ++i) {
      tei_message(1, i, 127);
      say(64 + i, "08 01 " + hex2(1 + i) + " 05");
      if (i < busy) rx("02 " + hex2((64 + i) << 1 | 1) + " 05 00");
    }
  }

  // An S0 bus of `count` terminals, each activated in turn until its link is up or refused.
  void start(unsigned count) {
    bus_.reset(new S0Bus(count));
    bus_->exchange.nt->activate();
    for (auto& t : bus_->terminals) {
      t->lapd->activate();
      for (int i = 0; i < 10; ++i) bus_->pump();
    }
  }

  // The network's call `call` to terminal `t`, answered by it.
  void answered_call(S0Bus::Terminal& t, unsigned char call = 1) {
    bus_->exchange.send({0x08, 0x01, call, 0x05});
    bus_->pump();
    t.send({0x08, 0x01, static_cast<unsigned char>(0x80 | call), 0x07});
    bus_->pump();
  }

  Frames log_;
  std::map<unsigned, unsigned> next_ns_;
  std::unique_ptr<Exchange> ex_;
  std::unique_ptr<S0Bus> bus_;
  std::optional<Keepalive> keep_alive_;
};

TEST_F(LapdNtTest, TeiAssignmentDenialCheckAndRemoval) {
  note("nine requests: TEIs 64 to 71, the ninth denied; Ai 70 denied, Ai 10 ignored");
  for (unsigned i = 0; i < 9; ++i) tei_message(1, i, 127);
  tei_message(1, 9, 70);
  tei_message(1, 9, 10);
  note("a check on a verify request: 64 to 70 answer, 71 does not");
  tei_message(7, 0, 64);
  for (unsigned tei = 64; tei < 71; ++tei) tei_message(5, tei, tei);
  step(ISDN::LAPD_NT_user::check_ms);
  for (unsigned i = 0; i < 8; ++i)
    EXPECT_EQ(ex_->nt->user(i).state() == ISDN::LAPD_NT_user::unassigned, i == 7) << i;
  note("the same Ri again is ignored; another Ri for TEI 64 is a duplicate: removed twice");
  tei_message(5, 64, 64);
  tei_message(5, 99, 64);
  EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
  note("a check response naming the group TEI removes nobody");
  tei_message(5, 1, 127);
  EXPECT_EQ(ex_->nt->user(1).state(), ISDN::LAPD_NT_user::assigned);
  expect_trace("nt_tei");
  // Frames on removed TEIs, more than the removals kept, take no entry until the removals are old.
  tei_message(5, 99, 65);
  for (unsigned i = 0; i < 9; ++i) rx("02 81 01 00");
  rx("02 83 01 00");
  EXPECT_EQ(ex_->nt->find_Tei(65), nullptr);
  step(ISDN::LAPD_NT::kRemovalMs);
  rx("02 83 01 00");
  EXPECT_NE(ex_->nt->find_Tei(65), nullptr);
}

TEST_F(LapdNtTest, SetupBroadcastOnceAndRoutingByCallReference) {
  for (unsigned i = 0; i < 2; ++i) tei_message(1, i, 127);
  note("a SETUP acknowledged and passed up; a short I frame acknowledged only");
  rx("00 83 00 00 08 01 05 05");
  rx("00 81 00 00 08 01");
  note("a SETUP from above, broadcast once; TEI 65's call answered, an unknown call nowhere");
  down("08 01 07 05 04 03");
  down("08 01 85 02");
  down("08 01 86 02");
  expect_trace("nt_setup");
}

TEST_F(LapdNtTest, WindowOfSevenAndRetransmissionFromNr) {
  tei_message(1, 0, 127);
  rx("00 81 00 00 08 01 05 05");
  note("nine messages: seven go out, two wait");
  for (unsigned i = 0; i < 9; ++i) down("08 01 85 " + hex2(0x10 + i));
  EXPECT_EQ(ex_->nt->user(0).queued(), 2u);
  note("the answer to an I frame's poll resends nothing");
  rx("02 81 01 01");
  note("an I frame moves V(R): the frames resent on T200 carry the new N(R)");
  rx("00 81 02 00 08 01 05 07");
  step(ISDN::LAPD_NT_user::t200_ms);
  note("N(R) 3 answers the poll: frames 3 to 6 again, then the two waiting");
  rx("02 81 01 07");
  note("REJ with N(R) 7: frames 7 and 8 again; RR with 9 acknowledges all");
  rx("02 81 09 0E");
  rx("02 81 01 12");
  EXPECT_EQ(ex_->nt->user(0).unacknowledged(), 0u);
  EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::assigned);
  note("an N(R) beyond V(S) ends the terminal's link");
  rx("02 81 01 20");
  EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
  expect_trace("nt_window");
}

TEST_F(LapdNtTest, S0EightTerminalsGetTeis64To71AndTheNinthIsDenied) {
  start(9);
  for (unsigned i = 0; i < 8; ++i) {
    EXPECT_TRUE(bus_->terminals[i]->established()) << i;
    EXPECT_EQ(bus_->terminals[i]->lapd->full_state().self_tei, 64 + i);
  }
  EXPECT_FALSE(bus_->terminals[8]->established());
  EXPECT_LT(bus_->terminals[8]->lapd->full_state().state, 4u);
}

TEST_F(LapdNtTest, S0SetupBroadcastOnceThenRoutingByCallReference) {
  start(3);
  // A SETUP, call reference 1: one UI frame, every terminal gets it.
  bus_->exchange.send({0x08, 0x01, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3});
  EXPECT_EQ(bus_->pump(), 1u);
  for (auto& t : bus_->terminals) EXPECT_EQ(t->received, Frames{"08 01 01 05 04 03 80 90 A3"});
  // Terminal 1 answers; the CONNECT ACKNOWLEDGE that follows reaches terminal 1 only.
  bus_->terminals[1]->send({0x08, 0x01, 0x81, 0x07});
  for (int i = 0; i < 3; ++i) bus_->pump();
  EXPECT_EQ(bus_->exchange.received, Frames{"08 01 81 07"});
  bus_->exchange.send({0x08, 0x01, 0x01, 0x0F});
  for (int i = 0; i < 3; ++i) bus_->pump();
  for (unsigned i = 0; i < 3; ++i)
    EXPECT_EQ(bus_->terminals[i]->received.size(), i == 1 ? 2u : 1u) << i;
  EXPECT_EQ(last_of(bus_->terminals[1]->received), "08 01 01 0F");
}

TEST_F(LapdNtTest, S0ALostIFrameIsSentAgainAfterT200) {
  start(1);
  S0Bus::Terminal& t = *bus_->terminals[0];
  answered_call(t);
  bool lost = false;
  bus_->lose = [&](const S0Bus::Frame& f) {
    if (lost || f.from >= 0 || (f.bytes[2] & 1) != 0) return false;
    return lost = true;  // the first I frame from the network side
  };
  bus_->exchange.send({0x08, 0x01, 0x01, 0x0F});
  bus_->exchange.send({0x08, 0x01, 0x01, 0x7B});
  for (int i = 0; i < 3; ++i) bus_->pump();
  ASSERT_TRUE(lost);
  advance(ISDN::LAPD_NT_user::t200_ms);
  for (int i = 0; i < 5; ++i) bus_->pump();
  EXPECT_EQ(t.received, (Frames{"08 01 01 05", "08 01 01 0F", "08 01 01 7B"}));
  EXPECT_EQ(bus_->exchange.nt->user(0).unacknowledged(), 0u);
  EXPECT_TRUE(t.established());
}

// A terminal's call and the network's call with the same value are two calls; the message type
// follows a call reference of either length; only calls that were set up are kept, until their
// RELEASE COMPLETE either way, the terminal's loss of its TEI or, for the network's calls, its
// next SETUP with their value. Each step: what the terminals (64 and 65) say, what comes from
// above, the TEIs of the I frames sent, the lines written.
TEST_F(LapdNtTest, CallsAreKeyedOnOriginAndValue) {
  tei_message(1, 0, 127);
  tei_message(1, 1, 127);
  struct Said {
    unsigned tei;
    const char* message;
  };
  struct Step {
    const char* what;
    std::vector<Said> said;
    std::vector<const char*> down;
    std::vector<unsigned> teis;
    Lines lines;
    unsigned ms = 0;  // time that passes after what the terminals say
  };
  const std::string dropped = "LAPD(NT BRI):message dropped: ";
  const Step steps[] = {
      {"the network sets up its call 5: broadcast", {}, {"08 01 05 05"}, {}, {}},
      {"64 sets up its call 5, 65 answers the network's: CONNECT ACKNOWLEDGE to 65, ALERTING "
       "to 64",
       {{64, "08 01 05 05"}, {65, "08 01 85 07"}}, {"08 01 05 0F", "08 01 85 01"}, {65, 64}, {}},
      // The first message dropped; those dropped later within the second are left out.
      {"64's RELEASE COMPLETE ends its call only",
       {{64, "08 01 05 5A"}}, {"08 01 05 45", "08 01 85 01"}, {65},
       {dropped + "no terminal holds terminal call 5"}},
      {"a RELEASE COMPLETE from above goes out, then the call is gone",
       {}, {"08 01 05 5A", "08 01 05 45"}, {65}, {}},
      {"a two-octet reference: the type follows it, no broadcast",
       {{65, "08 02 01 05 05"}}, {"08 02 81 05 01"}, {65}, {}},
      {"the global reference of RESTART is no call",
       {{64, "08 01 00 46"}}, {"08 01 80 4E"}, {}, {}},
      {"calls never set up are not kept",
       {{64, "08 01 09 7D"}, {64, "08 01 8A 01"}}, {"08 01 89 01", "08 01 0A 0F"}, {}, {}},
      {"both set up their call 7: to the last to use it, one line",
       {{64, "08 01 07 05"}, {65, "08 01 07 05"}}, {"08 01 87 01", "08 01 87 02"}, {65, 65},
       {"LAPD(NT BRI):terminal call 7 held by 2 terminals: sent to TEI 65, the last to use it"}},
      {"64 uses call 7 again", {{64, "08 01 07 7B"}}, {"08 01 87 03"}, {64}, {}},
      {"the network sets up its call 9", {}, {"08 01 09 05"}, {}, {}},
      {"64 answers it; the network's new SETUP for call 9 leaves the call no holder",
       {{64, "08 01 89 07"}}, {"08 01 09 05", "08 01 09 0F"}, {}, {}},
      {"65 answers the new call 9: it goes to 65 alone", {{65, "08 01 89 07"}}, {"08 01 09 0F"},
       {65}, {}},
      {"65's link ends: its calls wait for it; what it never acknowledged is lost",
       {{65, "00 83 53"}}, {"08 02 81 05 01", "08 01 87 03"}, {64},
       {"LAPD_user(NT BRI)[Tei=65,wait_answer]link ended, unacknowledged messages lost: 7 (0 "
        "queued, 7 sent)",
        dropped + "data link of the terminal holding the call not established"}},
      {"65 comes back on its TEI: its calls go to it again",
       {{65, "00 83 7F"}}, {"08 02 81 05 01"}, {65}, {}},
      {"a check on a verify request that only 64 answers finds 65's TEI free: its calls end",
       {{0, "FC FF 03 0F 00 00 07 81"}, {0, "FC FF 03 0F 00 00 05 81"}}, {"08 02 81 05 01"}, {},
       {"LAPD_user(NT BRI)[Tei=65,wait_answer,check]link ended, unacknowledged messages lost: 1 "
        "(0 queued, 1 sent)",
        dropped + "no terminal holds terminal call 261 (5 similar lines left out)"},
       ISDN::LAPD_NT_user::check_ms},
      {"64's link ends, then a terminal asking for a TEI is given 64: 64's call 7 ends",
       {{64, "00 81 53"}, {0, "FC FF 03 0F 07 00 01 FF"}}, {"08 01 87 03"}, {},
       {"LAPD_user(NT BRI)[Tei=64,wait_answer]link ended, unacknowledged messages lost: 3 (0 "
        "queued, 3 sent)"}},
  };
  for (const Step& st : steps) {
    SCOPED_TRACE(st.what);
    StreamCapture log(std::clog);
    for (const Said& said : st.said) {
      if (std::string(said.message).rfind("08", 0) != 0)
        rx(said.message);
      else
        say(said.tei, said.message);
    }
    advance(st.ms);
    const size_t mark = log_.size();
    for (const char* message : st.down) down(message);
    EXPECT_EQ(i_frames_since(mark), st.teis);
    EXPECT_EQ(log.take_lines(), st.lines);
  }
}

// At most 32 calls are kept: the one used longest ago makes room, with a line that names it.
TEST_F(LapdNtTest, TheCallsKeptAreBoundedAndTheOneForgottenIsNamed) {
  tei_message(1, 0, 127);
  StreamCapture log(std::clog);
  for (unsigned call = 1; call <= 32; ++call) say(64, "08 01 " + hex2(call) + " 05");
  say(64, "08 01 01 7B");
  say(64, "08 01 21 05");
  EXPECT_EQ(ex_->nt->calls().count(), 32u);
  EXPECT_EQ(log.take_lines(),
            (Lines{"LAPD(NT BRI):more than 32 calls: terminal call 2 of TEI 64 forgotten"}));
  // Those forgotten within the second are named on the next line, eight of them at most.
  for (unsigned call = 0x22; call <= 0x2B; ++call) {
    if (call == 0x2B) advance(1000);
    say(64, "08 01 " + hex2(call) + " 05");
  }
  std::string named;
  for (unsigned call = 3; call <= 10; ++call)
    named += (call > 3 ? ", " : "") + ("terminal call " + std::to_string(call)) + " of TEI 64";
  EXPECT_EQ(log.take_lines(), (Lines{"LAPD(NT BRI):more than 32 calls: " + named +
                                     " and 2 more forgotten (9 similar lines left out)"}));
  size_t mark = log_.size();
  down("08 01 82 01");
  EXPECT_TRUE(i_frames_since(mark).empty());
  mark = log_.size();
  down("08 01 81 01");
  down("08 01 A1 01");
  EXPECT_EQ(i_frames_since(mark), (std::vector<unsigned>{64, 64}));
}

// Frames for another SAPI, frames other than UI to the group TEI and TEI management to a
// terminal's own TEI change nothing, and each is in the log, written or in the count of those
// left out that the side writes when it ends; UI frames to the group TEI are taken.
TEST_F(LapdNtTest, FramesByAddressAreDroppedOrTaken) {
  tei_message(1, 0, 127);
  struct Case {
    const char* what;
    const char* frame;
    bool dropped;
    const char* out;  // what follows on the trace; "" nothing
  };
  const Case cases[] = {
      {"I frame on SAPI 63 to TEI 64", "FC 81 00 00 08 01 01 05", true, ""},
      {"SABME on SAPI 1", "04 81 7F", true, ""},
      {"DISC to the group TEI", "00 FF 53", true, ""},
      {"DM to the group TEI", "02 FF 1F", true, ""},
      {"TEI management to TEI 64", "FC 81 03 0F 00 00 01 FF", true, ""},
      {"UI on SAPI 0 to the group TEI", "00 FF 03 08 01 01 05", false, "up 08 01 01 05"},
      {"identity request", "FC FF 03 0F 07 00 01 FF", false, "N> FE FF 03 0F 07 00 02 83"},
      {"UI with P on SAPI 0 to the group TEI", "00 FF 13 08 01 01 05", false, "up 08 01 01 05"},
      {"identity request in a UI with P", "FC FF 13 0F 08 00 01 FF", false,
       "N> FE FF 03 0F 08 00 02 85"},
  };
  StreamCapture log(std::clog);
  unsigned dropped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t mark = log_.size();
    rx(c.frame);
    dropped += c.dropped;
    EXPECT_EQ(log_.size() > mark + 1 ? log_[mark + 1] : "", c.out);
    EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::assigned);
  }
  EXPECT_EQ(log.take_lines(),
            (Lines{"LAPD(NT BRI):frame dropped: SAPI 63, TEI 64, control 0x00"}));
  ex_.reset();
  // The first written, the last standing for the others.
  EXPECT_EQ(log.take_lines(), (Lines{"LAPD(NT BRI):frame dropped (" + std::to_string(dropped - 2) +
                                     " similar lines left out)"}));
}

// A terminal that holds its messages back (busy, or its window of unacknowledged frames full)
// has room for kIQueueLimit of them: the next is refused before it is taken, and every one taken
// reaches the terminal, in order, once it takes frames again.
TEST_F(LapdNtTest, MessagesBeyondAHeldTerminalsQueueAreRefusedBeforeTheyAreTaken) {
  using User = ISDN::LAPD_NT_user;
  struct Case {
    const char* what;
    bool busy;         // RNR first; else the terminal acknowledges nothing
    unsigned taken;    // messages taken before the first refusal
  };
  const Case cases[] = {
      {"busy terminal", true, User::kIQueueLimit},
      {"window full", false, User::k + User::kIQueueLimit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh_call();
    if (c.busy) rx("02 81 05 00");
    const size_t mark = log_.size();
    StreamCapture log(std::clog);
    for (unsigned i = 0; i <= c.taken; ++i)
      ASSERT_EQ(offer(message(i)) != nullptr, i == c.taken) << i;
    EXPECT_EQ(log.take_lines(), Lines{"LAPD(NT BRI):message dropped: terminal's queue full"});
    std::vector<unsigned> expected;
    for (unsigned i = 0; i < c.taken; ++i) expected.push_back(i);
    EXPECT_EQ(acknowledge_all(mark, 1)[64], expected);
  }
}

// A terminal that starts its link afresh (SABME) may have taken the frames it has not
// acknowledged, its answers lost: they are discarded, with one line that counts them, and only
// the messages that were never sent go after the UA, numbered from 0, then the next from above.
TEST_F(LapdNtTest, TerminalStartingItsLinkAfreshGetsNoMessageTwice) {
  struct Case {
    const char* what;
    unsigned sent;  // messages from above
    unsigned acknowledged;
    bool t200;      // T200 ran out once: the outstanding frames went again
    unsigned discarded;
  };
  const Case cases[] = {
      {"three taken, the terminal's RRs lost", 3, 0, true, 3},
      {"window full and three queued", ISDN::LAPD_NT_user::k + 3, 0, false,
       ISDN::LAPD_NT_user::k},
      {"one acknowledged, two outstanding", 3, 1, false, 2},
      {"all acknowledged", 2, 2, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh_call();
    for (unsigned i = 0; i < c.sent; ++i) down(message(i));
    if (c.acknowledged) rx("02 81 01 " + hex2(c.acknowledged << 1));
    if (c.t200) advance(ISDN::LAPD_NT_user::t200_ms);
    const size_t mark = log_.size();
    StreamCapture log(std::clog);
    rx("00 81 7F");
    down(message(0xFF));
    std::vector<std::string> out(log_.begin() + long(mark) + 1, log_.end());
    std::vector<std::string> expected{"N> 00 81 73"};
    unsigned ns = 0;
    for (unsigned i = c.acknowledged + c.discarded; i < c.sent; ++i)
      expected.push_back("N> 02 81 " + hex2(ns++ << 1) + " 01 " + message(i));
    expected.push_back("L3> " + message(0xFF));
    expected.push_back("N> 02 81 " + hex2(ns << 1) + " 01 " + message(0xFF));
    EXPECT_EQ(out, expected);
    EXPECT_EQ(log.take_lines(),
              c.discarded ? Lines{"LAPD_user(NT BRI)[Tei=64,wait_answer]link started afresh, "
                                  "unacknowledged messages discarded: " +
                                  std::to_string(c.discarded)}
                          : Lines{});
  }
}

// A terminal that took three messages, its answers lost, starts its link afresh: each message
// reaches its layer 3 once, and the next goes on the fresh link.
TEST_F(LapdNtTest, S0TerminalStartingItsLinkAfreshTakesEachMessageOnce) {
  start(1);
  S0Bus::Terminal& t = *bus_->terminals[0];
  answered_call(t);
  bus_->lose = [](const S0Bus::Frame& f) { return f.from >= 0; };
  for (unsigned char i = 0; i < 3; ++i) bus_->exchange.send({0x08, 0x01, 0x01, 0x7B, i});
  bus_->pump();
  advance(ISDN::LAPD_NT_user::t200_ms);
  bus_->pump();
  bus_->lose = nullptr;
  StreamCapture log(std::clog);
  t.lapd->activate();  // DL-ESTABLISH on an established link: SABME
  for (int i = 0; i < 3; ++i) bus_->pump();
  bus_->exchange.send({0x08, 0x01, 0x01, 0x7B, 0x03});
  for (int i = 0; i < 3; ++i) bus_->pump();
  EXPECT_EQ(t.received, (Frames{"08 01 01 05", "08 01 01 7B 00", "08 01 01 7B 01",
                                "08 01 01 7B 02", "08 01 01 7B 03"}));
  EXPECT_TRUE(t.established());
  EXPECT_EQ(bus_->exchange.nt->user(0).unacknowledged(), 0u);
  EXPECT_NE(log.take().find("link started afresh, unacknowledged messages discarded: 3"),
            std::string::npos);
}

// Messages that a busy terminal never acknowledged, queued or sent, are lost when its link ends,
// however it ends: one line says how many.
TEST_F(LapdNtTest, LinkEndingWithQueuedMessagesSaysHowManyAreLost) {
  struct Case {
    const char* what;
    std::function<void()> end;
  };
  const Case cases[] = {
      {"DISC from the terminal", [&] { rx("00 81 53"); }},
      {"RR acknowledging a frame never sent", [&] { rx("02 81 01 20"); }},
      {"the terminal silent to the polls",
       [&] {
         advance(ISDN::LAPD_NT_user::t203_ms);
         for (int i = 0; i < 4; ++i) advance(ISDN::LAPD_NT_user::t200_ms);
       }},
      {"the network side deactivated", [&] { ex_->nt->deactivate(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh_call();
    for (unsigned i = 0; i < 3; ++i) down(message(i));
    rx("02 81 05 00");  // RNR
    for (unsigned i = 3; i < 8; ++i) down(message(i));
    StreamCapture log(std::clog);
    c.end();
    EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
    const Lines lines = log.take_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("]link ended, unacknowledged messages lost: 8 (5 queued, 3 sent)"),
              std::string::npos)
        << lines[0];
  }
}

// Lines of messages lost or discarded come one a second at most for each terminal, the next one
// written (or the one written when the network side ends) counting the messages of those left
// out; terminals whose links end together each get their line.
TEST_F(LapdNtTest, LinesOfLostAndDiscardedMessagesCountEveryMessage) {
  struct Case {
    const char* what;
    std::function<void()> act;
    Lines lines;
    Lines at_end;
  };
  // `count` messages from above to the terminal's call `call`.
  const auto to = [&](unsigned call, unsigned count) {
    for (unsigned i = 0; i < count; ++i) down(message(i, call));
  };
  const std::string discarded = "link started afresh, unacknowledged messages discarded: ";
  const Case cases[] = {
      {"two terminals' links end at once",
       [&] {
         to(5, 2);
         to(6, 3);
         rx("00 81 53");  // DISC from 64
         rx("00 83 53");  // DISC from 65
       },
       {"[Tei=64,wait_answer]link ended, unacknowledged messages lost: 2 (0 queued, 2 sent)",
        "[Tei=65,wait_answer]link ended, unacknowledged messages lost: 3 (0 queued, 3 sent)"},
       {}},
      {"a terminal starting its link afresh three times in a second",
       [&] {
         for (unsigned n : {3, 2, 1}) {
           to(5, n);
           rx("00 81 7F");
         }
       },
       {"[Tei=64,wait_answer]" + discarded + "3"},
       {"[Tei=64,assigned]" + discarded + "3 (1 similar lines left out)"}},
  };
  const auto lines = [](StreamCapture& log) {
    Lines out;
    for (const std::string& l : log.take_lines()) {
      // After the terminal's header, or whole when another writes it.
      const size_t at = l.find('[');
      if (l.find("messages") != std::string::npos) out.push_back(at == l.npos ? l : l.substr(at));
    }
    return out;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh_call();
    tei_message(1, 1, 127);
    say(65, "08 01 06 05");
    StreamCapture log(std::clog);
    c.act();
    EXPECT_EQ(lines(log), c.lines);
    ex_.reset();
    EXPECT_EQ(lines(log), c.at_end);
  }
}

// A bus whose busy terminals hold its share of the pool takes no message that would wait: the one
// beyond is refused before it is taken, while a terminal that takes its messages still gets them,
// and another bus still sends. Messages that find the pool empty when their terminals take frames
// again wait at the heads of their queues: every message taken reaches its terminal once, in
// order, when buffers are free.
TEST_F(LapdNtTest, ABusOfStalledTerminalsHoldsItsShareAndLosesNoMessageForWantOfABuffer) {
  using NT = ISDN::LAPD_NT;
  constexpr unsigned kBusy = NT::kUsers - 1;  // the last terminal takes its messages
  // Terminal i's TEI octet.
  const auto tei = [](unsigned i) { return hex2((64 + i) << 1 | 1); };
  stalled_bus(kBusy);
  StreamCapture log(std::clog);
  unsigned taken = 0;
  while (!offer(message(taken / kBusy, 1 + taken % kBusy))) ++taken;
  EXPECT_EQ(taken, NT::kBusShare);
  EXPECT_EQ(log.take_lines(),
            Lines{"LAPD(NT BRI):message dropped: bus's share of packet buffers used"});
  const std::string ready = "02 " + tei(kBusy) + " ";  // the address of its frames
  size_t mark = log_.size();
  EXPECT_EQ(offer(message(0, 1 + kBusy)), nullptr);
  EXPECT_EQ(i_frames_since(mark), std::vector<unsigned>{64 + kBusy});
  EXPECT_EQ(ex_->nt->held(), NT::kBusShare + 1) << "its frame counts until acknowledged";
  rx(ready + "01 02");

  std::unique_ptr<Exchange> bus = std::move(ex_);
  fresh_call();  // another bus
  down(message(1));
  EXPECT_EQ(last_of(log_), "N> 02 81 00 03 " + message(1));
  ex_ = std::move(bus);

  StreamCapture errors(std::cerr);
  std::vector<Packet> pool;
  const auto empty_pool = [&] {
    try {
      for (;;) pool.emplace_back().reserve_head(0);
    } catch (const std::bad_alloc&) {
      pool.pop_back();
    }
  };
  mark = log_.size();
  for (unsigned i = 0; i < kBusy; ++i) {
    empty_pool();
    pool.pop_back();  // room for the terminal's frame alone
    rx("02 " + tei(i) + " 01 00");  // RR: the terminal takes frames again
  }
  EXPECT_EQ(errors.take_lines().at(0),
            "LAPD_user(NT BRI)[Tei=64,assigned]no packet buffer, I frame not sent yet");
  pool.clear();
  auto got = acknowledge_all(mark, kBusy);
  for (unsigned i = 0; i < kBusy; ++i) {
    std::vector<unsigned> each;
    for (unsigned n = i; n < taken; n += kBusy) each.push_back(n / kBusy);
    EXPECT_EQ(got[64 + i], each) << 64 + i;
  }
  // A message from above goes after the one that waits for a buffer.
  empty_pool();
  pool.pop_back();  // room for the message alone
  offer(message(1, 1 + kBusy));
  EXPECT_EQ(ex_->nt->user(kBusy).state(), ISDN::LAPD_NT_user::wait_answer)
      << "the poll on T200 asks for a frame, on which it is tried again";
  pool.resize(pool.size() - 2);
  offer(message(2, 1 + kBusy));
  EXPECT_EQ(Frames(log_.end() - 2, log_.end()),
            (Frames{"N> " + ready + "02 03 " + message(1, 1 + kBusy),
                    "N> " + ready + "04 03 " + message(2, 1 + kBusy)}));
  pool.clear();
  rx(ready + "01 06");
  EXPECT_EQ(ex_->nt->held(), 0u);
}

// Each terminal answers each check request once: more answers to a TEI within a check mean that
// two terminals hold it. Two terminals that asked for a TEI at once, having drawn the same Ri,
// both take the TEI assigned to the first request and both answer the periodic check with that
// Ri: the TEI is removed, each asks again and holds its own. A verify request while the check is
// pending sends a second check request, which each terminal answers too, and an entry that a
// terminal's frame assigned after the request takes its first answer: every TEI stays. Each
// terminal then takes only the messages of its calls. On a full bus too, each holder of a removed
// TEI asks once for a removal sent twice, and nobody is denied.
TEST_F(LapdNtTest, S0TheCheckRemovesATeiOnlyWhenTwoTerminalsHoldIt) {
  using NT = ISDN::LAPD_NT;
  struct Case {
    const char* what;
    unsigned terminals;
    unsigned sharers;    // the first terminals draw the same first Ri, so share a TEI
    unsigned verify_ms;  // when a verify request comes, if one does
    bool restart;        // the network side starts afresh just before it: its entries all free
  };
  const Case cases[] = {
      {"two terminals that drew the same Ri", 2, 2, 0, false},
      {"a verify request with the periodic check request", 2, 1, NT::check_period_ms, false},
      // At 30 s the terminals' polls (T203) come before their check responses and assign the
      // free entries.
      {"a verify request as the network side starts", 2, 1, NT::check_period_ms / 2, true},
      {"a full bus, two terminals that drew the same Ri", NT::kUsers, 2, 0, false},
      {"a full bus, three terminals that drew the same Ri", NT::kUsers, 3, 0, false},
      {"a full bus, two that drew the same Ri, and a verify request as the network side starts",
       NT::kUsers, 2, NT::check_period_ms / 2, true},
  };
  struct Restore {
    ~Restore() { ISDN::set_ri_source({}); }
  } restore;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::mt19937 generator(20261208);
    unsigned draws = 0;
    uint16_t drawn = 0;
    ISDN::set_ri_source([&] {
      if (++draws == 1 || draws > c.sharers) drawn = static_cast<uint16_t>(generator());
      return drawn;
    });
    StreamCapture log(std::clog);  // the terminals' lines
    bus_.reset(new S0Bus(c.terminals));
    bus_->exchange.nt->activate();
    for (auto& t : bus_->terminals) t->lapd->activate();
    for (int i = 0; i < 10; ++i) bus_->pump();
    auto tei = [&](unsigned i) { return bus_->terminals[i]->lapd->full_state().self_tei; };
    for (unsigned i = 0; i < c.terminals; ++i) ASSERT_EQ(tei(i), i < c.sharers ? 64u : 64 + i) << i;
    unsigned sabmes = 0;  // links the exchange starts afresh
    unsigned denials = 0;
    bus_->lose = [&](const S0Bus::Frame& f) {
      sabmes += f.from < 0 && f.bytes.length() > 2 && f.bytes[2] == 0x7F;
      denials += f.from < 0 && f.bytes.length() == 8 && f.bytes[3] == 0x0F && f.bytes[6] == 3;
      return false;
    };
    // To the check and its end, the bus carrying every frame as it comes.
    for (unsigned ms = 100; ms <= NT::check_period_ms + ISDN::LAPD_NT_user::check_ms; ms += 100) {
      advance(100);
      if (c.restart && ms == c.verify_ms) {
        bus_->exchange.nt->deactivate();
        bus_->exchange.nt->activate();
      }
      if (ms == c.verify_ms) {
        Packet verify = packet_of(unhex("FC FF 03 0F 00 00 07 81"), 4);
        bus_->exchange.nt->receive(verify);
      }
      for (int i = 0; i < 5; ++i) bus_->pump();
    }
    // TEIs asked for again only when one was shared; links started afresh then, or by the
    // network side's start.
    EXPECT_EQ(draws, c.terminals + (c.sharers > 1 ? c.sharers : 0));
    EXPECT_EQ(denials, 0u);
    EXPECT_EQ(sabmes != 0, c.sharers > 1 || c.restart) << sabmes;
    for (unsigned char i = 0; i < c.terminals; ++i) {
      EXPECT_TRUE(bus_->terminals[i]->established()) << i;
      answered_call(*bus_->terminals[i], 1 + i);
      bus_->exchange.send({0x08, 0x01, static_cast<unsigned char>(1 + i), 0x0F});
      bus_->pump();
      EXPECT_EQ(last_of(bus_->terminals[i]->received), "08 01 " + hex2(1 + i) + " 0F") << i;
    }
    // Every SETUP, and the CONNECT ACKNOWLEDGE of its own call alone.
    for (auto& t : bus_->terminals) EXPECT_EQ(t->received.size(), c.terminals + 1u);
    EXPECT_EQ(bus_->exchange.received.size(), c.terminals);
  }
}

// An idle terminal is polled after T203; the unanswered poll goes again on each T200, three
// times, then the terminal loses its TEI; polls that find no packet buffer do not count.
TEST_F(LapdNtTest, UnansweredPollIsRepeatedThenTheTeiIsFreed) {
  tei_message(1, 0, 127);
  const ISDN::LAPD_NT_user& u = ex_->nt->user(0);
  auto polls = [&] {
    int n = 0;
    for (const std::string& l : log_) n += l == "N> 02 81 01 01";
    return n;
  };
  advance(ISDN::LAPD_NT_user::t203_ms);
  EXPECT_EQ(polls(), 1);
  EXPECT_EQ(u.state(), ISDN::LAPD_NT_user::wait_answer);
  StreamCapture errors(std::cerr);
  std::vector<Packet> pool;
  try {
    for (;;) pool.emplace_back().reserve_head(0);
  } catch (const std::bad_alloc&) {
  }
  for (int t200 = 0; t200 < 5; ++t200) advance(ISDN::LAPD_NT_user::t200_ms);
  EXPECT_EQ(u.state(), ISDN::LAPD_NT_user::wait_answer);
  pool.clear();
  for (int repeat = 1; repeat <= 3; ++repeat) {
    advance(ISDN::LAPD_NT_user::t200_ms);
    EXPECT_EQ(polls(), 1 + repeat);
    EXPECT_EQ(u.state(), ISDN::LAPD_NT_user::wait_answer);
  }
  advance(ISDN::LAPD_NT_user::t200_ms);
  EXPECT_EQ(polls(), 4);
  EXPECT_EQ(u.state(), ISDN::LAPD_NT_user::unassigned);
}

// N201 on the network side: 260 octets go both ways; more are refused, or start the link afresh.
TEST_F(LapdNtTest, IFramesLongerThanN201AreRefusedBothWays) {
  for (unsigned length : {260u, 261u, 1000u}) {
    SCOPED_TRACE(length);
    const bool fits = length <= ISDN::LAPD::n201;
    std::string pad;  // to `length` octets after a message of 7
    for (unsigned n = 7; n < length; ++n) pad += " 2A";
    fresh_call();
    const char* refusal = offer(message(0) + pad);
    EXPECT_EQ(refusal ? std::string(refusal) : "", fits ? "" : "longer than N201 (260 octets)");
    say(64, "08 01 05 7B 2C 01 00" + pad);
    EXPECT_EQ(last_of(log_), fits ? "up 08 01 05 7B 2C 01 00" + pad : "N> 02 81 7F");
  }
}

// The network side ends a terminal's link while the channel is held 4.5 s in a call (N200 x T200);
// the terminal comes back with a SABME on its TEI, and the call's messages go both ways again.
TEST_F(LapdNtTest, S0ACallOutlivesTheLinkThatTheNetworkSideEnded) {
  start(1);
  S0Bus::Terminal& t = *bus_->terminals[0];
  t.send({0x08, 0x01, 0x05, 0x05});  // the terminal sets up its call 5
  bus_->pump();
  bus_->lose = [](const S0Bus::Frame&) { return true; };
  bus_->exchange.send({0x08, 0x01, 0x85, 0x02});
  t.send({0x08, 0x01, 0x05, 0x7B});
  for (unsigned ms = 100; ms <= 6500; ms += 100) {
    advance(100);
    bus_->pump();
    if (ms != 4500) continue;
    EXPECT_EQ(bus_->exchange.nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
    bus_->lose = nullptr;
  }
  bus_->exchange.send({0x08, 0x01, 0x85, 0x07});
  t.send({0x08, 0x01, 0x05, 0x0F});
  bus_->pump();
  EXPECT_EQ(last_of(t.received), "08 01 85 07");
  EXPECT_EQ(last_of(bus_->exchange.received), "08 01 05 0F");
}

// An SS7 link on one end of a wire, under an owner that counts the MSUs that reach it.
struct Ss7End : ProtocolsList {
  explicit Ss7End(HdlcWire::End& end) : slc(new SS7::SLC) {
    slc->hdlc = &end;
    end.notify = slc;
    add_protocol_head(slc);
  }
  void on_message(Packet&) override { ++received; }
  SS7::SLC* slc;
  unsigned received = 0;
};

// Four and eight buses of busy terminals, offered messages beside a primary-rate and an SS7 link
// that send all the while: the buses together are refused beyond their share, the other links
// never lack a buffer, and each terminal then gets every message its bus accepted, in order.
TEST_F(LapdNtTest, StalledBusesTogetherLeaveTheOtherLinksTheirBuffers) {
  using NT = ISDN::LAPD_NT;
  StreamCapture log(std::clog);
  for (unsigned buses : {4u, 8u}) {
    SCOPED_TRACE(std::to_string(buses) + " buses");
    std::vector<std::string> events;
    HdlcWire pri(1000), ss7(1000);
    Layer3 user("A", ISDN::Side::user, pri.a(), &events);
    Layer3 network("B", ISDN::Side::network, pri.b(), &events);
    Ss7End sa(ss7.a()), sb(ss7.b());
    sa.slc->emergency = sb.slc->emergency = true;
    user.lapd->activate();
    sa.slc->activate();
    turns(10);
    advance(500);
    turns(10);
    unsigned sent = 0, least_free = Packet_pool::capacity();
    const auto other_links = [&] {
      user.send(std::string{'\x08', '\x01', char(sent & 0x7F), char(sent >> 7)});
      Packet msu = packet_of(std::string(5, '\x5A'), 3);
      sa.slc->message(msu);
      ++sent;
      least_free = std::min(least_free, packet_pool().free_count());
      turns(3);
    };
    std::vector<std::unique_ptr<Exchange>> nts(buses);
    for (auto& nt : nts) {
      stalled_bus(NT::kUsers);
      nt = std::move(ex_);
    }
    // Refusals come to every terminal at once: each takes messages 0 to n - 1.
    for (unsigned round = 0; round < 40; ++round) {
      for (auto& nt : nts) {
        std::swap(ex_, nt);
        for (unsigned i = 0; i < NT::kUsers; ++i) offer(message(round, 1 + i));
        std::swap(ex_, nt);
        other_links();
      }
    }
    EXPECT_EQ(NT::held_by_buses(), NT::kBusesShare - NT::kWindowsRoom);
    for (unsigned ms = 0; ms < 8000; ms += 100) {
      advance(100);
      other_links();
    }
    EXPECT_GE(least_free, Packet_pool::capacity() - NT::kBusesShare - 64) << "64 for the others";
    size_t delivered = 0;
    for (auto& nt : nts) {
      std::swap(ex_, nt);
      for (const auto& got : acknowledge_all(log_.size(), NT::kUsers)) {
        for (unsigned n = 0; n < got.second.size(); ++n) EXPECT_EQ(got.second[n], n) << got.first;
        delivered += got.second.size();
      }
      std::swap(ex_, nt);
    }
    EXPECT_EQ(delivered, NT::kBusesShare - NT::kWindowsRoom);
    EXPECT_EQ(NT::held_by_buses(), 0u);
    for (int i = 0; i < 100 && !(pri.idle() && ss7.idle()); ++i) turns();
    EXPECT_EQ(network.received.size(), sent);
    EXPECT_EQ(sb.received, sent);
  }
}

}  // namespace
