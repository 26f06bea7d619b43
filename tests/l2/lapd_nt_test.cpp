// The network side of a basic-rate D channel against terminals played frame by frame (the frames
// it sends, as hex, and the messages it passes up), then against user-side LAPDs on an S0 bus.
// Time moves only by the test clock.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "l2/isdn/lapd_nt.h"
#include "proto/protocol.h"
#include "tests/l2/l2_support.h"
#include "tests/l2/s0_bus.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"

namespace {

using Frames = std::vector<std::string>;

std::string hex2(unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string{digits[(v >> 4) & 15], digits[v & 15]};
}

class Exchange : public ProtocolsList {
 public:
  Exchange() : nt(new ISDN::LAPD_NT) { add_protocol_head(nt); }
  void transmit(Packet& p) override { sent.push_back(p.text()); }
  void on_message(Packet& p) override { up.push_back(p.text()); }
  // Everything sent since the last call.
  Frames take() {
    Frames f;
    f.swap(sent);
    return f;
  }

  ISDN::LAPD_NT* nt;
  Frames sent;
  Frames up;
};

class LapdNtTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    keep_alive_.emplace();
    ex_.reset(new Exchange);
    ex_->nt->activate();
    ASSERT_EQ(ex_->take(), Frames{"FE FF 03 0F 00 00 04 FF"});
  }
  void TearDown() override {
    ex_.reset();
    bus_.reset();
    keep_alive_.reset();
    LoopTest::TearDown();
  }
  void rx(const std::string& hex) {
    Packet p = packet_of(unhex(hex), 4);
    ex_->nt->receive(p);
  }
  void down(const std::string& hex) {
    Packet p = packet_of(unhex(hex), 4);
    ex_->nt->message(p);
  }
  // A TEI management message from a terminal.
  void tei_message(unsigned type, unsigned ri, unsigned ai) {
    rx("FC FF 03 0F " + hex2(ri) + " 00 " + hex2(type) + " " + hex2(ai << 1 | 1));
  }
  // Assigns TEIs 64, 65, ... to `count` terminals.
  void assign(unsigned count) {
    for (unsigned i = 0; i < count; ++i) tei_message(1, i, 127);
    ex_->take();
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

  std::unique_ptr<Exchange> ex_;
  std::unique_ptr<S0Bus> bus_;
  std::optional<Keepalive> keep_alive_;
};

TEST_F(LapdNtTest, TeiAssignmentDenialCheckAndRemoval) {
  for (unsigned i = 0; i < 9; ++i) tei_message(1, i, 127);
  Frames expected;
  for (unsigned i = 0; i < 8; ++i) {
    const std::string tei = hex2((64 + i) << 1 | 1);
    expected.push_back("FE FF 03 0F " + hex2(i) + " 00 02 " + tei);
    expected.push_back("02 " + tei + " 7F");  // SABME P = 1
  }
  expected.push_back("FE FF 03 0F 08 00 03 FF");
  EXPECT_EQ(ex_->take(), expected);
  // Ai 70 is denied, Ai 10 ignored.
  tei_message(1, 9, 70);
  tei_message(1, 9, 10);
  EXPECT_EQ(ex_->take(), Frames{"FE FF 03 0F 09 00 03 8D"});

  // A check (here on a verify request, else every minute): TEIs 64 to 70 answer, 71 does not
  // and loses its entry.
  tei_message(7, 0, 64);
  EXPECT_EQ(ex_->take(), Frames{"FE FF 03 0F 00 00 04 FF"});
  for (unsigned tei = 64; tei < 71; ++tei) tei_message(5, tei, tei);
  advance(ISDN::LAPD_NT_user::check_ms);
  for (unsigned i = 0; i < 8; ++i)
    EXPECT_EQ(ex_->nt->user(i).state() == ISDN::LAPD_NT_user::unassigned, i == 7) << i;
  // The same Ri again is ignored; another Ri for TEI 64 is a duplicate: removed twice.
  tei_message(5, 64, 64);
  EXPECT_EQ(ex_->take(), Frames{});
  tei_message(5, 99, 64);
  EXPECT_EQ(ex_->take(), Frames(2, "FE FF 03 0F 00 00 06 81"));
  EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
  // A check response naming the group TEI removes nobody.
  tei_message(5, 1, 127);
  EXPECT_EQ(ex_->take(), Frames{});
  EXPECT_EQ(ex_->nt->user(1).state(), ISDN::LAPD_NT_user::assigned);
}

TEST_F(LapdNtTest, SetupBroadcastOnceAndRoutingByCallReference) {
  assign(2);
  // TEI 65's SETUP, call reference 5, P = 0: acknowledged and passed up.
  rx("00 83 00 00 08 01 05 05");
  EXPECT_EQ(ex_->take(), Frames{"00 83 01 02"});
  // TEI 64's short I frame is acknowledged, not passed up.
  rx("00 81 00 00 08 01");
  EXPECT_EQ(ex_->take(), Frames{"00 81 01 02"});
  EXPECT_EQ(ex_->up, Frames{"08 01 05 05"});
  // A SETUP from above goes out once, broadcast.
  down("08 01 07 05 04 03");
  EXPECT_EQ(ex_->take(), Frames{"02 FF 03 08 01 07 05 04 03"});
  // The answer to TEI 65's call goes to TEI 65 only; an unknown call to nobody.
  down("08 01 85 02");
  down("08 01 86 02");
  EXPECT_EQ(ex_->take(), Frames{"02 83 00 03 08 01 85 02"});
}

TEST_F(LapdNtTest, WindowOfSevenAndRetransmissionFromNr) {
  assign(1);
  rx("00 81 00 00 08 01 05 05");
  ex_->take();
  for (unsigned i = 0; i < 9; ++i) down("08 01 85 " + hex2(0x10 + i));
  Frames frames = ex_->take();
  ASSERT_EQ(frames.size(), 7u);
  EXPECT_EQ(frames[6], "02 81 0C 03 08 01 85 16");
  EXPECT_EQ(ex_->nt->user(0).queued(), 2u);
  // The answer to an I frame's poll resends nothing.
  rx("02 81 01 01");
  EXPECT_EQ(ex_->take(), Frames{});
  // The terminal's next I frame moves V(R): the frames resent on T200 carry the new N(R).
  rx("00 81 02 00 08 01 05 07");
  EXPECT_EQ(ex_->take(), Frames{"00 81 01 04"});
  advance(ISDN::LAPD_NT_user::t200_ms);
  frames = ex_->take();
  ASSERT_EQ(frames.size(), 7u);
  EXPECT_EQ(frames[0], "02 81 00 05 08 01 85 10");
  // An answer to the poll with N(R) 3: frames 3 to 6 again, then two from the queue.
  rx("02 81 01 07");
  frames = ex_->take();
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[0], "02 81 06 05 08 01 85 13");
  EXPECT_EQ(frames[5], "02 81 10 05 08 01 85 18");
  EXPECT_EQ(ex_->nt->user(0).queued(), 0u);
  // REJ with N(R) 7: frames 7 and 8 again; RR with 9 acknowledges all.
  rx("02 81 09 0E");
  EXPECT_EQ(ex_->take(), (Frames{"02 81 0E 05 08 01 85 17", "02 81 10 05 08 01 85 18"}));
  rx("02 81 01 12");
  EXPECT_EQ(ex_->nt->user(0).unacknowledged(), 0u);
  EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::assigned);
  // An N(R) beyond V(S) ends the terminal's link.
  rx("02 81 01 20");
  EXPECT_EQ(ex_->nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
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
  EXPECT_EQ(bus_->terminals[1]->received.back(), "08 01 01 0F");
}

TEST_F(LapdNtTest, S0ALostIFrameIsSentAgainAfterT200) {
  start(1);
  S0Bus::Terminal& t = *bus_->terminals[0];
  t.send({0x08, 0x01, 0x81, 0x07});
  bus_->pump();
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
  EXPECT_EQ(t.received, (Frames{"08 01 01 0F", "08 01 01 7B"}));
  EXPECT_EQ(bus_->exchange.nt->user(0).unacknowledged(), 0u);
  EXPECT_TRUE(t.established());
}

}  // namespace
