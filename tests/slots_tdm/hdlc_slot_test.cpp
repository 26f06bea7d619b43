// HDLC packet slots on a trunk slot's channel of the simulated board: package frames and their
// sequence octets, the collection of received packages, the transmit ring, the link reports.
#include <gtest/gtest.h>

#include "slots/tdm/hdlc_slot_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

// The HDLC channel the simulated controller gives first.
constexpr int kChannel = 1024;

std::string packages(const std::vector<std::string>& bodies) {
  std::string list;
  for (const auto& b : bodies) list += (list.empty() ? "{ body '" : ", { body '") + b + "'H }";
  return "hdlcPackages : { " + list + " }";
}
std::string ioctl(int seq, const std::vector<std::string>& bodies) {
  return "{ seq " + std::to_string(seq) + ", slot 1, pdu command : ioctl : " + packages(bodies) +
         " }";
}
std::string link_info(int tx, int rx) {
  return "ioctl : hdlcLinkInfo : { txSU " + std::to_string(tx) +
         ", txDiscard 0, txError 0, txOverflow 0, rxSU " + std::to_string(rx) + " }";
}

// Slot 1 the HDLC packet slot with address 0x1234, slot 2 a trunk slot on switch channel 33.
class HdlcRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    HdlcSlotFactory::instance();
    LinkTrunkFactories();
  }
  void SetUp() override {
    SlotRoad::SetUp();
    EXPECT_EQ(run({"{ seq 1, slot 1, pdu command : create : hdlcParams : { trunk 2, log 0, "
                   "address 4660 } }",
                   "{ seq 2, slot 2, pdu command : create : trunk : { trunk 1, timeslot 1 } }"})
                  .size(),
              4u);
  }
  std::vector<std::string> connect() {
    return run({"{ seq 9, slot 1, pdu command : connect : 2 }"});
  }
  Lines sent() { return board().command("mcc sent " + std::to_string(kChannel)); }
  // The frames sent, once there are `n` of them: frames the board has not taken yet wait in
  // the ring until the channel is writable again (bounded).
  Lines sent(size_t n) {
    Lines frames = sent();
    for (int i = 0; i < 200 && frames.size() < n; ++i, frames = sent()) run_loop_turn();
    return frames;
  }
};

TEST_F(HdlcRoad, PackageFramesCarryAddressAndSequences) {
  // The slot shows no channel of its own.
  EXPECT_EQ(connect(),
            wires({signal(1, "transmitter : active : -1"), reply(9, 1, "success : NULL")}));
  EXPECT_EQ(board().command("mcc channels"),
            Lines{"1024 mode=0 rx-size=512 rx-threshold=1 tx-threshold=4"});
  EXPECT_EQ(output(33), "1024");
  EXPECT_EQ(output(1024), "33");

  // Nine packages, then a received frame with tx sequence 5: the tenth package goes out with
  // tx sequence 9 (1 on the wire) and rx sequence 5.
  EXPECT_EQ(run({ioctl(3, std::vector<std::string>(9, "ff"))}),
            wires({reply(3, 1, "success : NULL")}));
  sim("mcc rx 1024 1234a0070000");
  EXPECT_EQ(arrived(), wires({signal(1, "ioctl : " + packages({"070000"}))}));
  EXPECT_EQ(run({ioctl(4, {"0102", ""})}), wires({reply(4, 1, "success : NULL")}));
  Lines frames = sent(11);
  ASSERT_EQ(frames.size(), 11u);
  EXPECT_EQ(frames[0], "123400ff");
  EXPECT_EQ(frames[1], "123420ff");
  EXPECT_EQ(frames[8], "123400ff");
  EXPECT_EQ(frames[9], "1234250102");
  EXPECT_EQ(frames[10], "123445");

  EXPECT_EQ(run({"{ seq 5, slot 1, pdu command : deactivate : NULL }"}),
            wires({signal(1, link_info(11, 1)), reply(5, 1, "success : NULL")}));
}

struct Received {
  const char* name;
  std::vector<const char*> frames;
  std::vector<std::string> at_once;  // package lists sent without waiting
  std::vector<std::string> after_100ms;
};

TEST_F(HdlcRoad, ReceivedPackagesGoUpAtOnceOrWithin100ms) {
  connect();
  for (const Received& c : {
           Received{"wait bit set", {"1234a00780"}, {}, {packages({"0780"})}},
           Received{"wait bit clear", {"1234200700"}, {packages({"0700"})}, {}},
           Received{"a later frame flushes",
                    {"1234a00780", "1234200700"},
                    {packages({"0780", "0700"})},
                    {}},
           Received{"address only", {"1234"}, {packages({""})}, {}},
           Received{"short of octet 4", {"123420aa"}, {packages({"aa"})}, {}},
           Received{"no address", {"12"}, {}, {}},
           Received{"another address", {"5678200700", "5678a00780"}, {}, {}},
       }) {
    SCOPED_TRACE(c.name);
    for (const char* f : c.frames) sim(std::string("mcc rx 1024 ") + f);
    std::vector<std::string> now, later;
    for (const auto& p : c.at_once) now.push_back(signal(1, "ioctl : " + p));
    for (const auto& p : c.after_100ms) later.push_back(signal(1, "ioctl : " + p));
    EXPECT_EQ(arrived(), wires(now));
    advance(99);
    EXPECT_EQ(arrived(), Lines{});
    advance(1);
    EXPECT_EQ(arrived(), wires(later));
  }
}

TEST_F(HdlcRoad, RingKeeps120FramesUntilTheChannelIsReady) {
  StreamCapture err(std::cerr);
  EXPECT_EQ(run({ioctl(3, std::vector<std::string>(125, "01"))}),
            wires({reply(3, 1, "error : unsupported")}));
  EXPECT_EQ(err.take(), "HdlcSlot[1/*]: 5 of 125 packages dropped, the transmit queue is full\n");
  connect();
  Lines frames = sent(120);
  ASSERT_EQ(frames.size(), 120u);
  EXPECT_EQ(frames.back(), "1234e001");  // package 119
  // The dropped packages used their sequence numbers up: the next is number 125.
  run({ioctl(4, {"02"})});
  EXPECT_EQ(sent(121).back(), "1234a002");
  // A channel that keeps taking frames takes more than the ring holds in one ioctl.
  EXPECT_EQ(run({ioctl(5, std::vector<std::string>(125, "03"))}),
            wires({reply(5, 1, "success : NULL")}));
  EXPECT_EQ(sent(246).size(), 246u);
}

TEST_F(HdlcRoad, ChannelFollowsTheConnections) {
  // Activation with no connection has no channel to run on.
  EXPECT_EQ(run({"{ seq 3, slot 1, pdu command : activate : empty : NULL }"}),
            wires({signal(1, "deactivated : networkError"), reply(3, 1, "success : NULL")}));
  // Both ways to one trunk: the channel is allocated for each connection, and either
  // disconnection closes it.
  auto allocations = [] {
    Lines log = board().command("log mcc/ctl");
    return std::count_if(log.begin(), log.end(),
                         [](const std::string& l) { return l.find("MCC_ALLOCATE") != l.npos; });
  };
  const auto before = allocations();
  run({"{ seq 4, slot 1, pdu command : connect : 2 }",
       "{ seq 5, slot 2, pdu command : connect : 1 }"});
  EXPECT_EQ(allocations() - before, 2);
  EXPECT_EQ(sim("sessions mcc/ctl"), "1");
  run({"{ seq 6, slot 2, pdu command : disconnect : NULL }"});
  EXPECT_EQ(sim("sessions mcc/ctl"), "0");
  EXPECT_EQ(output(33), "const 0xd5");

  // A channel the controller loses is reported.
  connect();
  StreamCapture log_lines(std::clog);
  sim("mcc hangup 1024");
  EXPECT_EQ(arrived(), wires({signal(1, "deactivated : networkError")}));
  EXPECT_NE(log_lines.take().find("HdlcSlot[1/*]: on_hdlc_error\n"), std::string::npos);
}

TEST_F(HdlcRoad, LinkInformationEvery3000ms) {
  advance(2999);
  EXPECT_EQ(arrived(), Lines{});
  advance(1);
  EXPECT_EQ(arrived(), wires({signal(1, link_info(0, 0))}));
  connect();
  run({ioctl(3, {"01"})});
  advance(3000);
  EXPECT_EQ(arrived(), wires({signal(1, link_info(1, 0))}));
}

}  // namespace
