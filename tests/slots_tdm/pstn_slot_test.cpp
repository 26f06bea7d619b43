// PSTN signalling-link slots on trunk slots of the simulated board, grouped by mode: SS7 links
// between two slots (tshark reads their capture), basic-rate connections in either order and
// the network side's frames, and cas. The primary-rate link is in the black-box tests.
#include <gtest/gtest.h>

#include <cstdlib>

#include "slots/tdm/pstn_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"
#include "tests/support/command_output.h"

namespace {

using Brief = std::vector<std::string>;

class PstnRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    PstnFactory::instance();
    LinkTrunkFactories();
  }
  void TearDown() override {
    sim("mcc capture off");
    SlotRoad::TearDown();
  }
  Brief command(const std::string& line) {
    EXPECT_TRUE(ctl_.send(line)) << ctl_.error();
    return briefly();
  }
  // Slot `slot` is a pstn slot with `params`, slot `slot` + 10 its trunk slot (trunk 0), and
  // the trunk slot feeds the pstn slot.
  void link(int slot, const std::string& params, int timeslot) {
    const std::string n = std::to_string(slot), t = std::to_string(slot + 10);
    run({"{ seq 1, slot " + n + ", pdu command : create : pstn : " + params + " }",
         "{ seq 2, slot " + t + ", pdu command : create : trunk : { trunk 0, timeslot " +
             std::to_string(timeslot) + " } }",
         "{ seq 3, slot " + t + ", pdu command : connect : " + n + " }"});
  }
  // The command, then what arrives in the next 100 ms.
  Brief exchange(const std::string& line) {
    Brief got = command(line);
    for (const auto& b : wait(100)) got.push_back(b);
    return got;
  }
  // Turns the loop and moves the clock by `ms` in steps of 10 ms; what arrived, in short.
  Brief wait(unsigned ms) {
    Brief got;
    for (unsigned t = 0; t < ms; t += 10) {
      advance(10);
      for (const auto& b : briefly()) got.push_back(b);
    }
    return got;
  }
  // The capture file of the test, in the board's tree.
  static std::string capture(const char* name) {
    return std::string(std::getenv("ORVEXD_ROOT")) + "/var/" + name + ".pcapng";
  }
  static std::string tshark(const std::string& path) { return output_of("tshark -r " + path + " -V"); }
};

const char* const kSs7 = "ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }";
const char* const kSs7Log =
    "ss7Log : { state FALSE, raw-receive FALSE, raw-transmit FALSE, mtp-transmit FALSE, "
    "mtp-receive FALSE, mtp-activate FALSE, timers FALSE, msu-processing FALSE }";

TEST_F(PstnRoad, Ss7LinkBetweenTwoSlotsCarriesMsusUntilTheTrunkFails) {
  const std::string file = capture("ss7");
  sim("mcc capture " + file);
  link(1, kSs7, 1);
  link(2, kSs7, 2);
  EXPECT_EQ(board().command("mcc channels"),
            (Lines{"1024 mode=3 rx-size=512 rx-threshold=1 tx-threshold=4",
                   "1025 mode=3 rx-size=512 rx-threshold=1 tx-threshold=4"}));
  EXPECT_EQ(output(1024), "1");
  sim("mcc join 1024 1025");
  // Not in service yet: an MSU is refused, not dropped.
  EXPECT_EQ(command("{ seq 4, slot 1, pdu command : userData : '030405'H }"),
            Brief{"response : error : unsupported"});
  Brief up = wait(20000);
  EXPECT_NE(std::find(up.begin(), up.end(), "signal : activated : NULL"), up.end());

  // An MSU: national signalling network management, DPC 1, traffic restart allowed.
  const Brief msu = exchange("{ seq 5, slot 1, pdu command : userData : '800100000017'H }");
  EXPECT_NE(std::find(msu.begin(), msu.end(), "response : success : NULL"), msu.end());
  EXPECT_NE(std::find(msu.begin(), msu.end(), "signal : userData : '80 01 00 00 00 17'H"),
            msu.end());
  EXPECT_EQ(command("{ seq 6, slot 2, pdu command : ioctl : ss7RqBSN : NULL }"),
            (Brief{"signal : ioctl : ss7BSN : 0", "response : success : NULL"}));
  EXPECT_EQ(command("{ seq 7, slot 2, pdu command : ioctl : " + std::string(kSs7Log) + " }"),
            Brief{"response : success : NULL"});

  sim("mcc capture off");
  const std::string dissected = tshark(file);
  EXPECT_NE(dissected.find("Message Transfer Part Level 3"), std::string::npos);
  EXPECT_EQ(dissected.find("Malformed"), std::string::npos);

  // MSUs outside 3 to 273 octets are refused; those at the bounds go through (not dissected:
  // their contents are no MTP3).
  for (const auto& [octets, answer] :
       std::vector<std::pair<size_t, std::string>>{{2, "response : error : unsupported"},
                                                   {3, "response : success : NULL"},
                                                   {273, "response : success : NULL"},
                                                   {274, "response : error : unsupported"}}) {
    SCOPED_TRACE(octets);
    const Brief got = exchange("{ seq 8, slot 2, pdu command : userData : '" +
                               std::string(2 * octets, '8') + "'H }");
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), answer);
    EXPECT_EQ(got.size(), answer == "response : success : NULL" ? 2u : 1u);
  }

  // Trunk 0 is slot 1's (trunk 1 counted from 1): a lost carrier takes its link to idle. BRI
  // line 0 and E1 trunk 1 are not its trunk.
  LGCP::Signal s;
  ACP::TrunkStatus& status = s.select_trunkStatus();
  status.get_state() = ACP::TrunkState::lossCarrier;
  for (const auto& [trunk, type] : {std::pair{1, ACP::TrunkType::e1}, {0, ACP::TrunkType::bri}}) {
    status.set_trunk(trunk);
    status.get_type() = type;
    PstnFactory::instance().SelfSignal(s);
    EXPECT_EQ(briefly(), Brief{});
  }
  EXPECT_EQ(exchange("{ seq 9, slot 1, pdu command : userData : '800100000017'H }").size(), 2u);
  status.set_trunk(0);
  status.get_type() = ACP::TrunkType::e1;
  PstnFactory::instance().SelfSignal(s);
  Brief down = briefly();
  ASSERT_GE(down.size(), 4u);
  EXPECT_EQ(Brief(down.begin(), down.begin() + 4),
            (Brief{"signal : ioctl : ss7LinkInfo", "signal : ioctl : hdlcLinkInfo",
                   "signal : ioctl : ss7LinkInfo", "signal : deactivated : networkError"}));
}

// The controller leaves: the links drop as their slots go, and report nothing to nobody.
TEST_F(PstnRoad, LinksDestroyedWithTheControllerSignalNothing) {
  link(1, kSs7, 1);
  link(2, kSs7, 2);
  sim("mcc join 1024 1025");
  wait(100);
  EXPECT_EQ(controller_leaves().find("ignore Send request"), std::string::npos);
}

TEST_F(PstnRoad, TrunksOffTheBoardAreRefused) {
  StreamCapture err(std::cerr);
  run({"{ seq 1, slot 1, pdu command : create : pstn : " + std::string(kSs7) + " }",
       "{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 4, timeslot 1 } }"});
  EXPECT_EQ(command("{ seq 3, slot 2, pdu command : connect : 1 }"),
            (Brief{"signal : receiver : active : -1", "response : error : connectFail"}));
  EXPECT_NE(err.take().find("pstn-slot: invalid trunk number: 4\n"), std::string::npos);
  run({"{ seq 4, slot 1, pdu command : destroy : NULL }",
       "{ seq 5, slot 2, pdu command : destroy : NULL }"});

  // At create: E1 trunks 1 to 4, BRI lines 1 to 8.
  const struct {
    std::string params;
    bool made;
  } creates[] = {
      {"ss7 : { trunk -2147483648, slc 0, dpc 1, opc 2, emergency FALSE }", false},
      {"ss7 : { trunk 0, slc 0, dpc 1, opc 2, emergency FALSE }", false},
      {"ss7 : { trunk 4, slc 0, dpc 1, opc 2, emergency FALSE }", true},
      {"ss7 : { trunk 5, slc 0, dpc 1, opc 2, emergency FALSE }", false},
      {"isdn : { type pri, trunk 5, log 0, side user : NULL }", false},
      {"cas : { trunk -1 }", false},
      {"isdn : { type bri, trunk 8, log 0, side network : NULL }", true},
      {"isdn : { type bri, trunk 9, log 0, side user : NULL }", false},
  };
  for (const auto& c : creates) {
    SCOPED_TRACE(c.params);
    advance(1000);  // past the interval of the line of the case before
    EXPECT_EQ(command("{ seq 6, slot 3, pdu command : create : pstn : " + c.params + " }"),
              Brief{c.made ? "response : success : NULL" : "response : error : insufficientResources"});
    if (c.made) run({"{ seq 7, slot 3, pdu command : destroy : NULL }"});
    std::string trunk = c.params.substr(c.params.find("trunk ") + 6);
    trunk = trunk.substr(0, trunk.find_first_of(", "));
    EXPECT_EQ(err.take().find("pstn-slot: invalid trunk number: " + trunk + "\n") != std::string::npos,
              !c.made);
  }
}

TEST_F(PstnRoad, BasicRateNeedsBothConnectionsInEitherOrder) {
  for (bool receiver_first : {true, false}) {
    for (const char* side : {"user", "network"}) {
      SCOPED_TRACE(std::string(side) + (receiver_first ? ", receiver first" : ", transmitter first"));
      run({"{ seq 1, slot 1, pdu command : create : pstn : isdn : { type bri, trunk 1, log 0, "
           "side " + std::string(side) + " : NULL } }",
           "{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 0, timeslot 1 } }"});
      const std::string in = "{ seq 3, slot 2, pdu command : connect : 1 }";
      const std::string out = "{ seq 4, slot 1, pdu command : connect : 2 }";
      run({receiver_first ? in : out});
      EXPECT_EQ(board().command("mcc channels"), Lines{});
      run({receiver_first ? out : in});
      EXPECT_EQ(board().command("mcc channels"),
                Lines{"1024 mode=1 rx-size=512 rx-threshold=1 tx-threshold=4"});
      if (std::string(side) == "network") {
        // The network side answers an identity request on its channel, and assigns TEI 64.
        sim("mcc rx 1024 fcff03" "0f" "1234" "01" "ff");
        turns(3);
        const Lines sent = board().command("mcc sent 1024");
        ASSERT_FALSE(sent.empty());
        // Then the link to TEI 64 starts: SABME.
        EXPECT_EQ(sent.back(), "02817f");
      }
      run({"{ seq 5, slot 1, pdu command : destroy : NULL }",
           "{ seq 6, slot 2, pdu command : destroy : NULL }"});
    }
  }
}

// The network side's channel is captured as the network's: tshark reads the C/R bit of every
// frame the right way, so the terminal's commands and the network's answers and commands both
// decode. Read as the user's, the network's SABME would be a response that is none.
TEST_F(PstnRoad, BasicRateNetworkSideCaptureHasTheRightDirection) {
  const std::string file = capture("bri-network");
  run({"{ seq 1, slot 1, pdu command : create : pstn : isdn : { type bri, trunk 1, log 0, "
       "side network : NULL } }",
       "{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 0, timeslot 1 } }",
       "{ seq 3, slot 2, pdu command : connect : 1 }", "{ seq 4, slot 1, pdu command : connect : 2 }"});
  sim("mcc side 1024 network");
  EXPECT_EQ(board().command("mcc channels"),
            Lines{"1024 mode=1 rx-size=512 rx-threshold=1 tx-threshold=4 network"});
  sim("mcc capture " + file);
  // The terminal asks for a TEI; the network assigns 64 and sets up the link; the terminal
  // answers UA.
  sim("mcc rx 1024 fcff03" "0f" "1234" "01" "ff");
  turns(3);
  sim("mcc rx 1024 028173");
  turns(3);
  sim("mcc capture off");
  // Direction 0 is user to network; P marks a command, F a response.
  EXPECT_EQ(output_of("tshark -r " + file + " -T fields -E separator=: -e lapd.direction -e _ws.col.Info"),
            "0:TEI:127 U, func=UI | Identity Request\n"
            "1:TEI:127 U, func=UI | Identity Assigned\n"
            "1:TEI:64 U P, func=SABME | \n"
            "0:TEI:64 U F, func=UA | \n");
}

// ISDN userData needs an open channel, and on the network side a terminal that would get it: a
// SETUP goes to every terminal, also those still without a TEI; other messages to the terminal
// that holds their call.
TEST_F(PstnRoad, IsdnUserDataOnlyWhereALinkCanCarryIt) {
  StreamCapture err(std::cerr);
  const std::string setup = "080101050403808890";
  const std::string user_data = "{ seq 5, slot 1, pdu command : userData : '" + setup + "'H }";
  for (const char* type : {"bri", "pri"}) {
    SCOPED_TRACE(type);
    const bool bri = std::string(type) == "bri";
    run({"{ seq 1, slot 1, pdu command : create : pstn : isdn : { type " + std::string(type) +
             ", trunk 1, log 0, side " + (bri ? "network" : "user") + " : NULL } }",
         bri ? "{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 0, timeslot 1 } }"
             : "{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 16 } }",
         "{ seq 3, slot 2, pdu command : connect : 1 }", "{ seq 4, slot 1, pdu command : connect : 2 }"});
    if (bri) {
      // No terminal yet: the SETUP is broadcast, an ALERTING has no one to go to.
      EXPECT_EQ(command(user_data), Brief{"response : success : NULL"});
      EXPECT_EQ(board().command("mcc sent 1024").back(), "02ff03" + setup);
      EXPECT_EQ(command("{ seq 6, slot 1, pdu command : userData : '08018101'H }"),
                Brief{"response : error : unsupported"});
      EXPECT_NE(err.take().find("userData refused: no terminal's data link established"),
                std::string::npos);
      // TEI 64 assigned: the SETUP goes to every terminal as a UI frame.
      sim("mcc rx 1024 fcff03" "0f" "1234" "01" "ff");
      turns(3);
      EXPECT_EQ(command(user_data), Brief{"response : success : NULL"});
      EXPECT_EQ(board().command("mcc sent 1024").back(), "02ff03" + setup);
      EXPECT_EQ(command("{ seq 6, slot 1, pdu command : userData : '080101'H }"),
                Brief{"response : error : unsupported"});
      // An ALERTING of a call that no terminal holds.
      EXPECT_EQ(command("{ seq 6, slot 1, pdu command : userData : '08018501'H }"),
                Brief{"response : error : unsupported"});
      EXPECT_NE(err.take().find("userData refused: no terminal holds its call reference"),
                std::string::npos);
    } else {
      // Establishing: the message waits for the link.
      EXPECT_EQ(command(user_data), Brief{"response : success : NULL"});
    }
    sim("mcc hangup 1024");
    wait(100);
    EXPECT_EQ(command(user_data), Brief{"response : error : unsupported"});
    EXPECT_NE(err.take().find("userData refused: D channel closed"), std::string::npos);
    run({"{ seq 7, slot 1, pdu command : destroy : NULL }",
         "{ seq 8, slot 2, pdu command : destroy : NULL }"});
  }
}

TEST_F(PstnRoad, ReportsEvery3000msAndRefusalsByMode) {
  StreamCapture err(std::cerr);
  run({"{ seq 1, slot 1, pdu command : create : pstn : " + std::string(kSs7) + " }",
       "{ seq 1, slot 2, pdu command : create : pstn : isdn : { type pri, trunk 1, log 0, "
       "side user : NULL } }",
       "{ seq 1, slot 3, pdu command : create : pstn : cas : { trunk 1 } }"});
  Brief reports = wait(3000);
  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, (Brief{"signal : ioctl : hdlcLinkInfo", "signal : ioctl : hdlcLinkInfo",
                            "signal : ioctl : hdlcLinkInfo", "signal : ioctl : isdnLinkInfo",
                            "signal : ioctl : ss7LinkInfo"}));
  for (const char* slot : {"2", "3"}) {
    EXPECT_EQ(command("{ seq 2, slot " + std::string(slot) + ", pdu command : ioctl : " +
                      kSs7Log + " }"),
              Brief{"response : error : unsupported"});
    EXPECT_EQ(command("{ seq 3, slot " + std::string(slot) +
                      ", pdu command : ioctl : ss7RqBSN : NULL }"),
              Brief{"response : error : unsupported"});
  }
  EXPECT_EQ(command("{ seq 4, slot 3, pdu command : userData : '08'H }"),
            Brief{"response : error : unsupported"});
  EXPECT_NE(err.take().find("03:pstn: userData refused: no link layer"), std::string::npos);
}

// Activate on a LAPD at work keeps the channel: the link re-establishes where it runs.
TEST_F(PstnRoad, ActivateOnAnEstablishedLapdKeepsItsChannel) {
  const std::string sabme = "00017f", ua = "000173";
  link(1, "isdn : { type pri, trunk 1, log 0, side user : NULL }", 16);
  EXPECT_EQ(board().command("mcc sent 1024"), Lines{sabme});
  sim("mcc rx 1024 " + ua);
  Brief up = briefly();
  EXPECT_NE(std::find(up.begin(), up.end(), "signal : activated : NULL"), up.end());
  auto allocated = [] {
    const Lines log = board().command("log mcc/ctl");
    return std::count_if(log.begin(), log.end(),
                         [](const std::string& l) { return l.find("MCC_ALLOCATE") != l.npos; });
  };
  const auto before = allocated();
  EXPECT_EQ(command("{ seq 4, slot 1, pdu command : activate : empty : NULL }"),
            Brief{"response : success : NULL"});
  EXPECT_EQ(allocated(), before);
  EXPECT_EQ(board().command("mcc sent 1024").back(), sabme);
  sim("mcc rx 1024 " + ua);
  up = briefly();
  EXPECT_NE(std::find(up.begin(), up.end(), "signal : activated : NULL"), up.end());
  EXPECT_EQ(command("{ seq 5, slot 1, pdu command : userData : '0801'H }"),
            Brief{"response : success : NULL"});
  EXPECT_EQ(board().command("mcc sent 1024").back(), "000100000801");
}

// A receiver connection that comes while the SS7 link is at work (its former source had the
// same priority, so the slot was not told of the disconnection) starts the link from idle on the
// reopened channel.
TEST_F(PstnRoad, Ss7LinkPlacedAgainAlignsFromIdle) {
  StreamCapture log(std::clog);
  run({"{ seq 1, slot 1, pdu command : create : pstn : " + std::string(kSs7) + " }",
       "{ seq 2, slot 5, pdu command : create : pstn : " + std::string(kSs7) + " }",
       "{ seq 3, slot 11, pdu command : create : trunk : { trunk 0, timeslot 1 } }",
       "{ seq 4, slot 5, pdu command : connect : 1 }"});
  const std::string sio = "ffff0100";
  EXPECT_EQ(board().command("mcc sent 1024"), Lines{sio});
  EXPECT_EQ(exchange("{ seq 5, slot 11, pdu command : connect : 1 }"),
            (Brief{"signal : ioctl : ss7LinkInfo", "signal : ioctl : hdlcLinkInfo",
                   "signal : ioctl : ss7LinkInfo", "signal : deactivated : networkError",
                   "response : success : NULL"}));
  // The board's list starts again with the channel's new allocation.
  EXPECT_EQ(board().command("mcc sent 1024"), Lines{sio});
  EXPECT_EQ(output(1024), "1");
}

// Disconnected from its trunk slot, a link's channel closes and leaves the time slot both ways,
// free for the next link; the answer is success unless the switch keeps one of the paths.
TEST_F(PstnRoad, DisconnectTakesTheLinkOffItsTimeSlot) {
  StreamCapture log(std::clog);
  const struct {
    const char* name;
    const char* fault;  // a board command before the disconnect
    const char* answer;
    const char* trunk_output;  // what trunk 0's time slot 1 carries then
  } rows[] = {
      {"carried out", nullptr, "response : success : NULL", "const 0xd5"},
      // The idle byte refused on the trunk's output: the channel still sends there.
      {"switch refuses", "fail hal 0xc0084d04 EIO", "response : error : disconnectFail", "1024"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    link(1, kSs7, 1);
    ASSERT_EQ(output(1), "1024");
    if (row.fault) sim(row.fault);
    const Brief got = exchange("{ seq 4, slot 1, pdu command : disconnect : NULL }");
    EXPECT_NE(std::find(got.begin(), got.end(), "signal : deactivated : networkError"), got.end());
    EXPECT_EQ(got.back(), row.answer);
    EXPECT_EQ(board().command("mcc channels"), Lines{});
    EXPECT_EQ(output(1024), "const 0xd5");
    EXPECT_EQ(output(1), row.trunk_output);
    // Another link takes the time slot.
    run({"{ seq 5, slot 2, pdu command : create : pstn : " + std::string(kSs7) + " }"});
    EXPECT_EQ(command("{ seq 6, slot 11, pdu command : connect : 2 }").back(),
              "response : success : NULL");
    EXPECT_EQ(output(1), "1024");
    run({"{ seq 7, slot 1, pdu command : destroy : NULL }",
         "{ seq 8, slot 2, pdu command : destroy : NULL }",
         "{ seq 9, slot 11, pdu command : destroy : NULL }"});
  }
}

// A link off its line takes none of it back, and leaves it to the next path (trunk slot 12,
// trunk 1 time slot 3, channel 35, onto slot 2): activated again where such a path now feeds the
// time slot its channel hung up from, it is refused with deactivated; activated after its
// disconnection, it opens its channel on no time slot; on basic rate its transmitter
// disconnection closes the channel as the receiver's does.
TEST_F(PstnRoad, ALinkOffItsLineTakesNothingBack) {
  struct Step {
    int slot;  // 0: a board command
    std::string what;
    const char* answer;        // the last message that comes back
    bool deactivated = false;  // a deactivated signal comes with it
  };
  const struct {
    const char* name;
    bool basic_rate;  // slot 1 a basic-rate user side on BRI line 0's slot 2, else SS7 on E1
    std::vector<Step> steps;
    Lines channels;  // the controller channels open at the end
    int output;      // slot 2's time slot, and what it carries at the end
    const char* carries;
  } rows[] = {
      {"activated where a later path feeds the time slot",
       false,
       {{0, "mcc hangup 1024", "ok"},
        {12, "connect : 2", "response : success : NULL"},
        {1, "activate : empty : NULL", "response : success : NULL", true}},
       {},
       1,
       "35"},
      {"activated after its disconnection",
       false,
       {{1, "disconnect : NULL", "response : success : NULL", true},
        {1, "activate : empty : NULL", "response : success : NULL"},
        {12, "connect : 2", "response : success : NULL"}},
       {"1024 mode=3 rx-size=512 rx-threshold=1 tx-threshold=4"},
       1,
       "35"},
      {"basic rate, the transmitter disconnected",
       true,
       {{1, "connect : 2", "response : success : NULL"},
        {2, "disconnect : NULL", "response : success : NULL", true},
        {12, "connect : 2", "response : success : NULL"}},
       {},
       1,
       "35"},
  };
  const std::string ss7 = std::string("create : pstn : ") + kSs7;
  const std::string bri = "create : pstn : isdn : { type bri, trunk 1, log 0, side user : NULL }";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    run({"{ seq 1, slot 1, pdu command : " + (row.basic_rate ? bri : ss7) + " }",
         std::string("{ seq 2, slot 2, pdu command : create : ") +
             (row.basic_rate ? "trunk_bri" : "trunk") + " : { trunk 0, timeslot 1 } }",
         "{ seq 3, slot 12, pdu command : create : trunk : { trunk 1, timeslot 3 } }",
         "{ seq 4, slot 2, pdu command : connect : 1 }"});
    for (const Step& step : row.steps) {
      SCOPED_TRACE(step.what);
      if (step.slot == 0) {
        EXPECT_EQ(sim(step.what), step.answer);
        wait(100);
        continue;
      }
      const Brief got = exchange("{ seq 5, slot " + std::to_string(step.slot) +
                                 ", pdu command : " + step.what + " }");
      ASSERT_FALSE(got.empty());
      EXPECT_EQ(got.back(), step.answer);
      const auto deactivated = [](const std::string& b) {
        return b.rfind("signal : deactivated", 0) == 0;
      };
      EXPECT_EQ(std::any_of(got.begin(), got.end(), deactivated), step.deactivated);
    }
    EXPECT_EQ(board().command("mcc channels"), row.channels);
    EXPECT_EQ(output(row.output), row.carries);
    run({"{ seq 6, slot 1, pdu command : destroy : NULL }",
         "{ seq 7, slot 2, pdu command : destroy : NULL }",
         "{ seq 8, slot 12, pdu command : destroy : NULL }"});
  }
}

}  // namespace
