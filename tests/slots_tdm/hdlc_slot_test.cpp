// HDLC packet slots on a trunk slot's channel of the simulated board: package frames and their
// sequence octets, the collection of received packages, the transmit ring, the link reports.
#include <gtest/gtest.h>

#include <cstring>

#include "asn1/abstract_data.h"
#include "hw/hw_mux.h"
#include "slots/tdm/hdlc_slot.h"
#include "slots/tdm/ext_factory.h"
#include "slots/tdm/hdlc_slot_factory.h"
#include "slots/tdm/link_slot.h"
#include "slots/tdm/mcc_factory.h"
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
std::string link_info(int tx, int rx, int discard = 0, int error = 0) {
  return "ioctl : hdlcLinkInfo : { txSU " + std::to_string(tx) + ", txDiscard " +
         std::to_string(discard) + ", txError " + std::to_string(error) +
         ", txOverflow 0, rxSU " + std::to_string(rx) + " }";
}

// Slot 1 the HDLC packet slot with address 0x1234, slot 2 a trunk slot on switch channel 33.
class HdlcRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    HdlcSlotFactory::instance();
    MccFactory::instance();
    ExtFactory::instance();
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
  static HdlcSlot& slot() { return dynamic_cast<HdlcSlot&>(*Slots::instance().GetLive().front()); }
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
           Received{"one octet flushes what waits", {"1234a00780", "12"}, {packages({"0780"})}, {}},
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

// A signal the controller's decoder refuses loses every package in it: no signal holds more
// packages than the decoder takes, nor more octets than one TPKT frame carries.
TEST_F(HdlcRoad, ReceivedPackagesGoUpInSignalsTheControllerDecodes) {
  struct Batch {
    const char* name;
    size_t frames;
    size_t body;                    // octets of each package body, the first 0x80 (wait)
    std::vector<size_t> at_once;    // packages in each signal sent at once
    std::vector<size_t> after_100ms;
  };
  for (const Batch& b : {
           Batch{"200 small", 200, 2, {128}, {72}},
           Batch{"128 small", 128, 2, {}, {128}},
           Batch{"large bodies", 140, 509, {126}, {14}},
           // Aligned PER has no unfragmented length above 16383.
           Batch{"as long as a signal carries", 1, 16383, {}, {1}},
           Batch{"too long for a signal", 3, 16384, {}, {}},
       }) {
    SCOPED_TRACE(b.name);
    StreamCapture err(std::cerr);
    for (size_t i = 0; i < b.frames; ++i) {
      Packet frame;
      frame.reserve_head(0);
      unsigned char* octets = frame.put(static_cast<unsigned>(3 + b.body));
      std::memset(octets, 0x5a, 3 + b.body);
      octets[0] = 0x12, octets[1] = 0x34, octets[2] = 0x20, octets[3] = 0x07, octets[4] = 0x80;
      slot().on_hdlc_receive(frame);
    }
    const auto counts = [this] {
      std::vector<size_t> got;
      for (const Ctl::Received& r : received()) {
        if (!r.message) {
          ADD_FAILURE() << "undecodable: " << r.bytes.size() << " bytes";
          continue;
        }
        got.push_back(r.message->get_pdu().get_signal().get_ioctl().get_hdlcPackages().size());
      }
      return got;
    };
    EXPECT_EQ(counts(), b.at_once);
    advance(100);
    EXPECT_EQ(counts(), b.after_100ms);
    // One line for the three refused: the rest are left out until the next one.
    EXPECT_EQ(err.take(), b.body > 16383
                              ? "HdlcSlot[1/*]: package of 16384 octets dropped, at most 16383 "
                                "fit a signal\n"
                              : "");
  }
}

// The ring takes a batch whole or not at all: a batch it has no room for is refused with
// nothing queued and no sequence number used.
TEST_F(HdlcRoad, RingTakesABatchWholeOrNotAtAll) {
  StreamCapture err(std::cerr);
  EXPECT_EQ(run({ioctl(3, std::vector<std::string>(125, "01"))}),
            wires({reply(3, 1, "error : insufficientResources")}));
  EXPECT_EQ(err.take(),
            "HdlcSlot[1/*]: transmit queue full: a batch of 125 refused, room for 120\n");
  EXPECT_EQ(run({ioctl(3, std::vector<std::string>(120, "01"))}),
            wires({reply(3, 1, "success : NULL")}));
  // The controller can repeat refused ioctls at any rate: one line a second, then the count.
  for (int i = 0; i < 3; ++i) run({ioctl(3, {"01"})});
  EXPECT_EQ(err.take(), "");
  advance(1000);
  EXPECT_EQ(run({ioctl(3, {"01"})}), wires({reply(3, 1, "error : insufficientResources")}));
  EXPECT_EQ(err.take(),
            "HdlcSlot[1/*]: transmit queue full: a batch of 1 refused, room for 0 (3 similar lines "
            "left out)\n");
  connect();
  Lines frames = sent(120);
  ASSERT_EQ(frames.size(), 120u);
  EXPECT_EQ(frames.back(), "1234e001");  // package 119
  // The refused packages used no sequence number: the next is number 120.
  run({ioctl(4, {"02"})});
  EXPECT_EQ(sent(121).back(), "12340002");
  // On a channel that takes frames the ring drains first; still no batch beyond it is taken.
  EXPECT_EQ(run({ioctl(5, std::vector<std::string>(120, "03")),
                 ioctl(6, std::vector<std::string>(121, "04"))}),
            wires({reply(5, 1, "success : NULL"), reply(6, 1, "error : insufficientResources")}));
  EXPECT_EQ(sent(241).size(), 241u);
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

// However a slot gives its controller channel up, no switch path to it stays: a raw data slot
// that gets the same channel next sends on no line. The HDLC slot holds the channel on trunk
// slot 2, or raw data slot 4 holds it and is connected with trunk slot 2 both ways.
TEST_F(HdlcRoad, AChannelGivenUpLeavesNoPathForItsNextOwner) {
  const std::vector<std::string> hdlc_on_trunk{"{ seq 3, slot 1, pdu command : connect : 2 }",
                                               "{ seq 4, slot 2, pdu command : connect : 1 }"};
  const std::vector<std::string> raw_data_on_trunk{
      "{ seq 3, slot 4, pdu command : create : mcc : { type data, mode standard } }",
      "{ seq 3, slot 4, pdu command : connect : 2 }",
      "{ seq 4, slot 2, pdu command : connect : 4 }"};
  const struct {
    const std::vector<std::string>& holder;
    const char* give_up;
  } cases[] = {
      {hdlc_on_trunk, "{ seq 5, slot 1, pdu command : disconnect : NULL }"},
      {hdlc_on_trunk, "{ seq 5, slot 2, pdu command : disconnect : NULL }"},
      {hdlc_on_trunk, "mcc hangup 1024"},
      {hdlc_on_trunk, "{ seq 5, slot 1, pdu command : destroy : NULL }"},
      {raw_data_on_trunk, "{ seq 5, slot 4, pdu command : destroy : NULL }"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.give_up);
    run(c.holder);
    ASSERT_EQ(output(33), "1024");
    ASSERT_EQ(output(1024), "33");
    if (c.give_up[0] == '{') {
      run({c.give_up});
    } else {
      sim(c.give_up);
      arrived();
    }
    EXPECT_EQ(output(33), "const 0xd5");
    EXPECT_EQ(output(1024), "const 0xd5");
    EXPECT_EQ(run({"{ seq 6, slot 3, pdu command : create : mcc : { type data, mode standard } }",
                   "{ seq 7, slot 3, pdu command : userData : '0102'H }"}),
              wires({reply(6, 3, "success : NULL"), reply(7, 3, "success : NULL")}));
    EXPECT_EQ(sent(1), Lines{"0102"});
    EXPECT_EQ(output(33), "const 0xd5");
    run({"{ seq 8, slot 3, pdu command : destroy : NULL }",
         "{ seq 9, slot 1, pdu command : disconnect : NULL }",
         "{ seq 10, slot 2, pdu command : disconnect : NULL }"});
  }
}

TEST_F(HdlcRoad, LinkInformationKeepsEachCounterInItsField) {
  // A write the controller refuses counts in txError, and in nothing else.
  connect();
  sim("fail mcc/ctl write EPIPE");
  run({ioctl(3, {"01"})});
  EXPECT_EQ(run({"{ seq 4, slot 1, pdu command : deactivate : NULL }"}),
            wires({signal(1, link_info(0, 0, 0, 1)), reply(4, 1, "success : NULL")}));
  // Frames offered to a closed channel count in txDiscard, and in nothing else.
  HDLC closed;
  Packet frame;
  frame.reserve_head(0);
  *frame.put(1) = 0x01;
  EXPECT_FALSE(closed.hdlc_transmit(frame));
  EXPECT_FALSE(closed.hdlc_transmit(frame));
  LinkSlot::ReportHdlcLinkInfo(slot(), closed);
  EXPECT_EQ(arrived(), wires({signal(1, link_info(0, 0, 2, 0))}));
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
