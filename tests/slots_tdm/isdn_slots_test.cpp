// ISDN D-channel slots on the simulated multichannel controller and QSIG slots on the simulated
// DSP data driver: allocation, the LAPD's frames both ways, the poll mask, a lost channel, the
// bearer-channel slots and the refusals of userData.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include "proto/packet.h"
#include "slots/tdm/isdn_factory.h"
#include "slots/tdm/isdn_slot.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

using Brief = std::vector<std::string>;

class IsdnRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    IsdnFactory::instance();
    LinkTrunkFactories();
  }
  static IsdnSlot& isdn(unsigned number) {
    return *dynamic_cast<IsdnSlot*>(IsdnFactory::instance().FindSlot(number));
  }
  std::string create(const std::string& params) {
    return "{ seq 1, slot 1, pdu command : create : " + params + " }";
  }
  // Sends the command and turns the loop until something arrives (bounded).
  Brief command(const std::string& line) {
    EXPECT_TRUE(ctl_.send(line)) << ctl_.error();
    return briefly();
  }
};

// The frames the LAPD of a primary-rate user side exchanges with its peer.
constexpr const char* kSabme = "00017f";
constexpr const char* kUa = "000173";

TEST_F(IsdnRoad, PrimaryRateLinkCarriesLayer3BothWays) {
  EXPECT_EQ(command(create("isdn : { type pri, trunk 1, log 0, side user : NULL }")),
            Brief{"response : success : NULL"});
  EXPECT_EQ(board().command("mcc channels"),
            Lines{"1024 mode=0 rx-size=512 rx-threshold=1 tx-threshold=1"});
  // Writable at once: the slot is ready and watches readability only.
  EXPECT_TRUE(isdn(1).ready);
  EXPECT_EQ(isdn(1).event.events(), POLLIN);

  // The slot exposes its channel: a trunk channel is switched to it both ways.
  run({"{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 3 } }",
       "{ seq 3, slot 2, pdu command : connect : 1 }",
       "{ seq 4, slot 1, pdu command : connect : 2 }"});
  EXPECT_EQ(output(1024), "3");
  EXPECT_EQ(output(3), "1024");

  EXPECT_EQ(command("{ seq 5, slot 1, pdu command : activate : empty : NULL }"),
            Brief{"response : success : NULL"});
  EXPECT_EQ(board().command("mcc sent 1024"), Lines{kSabme});
  sim(std::string("mcc rx 1024 ") + kUa);
  EXPECT_EQ(briefly(), (Brief{"signal : ioctl : isdnLinkInfo", "signal : activated : NULL"}));

  EXPECT_EQ(command("{ seq 6, slot 1, pdu command : userData : '0801'H }"),
            Brief{"response : success : NULL"});
  EXPECT_EQ(board().command("mcc sent 1024").back(), "000100000801");
  // An I frame from the network (command, N(S) 0, N(R) 1) goes up as userData.
  sim("mcc rx 1024 0201000205");
  EXPECT_EQ(briefly(), Brief{"signal : userData : '05'H"});
  // ioctl is not served.
  EXPECT_EQ(command("{ seq 7, slot 1, pdu command : ioctl : ss7RqBSN : NULL }"),
            Brief{"response : error : unsupported"});
}

TEST_F(IsdnRoad, EagainWaitsForWritabilityAndTheFrameStaysWithTheLapd) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
  Fd ours(ends[0]), theirs(ends[1]);
  ASSERT_TRUE(ours.NonBlock() && theirs.NonBlock());
  IsdnSlot slot(ours, new ISDN::LAPD(ISDN::Side::user, 0), 7);
  EXPECT_FALSE(slot.ready);
  EXPECT_EQ(slot.event.events(), POLLIN | POLLOUT);
  turns(2);
  EXPECT_TRUE(slot.ready);
  EXPECT_EQ(slot.event.events(), POLLIN);

  // Fill the socket: the next frame meets EAGAIN.
  const std::string filler(512, 'x');
  while (::write(slot.event.fd().get(), filler.data(), filler.size()) > 0) {
  }
  Packet frame;
  frame.reserve_head(0);
  frame.put8(1);
  EXPECT_FALSE(slot.hdlc_transmit(frame));
  EXPECT_FALSE(slot.ready);
  EXPECT_EQ(slot.event.events(), POLLIN | POLLOUT);
  char buffer[1024];
  while (::read(theirs.get(), buffer, sizeof buffer) > 0) {
  }
  turns(2);
  EXPECT_TRUE(slot.ready);
  EXPECT_EQ(slot.event.events(), POLLIN);
  Packet empty;
  EXPECT_TRUE(slot.hdlc_transmit(empty));
}

TEST_F(IsdnRoad, LostChannelTakesTheLinkDownOnce) {
  const std::string activate = "{ seq 2, slot 1, pdu command : activate : empty : NULL }";
  command(create("isdn : { type pri, trunk 1, log 0, side user : NULL }"));
  command(activate);
  sim(std::string("mcc rx 1024 ") + kUa);
  briefly();
  // Activate on the established link: it re-establishes on its channel.
  EXPECT_EQ(command(activate), Brief{"response : success : NULL"});
  EXPECT_EQ(board().command("mcc sent 1024"), (Lines{kSabme, kSabme}));
  sim(std::string("mcc rx 1024 ") + kUa);
  const Brief up = briefly();
  EXPECT_NE(std::find(up.begin(), up.end(), "signal : activated : NULL"), up.end());
  sim("mcc hangup 1024");
  StreamCapture err(std::cerr);
  EXPECT_EQ(briefly(), (Brief{"signal : ioctl : isdnLinkInfo", "signal : deactivated : networkError"}));
  EXPECT_FALSE(isdn(1).is_open());
  // Nothing polls the channel any more: further turns bring nothing.
  EXPECT_EQ(briefly(), Brief{});
  EXPECT_NE(err.take().find("01:MCC: D channel lost"), std::string::npos);
  // The channel is gone: layer-3 messages are refused, not queued.
  EXPECT_EQ(command("{ seq 3, slot 1, pdu command : userData : '08'H }"),
            Brief{"response : error : unsupported"});
  EXPECT_NE(err.take().find("01:MCC: userData refused: D channel closed"), std::string::npos);
  // Nor can the link be activated again.
  EXPECT_EQ(command(activate),
            (Brief{"signal : deactivated : networkError", "response : success : NULL"}));
}

TEST_F(IsdnRoad, UserDataTheLinkCannotCarryIsRefused) {
  StreamCapture err(std::cerr);
  command(create("isdn : { type pri, trunk 1, log 0, side user : NULL }"));
  // The link is not up: messages wait in the I queue until it holds 128.
  std::vector<std::string> commands(128, "{ seq 2, slot 1, pdu command : userData : '08'H }");
  for (const auto& m : run(commands)) EXPECT_EQ(m, wire(reply(2, 1, "success : NULL")));
  EXPECT_EQ(command("{ seq 3, slot 1, pdu command : userData : '08'H }"),
            Brief{"response : error : unsupported"});
  EXPECT_NE(err.take().find("01:MCC: userData refused: LAPD queue full"), std::string::npos);
  // A controller that goes on gets every refusal, and the log one line a second with a count.
  std::vector<std::string> again(50, "{ seq 6, slot 1, pdu command : userData : '08'H }");
  for (const auto& m : run(again)) EXPECT_EQ(m, wire(reply(6, 1, "error : unsupported")));
  EXPECT_EQ(err.take(), "");
  Mux::TestClock::advance_ms(1000);
  command("{ seq 7, slot 1, pdu command : userData : '08'H }");
  EXPECT_EQ(err.take(), "01:MCC: userData refused: LAPD queue full (50 similar lines left out)\n");
  // The slot destroyed writes the count it still owes.
  run(std::vector<std::string>(3, "{ seq 8, slot 1, pdu command : userData : '08'H }"));
  command("{ seq 4, slot 1, pdu command : destroy : NULL }");
  EXPECT_NE(
      err.take().find("01:MCC: userData refused: LAPD queue full (2 similar lines left out)\n"),
      std::string::npos);

  // A pool near its end keeps its reserve for the control connection and received frames.
  command(create("isdn : { type pri, trunk 1, log 0, side user : NULL }"));
  std::vector<Packet> held;
  while (packet_pool().free_count() >= 64) {
    held.emplace_back();
    held.back().reserve_head(0);
  }
  EXPECT_EQ(command("{ seq 5, slot 1, pdu command : userData : '08'H }"),
            Brief{"response : error : unsupported"});
  EXPECT_NE(err.take().find("userData refused: packet pool low"), std::string::npos);
}

TEST_F(IsdnRoad, QsigBearerChannelsFollowTheirSignallingSlot) {
  StreamCapture log(std::clog);
  EXPECT_EQ(command(create("ats-qsig : { side network : NULL }")),
            Brief{"response : success : NULL"});
  EXPECT_EQ(isdn(1).channel, 1280);
  EXPECT_EQ(isdn(1).lapd->trunk, 1280u);
  EXPECT_EQ(isdn(1).lapd->side, ISDN::Side::network);
  // Subslot 2 is index 1 on the driver; its time slot is the slot's channel.
  EXPECT_EQ(command("{ seq 2, slot 2, pdu command : create : ats-qsig-b : { slot 1, subslot 2 } }"),
            Brief{"response : success : NULL"});
  EXPECT_EQ(Slots::instance().GetSlotAt(2)->IGetTransmitChannel(), 1282);
  command("{ seq 3, slot 3, pdu command : create : ats-qsig-b : { slot 1, subslot 3 } }");
  // The same index again, and a signalling slot that is not a QSIG one, are refused.
  EXPECT_EQ(command("{ seq 4, slot 4, pdu command : create : ats-qsig-b : { slot 1, subslot 2 } }"),
            Brief{"response : error : insufficientResources"});
  EXPECT_EQ(command("{ seq 5, slot 4, pdu command : create : ats-qsig-b : { slot 2, subslot 1 } }"),
            Brief{"response : error : insufficientResources"});
  command("{ seq 6, slot 2, pdu command : destroy : NULL }");
  EXPECT_EQ(board().command("log dsp-data"),
            (Lines{"0x40044211 CHANNEL_ID", "0x8008420f ADD_B index=1 ts=-1",
                   "0x8008420f ADD_B index=2 ts=-1", "0x8008420f ADD_B index=1 ts=-1",
                   "0x80044210 REMOVE_B index=1"}));

  // The signalling slot goes first: its bearer channel leaves the driver with it. A new
  // signalling slot takes its number: the old bearer slot's destroy touches neither.
  command("{ seq 7, slot 1, pdu command : destroy : NULL }");
  EXPECT_EQ(board().command("log dsp-data").back(), "0x80044210 REMOVE_B index=2");
  command(create("ats-qsig : { side user : NULL }"));
  log.take();
  command("{ seq 8, slot 3, pdu command : destroy : NULL }");
  EXPECT_EQ(log.take(), "");
  EXPECT_EQ(board().command("log dsp-data").back(), "0x40044211 CHANNEL_ID");
  StreamCapture err(std::cerr);
  sim("fail dsp-data 0x8008420f EINVAL");
  EXPECT_EQ(command("{ seq 9, slot 2, pdu command : create : ats-qsig-b : { slot 1, subslot 1 } }"),
            Brief{"response : error : insufficientResources"});
  EXPECT_EQ(err.take(), "ats-qsig: add B channel fail !!!\n");
}

// The registry destroys a leaving controller's slots in creation order: the signalling slot
// before its bearers.
TEST_F(IsdnRoad, QsigBearerChannelsLeaveTheDriverWhenTheControllerGoes) {
  const size_t mark = board().command("log dsp-data").size();
  command(create("ats-qsig : { side network : NULL }"));
  command("{ seq 2, slot 2, pdu command : create : ats-qsig-b : { slot 1, subslot 1 } }");
  command("{ seq 3, slot 3, pdu command : create : ats-qsig-b : { slot 1, subslot 3 } }");
  EXPECT_EQ(controller_leaves().find("Can't find signalling slot"), std::string::npos);
  const Lines log = board().command("log dsp-data");
  EXPECT_EQ(Lines(log.begin() + static_cast<long>(mark), log.end()),
            (Lines{"0x40044211 CHANNEL_ID", "0x8008420f ADD_B index=0 ts=-1",
                   "0x8008420f ADD_B index=2 ts=-1", "0x80044210 REMOVE_B index=0",
                   "0x80044210 REMOVE_B index=2"}));
}

}  // namespace
