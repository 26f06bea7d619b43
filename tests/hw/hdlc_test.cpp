// HDLC channels on the simulated multichannel controller: activation and wiring for each type,
// frames both ways, flow control, failures and an owner that deactivates from its callback;
// and two channel owners back to back on the in-process wire of the link-layer tests.
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>

#include "hw/hdlc.h"
#include "hw/hw_mux.h"
#include "tests/support/golden.h"
#include "tests/support/hdlc_wire.h"
#include "tests/support/loop_turns.h"
#include "tests/support/service_test.h"
#include "tests/support/temp_root.h"

namespace {

// An owner that records its callbacks; `on_frame` runs inside on_hdlc_receive.
class Owner : public HDLC::Notify {
 public:
  void on_hdlc_receive(Packet& frame) override {
    events.push_back("rx " + frame.text());
    if (on_frame) on_frame();
  }
  void on_hdlc_error(Cause::Type cause) override {
    events.push_back("error " + std::to_string(cause));
  }
  void on_hdlc_ready() override { events.push_back("ready"); }

  Lines take() { return std::move(events); }

  Lines events;
  std::function<void()> on_frame;
};

Packet frame(const std::string& bytes) {
  Packet p;
  p.reserve_head(0);
  if (!bytes.empty()) std::memcpy(p.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
  return p;
}

class HdlcTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    mux = std::make_unique<HwMux>();
  }
  void TearDown() override {
    channels.clear();
    mux.reset();
    BoardTest::TearDown();
  }
  // A channel of `type` on trunk time slot tsA (and tsB), reporting to `owner`.
  HDLC& channel(int type, int tsA, int tsB = -1) {
    channels.push_back(std::make_unique<HDLC>(*mux));
    HDLC& h = *channels.back();
    h.notify = &owner;
    h.type = type;
    h.tsA = tsA;
    h.tsB = tsB;
    return h;
  }
  // The switch channel of the newest controller channel.
  std::string newest_channel() {
    Lines list = sim.command("mcc channels");
    return list.empty() ? "" : list.back().substr(0, list.back().find(' '));
  }

  std::unique_ptr<HwMux> mux;
  std::vector<std::unique_ptr<HDLC>> channels;
  Owner owner;
};

TEST_F(HdlcTest, ActivationAllocatesTheModeOfItsTypeAndWiresBothWays) {
  struct Case {
    int type;
    const char* mode;
    int tsA, tsB;
    int transmits_to;
  };
  const Case cases[] = {{0, "mode=3", 33, -1, 33}, {1, "mode=0", 40, -1, 40}, {2, "mode=1", 5, 6, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    HDLC& h = channel(c.type, c.tsA, c.tsB);
    ASSERT_TRUE(h.activate());
    EXPECT_TRUE(h.is_open());
    EXPECT_FALSE(h.is_ready());
    std::string m = newest_channel();
    EXPECT_EQ(sim.command("mcc channels").back(),
              m + " " + c.mode + " rx-size=512 rx-threshold=1 tx-threshold=4");
    EXPECT_EQ(sim.command("switch " + std::to_string(c.transmits_to)), Lines{m});
    EXPECT_EQ(sim.command("switch " + m), Lines{std::to_string(c.tsA)});
  }
}

TEST_F(HdlcTest, FailedActivationLeavesNoChannel) {
  struct Case {
    const char* name;
    const char* setup;
    bool switch_refused;
  };
  const Case cases[] = {
      {"device missing", "unplug mcc/ctl", false},
      {"allocation refused", "fail mcc/ctl 0x40144d00 EBUSY", false},
      {"time slot refused", "fail mcc/ctl 0x20004d02 EIO", false},
      {"path to the time slot refused", "fail hal 0x80084d02 EIO", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(sim.command(c.setup), Lines{"ok"});
    HDLC& h = channel(1, 10);
    EXPECT_FALSE(h.activate());
    EXPECT_EQ(h.switch_refused(), c.switch_refused);
    EXPECT_FALSE(h.is_open());
    EXPECT_EQ(sim.command("sessions mcc/ctl"), Lines{"0"});
    sim.command("plug mcc/ctl");
  }
  HDLC& h = channel(7, 10);
  EXPECT_FALSE(h.activate()) << "a type without a controller mode";
}

// The controller channel goes back to the driver, which hands it to the next owner: the paths
// activation made end with it, on deactivation, re-activation or destruction. A path another
// slot made from the channel (output 60) ends too, unless a re-activation gets the same channel.
TEST_F(HdlcTest, AChannelGivenUpLeavesNoSwitchPath) {
  struct Case {
    const char* name;
    int type, tsA, tsB;
    int transmits_to;
    bool reopens;
    std::function<void(HDLC&)> give_up;
  };
  const Case cases[] = {
      {"deactivated", 1, 20, -1, 20, false, [](HDLC& h) { h.deactivate(); }},
      {"two time slots", 2, 21, 22, 22, false, [](HDLC& h) { h.deactivate(); }},
      {"destroyed", 0, 23, -1, 23, false, [this](HDLC&) { channels.pop_back(); }},
      {"re-activated", 1, 24, -1, 24, true, [](HDLC& h) { ASSERT_TRUE(h.activate()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HDLC& h = channel(c.type, c.tsA, c.tsB);
    ASSERT_TRUE(h.activate());
    const std::string m = newest_channel();
    ASSERT_TRUE(mux->Connect(std::stoi(m), 60));
    c.give_up(h);
    const std::string now = c.reopens ? newest_channel() : "";
    // The board hands the lowest free channel out.
    if (c.reopens) {
      EXPECT_EQ(now, m);
    }
    EXPECT_EQ(sim.command("switch " + std::to_string(c.transmits_to)),
              Lines{c.reopens ? now : "const 0xd5"});
    EXPECT_EQ(sim.command("switch " + m), Lines{now == m ? std::to_string(c.tsA) : "const 0xd5"});
    EXPECT_EQ(sim.command("switch 60"), Lines{now == m ? m : "const 0xd5"});
    channels.clear();
  }
}

TEST_F(HdlcTest, FramesGoOutAndCountersFollow) {
  HDLC& h = channel(1, 10);
  Packet empty;
  EXPECT_TRUE(h.hdlc_transmit(empty));
  Packet early = frame("\x01");
  EXPECT_FALSE(h.hdlc_transmit(early));
  EXPECT_EQ(h.txDiscard, 1u);

  ASSERT_TRUE(h.activate());
  EXPECT_EQ(h.txDiscard, 0u) << "counters restart at activation";
  turn();
  EXPECT_EQ(owner.take(), Lines{"ready"});
  EXPECT_TRUE(h.is_ready());
  EXPECT_EQ(h.event.events(), POLLIN);

  Packet sabme = frame(std::string("\x00\x01\x7f", 3));
  EXPECT_TRUE(h.hdlc_transmit(sabme));
  Packet nothing = frame("");
  EXPECT_TRUE(h.hdlc_transmit(nothing));
  EXPECT_EQ(h.txSU, 1u);
  EXPECT_EQ(sim.command("mcc sent " + newest_channel()), Lines{"00017f"});
  turn();
  EXPECT_TRUE(owner.take().empty()) << "ready is reported once";

  ASSERT_EQ(sim.command("fail mcc/ctl write EPIPE"), Lines{"ok"});
  EXPECT_FALSE(h.hdlc_transmit(sabme));
  EXPECT_EQ(h.txError, 1u);
  EXPECT_EQ(h.txOverflow, 0u);
}

TEST_F(HdlcTest, AFullChannelRefusesUntilItDrainsThenReportsReadyOnce) {
  HDLC& h = channel(1, 10);
  ASSERT_TRUE(h.activate());
  turn();
  owner.take();
  ASSERT_EQ(sim.command("mcc hold " + newest_channel()), Lines{"ok"});
  Packet f = frame(std::string(200, 'x'));
  unsigned sent = 0;
  while (sent < 100000 && h.hdlc_transmit(f)) ++sent;
  EXPECT_FALSE(h.is_ready());
  EXPECT_EQ(h.event.events(), POLLIN | POLLOUT);
  EXPECT_EQ(h.txSU, sent);
  EXPECT_EQ(h.txError, 0u);
  turn();
  EXPECT_TRUE(owner.take().empty());

  ASSERT_EQ(sim.command("mcc release " + newest_channel()), Lines{"ok"});
  // The board takes the held frames meanwhile; the channel polls writable once it has room.
  Lines ready;
  for (int i = 0; i < 100 && ready.empty(); ++i) {
    run_loop_turn();
    ready = owner.take();
  }
  EXPECT_EQ(ready, Lines{"ready"});
  EXPECT_TRUE(h.is_ready());
  EXPECT_EQ(sim.command("mcc sent " + newest_channel()).size(), sent) << "no frame lost";
}

TEST_F(HdlcTest, ReceivedFramesAreDeliveredInOrder) {
  HDLC& h = channel(0, 10);
  ASSERT_TRUE(h.activate());
  std::string m = newest_channel();
  ASSERT_EQ(sim.command("mcc rx " + m + " 0102"), Lines{"ok"});
  ASSERT_EQ(sim.command("mcc rx " + m + " ff"), Lines{"ok"});
  turn();
  EXPECT_EQ(owner.take(), (Lines{"rx 01 02", "rx FF", "ready"}));
  EXPECT_EQ(h.rxSU, 2u);
}

TEST_F(HdlcTest, OwnerThatDeactivatesOnAFrameGetsNothingMore) {
  HDLC& h = channel(1, 10);
  ASSERT_TRUE(h.activate());
  std::string m = newest_channel();
  owner.on_frame = [&h] { h.deactivate(); };
  ASSERT_EQ(sim.command("mcc rx " + m + " 01"), Lines{"ok"});
  ASSERT_EQ(sim.command("mcc rx " + m + " 02"), Lines{"ok"});
  turn();
  turn();
  EXPECT_EQ(owner.take(), Lines{"rx 01"});
  EXPECT_FALSE(h.is_open());
}

TEST_F(HdlcTest, AHungUpChannelIsOneReadErrorAndIsNoLongerPolled) {
  HDLC& h = channel(1, 10);
  ASSERT_TRUE(h.activate());
  turn();
  owner.take();
  std::string m = newest_channel();
  ASSERT_EQ(sim.command("mcc rx " + m + " 0a"), Lines{"ok"});
  ASSERT_EQ(sim.command("mcc hangup " + m), Lines{"ok"});
  turn();
  EXPECT_EQ(owner.take(), (Lines{"rx 0A", "error 0"})) << "the frame before the failure is kept";
  EXPECT_FALSE(h.is_open());
  turn();
  EXPECT_TRUE(owner.take().empty());
}

using HdlcWireTest = LoopTest;

// B answers a SABME with a UA from its receive callback. The third frame meets a full wire;
// then a frame is lost, one is duplicated and one is injected.
TEST_F(HdlcWireTest, BackToBackExchangeMatchesItsGoldenTraceAndCapture) {
  TempRoot dir;
  HdlcWire wire(2);
  Owner a, b;
  wire.a().notify = &a;
  wire.b().notify = &b;
  b.on_frame = [&] {
    if (b.events.back() != "rx 00 01 7F") return;
    Packet ua = hex_frame("00 01 73");
    EXPECT_TRUE(wire.b().hdlc_transmit(ua));
  };
  const std::string capture = dir.path() + "/link.txt";
  ASSERT_TRUE(wire.capture(capture));

  Packet sabme = hex_frame("00 01 7f");
  ASSERT_TRUE(wire.a().hdlc_transmit(sabme));
  EXPECT_TRUE(b.events.empty()) << "delivered inside hdlc_transmit";
  turns(2);
  EXPECT_EQ(b.take(), Lines{"rx 00 01 7F"});
  EXPECT_EQ(a.take(), Lines{"rx 00 01 73"});

  // I frames N(S) 0 to 3, each a Q.931 STATUS ENQUIRY of call reference 1.
  Packet i[4];
  for (int n = 0; n < 4; ++n) {
    i[n] = hex_frame("00 01 0" + std::to_string(2 * n) + " 00 08 01 01 75");
  }
  ASSERT_TRUE(wire.a().hdlc_transmit(i[0]));
  ASSERT_TRUE(wire.a().hdlc_transmit(i[1]));
  EXPECT_FALSE(wire.a().hdlc_transmit(i[2]));
  EXPECT_FALSE(wire.a().is_ready());
  EXPECT_FALSE(wire.a().hdlc_transmit(i[2]));
  turns(2);
  EXPECT_EQ(a.take(), Lines{"ready"}) << "one ready after two refusals";
  EXPECT_EQ(b.take(), (Lines{"rx 00 01 00 00 08 01 01 75", "rx 00 01 02 00 08 01 01 75"}));

  advance(1000);
  wire.fault_next(HdlcWire::kA, HdlcWire::Fault::kLose);
  wire.fault_next(HdlcWire::kA, HdlcWire::Fault::kDuplicate);
  ASSERT_TRUE(wire.a().hdlc_transmit(i[2]));
  ASSERT_TRUE(wire.a().hdlc_transmit(i[3]));
  wire.inject(HdlcWire::kA, hex_frame("00 01 53"));
  turns(1);
  EXPECT_EQ(b.take(), (Lines{"rx 00 01 06 00 08 01 01 75", "rx 00 01 06 00 08 01 01 75"}));
  EXPECT_EQ(a.take(), Lines{"rx 00 01 53"});
  EXPECT_EQ(wire.a().sent.size(), 5u) << "the lost frame was sent, the refused ones were not";
  ORVEX_EXPECT_GOLDEN("hdlc_wire", wire.trace);

  if (!have_tshark()) GTEST_SKIP() << "tshark is not installed";
  EXPECT_EQ(tshark_read(capture, HdlcWire::kLinkLapd,
                        "-T fields -e frame.p2p_dir -e lapd.control -e _ws.malformed"),
            (Lines{"0\t0x007f\t", "1\t0x0073\t", "0\t0x0000\t", "0\t0x0002\t",
                   "0\t0x0006\t", "0\t0x0006\t", "1\t0x0053\t"}));
}

}  // namespace
