// Raw data channel slots on the simulated multichannel HDLC controller, and the refusals of
// every create that takes a channel of a driver.
#include <gtest/gtest.h>

#include "slots/tdm/isdn_factory.h"
#include "slots/tdm/mcc_factory.h"
#include "slots/tdm/mcc_slot.h"
#include "slots/tdm/trunk_factory.h"
#include "slots/tdm/voice_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

class MccRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    MccFactory::instance();
    VoiceFactory::instance();
    IsdnFactory::instance();
    LinkTrunkFactories();
  }
  void TearDown() override {
    SlotRoad::TearDown();
    sim("plug mcc/ctl");
  }
};

const char* const kCreate =
    "{ seq 1, slot 1, pdu command : create : mcc : { type data, mode standard } }";

TEST_F(MccRoad, AllocationRecordByTypeAndMode) {
  for (const char* params : {"{ type transparent, mode ss7 }", "{ type bri, mode standard }",
                             "{ type data, mode standard }"}) {
    StreamCapture log(std::clog);
    EXPECT_EQ(run({std::string("{ seq 1, slot 1, pdu command : create : mcc : ") + params + " }"}),
              wires({reply(1, 1, "success : NULL")}));
    const char type = params[7] == 't' ? '3' : params[7] == 'b' ? '1' : '0';
    EXPECT_EQ(log.take(), std::string("mcc: MCC_ALLOCATE type=") + type + "\n");
    EXPECT_EQ(board().command("mcc channels"),
              Lines{std::string("1024 mode=") + type +
                    " rx-size=512 rx-threshold=1 tx-threshold=1"});
    EXPECT_EQ(sim("log mcc/ctl").find("0x40144d00 MCC_ALLOCATE"), 0u);
    run({"{ seq 2, slot 1, pdu command : destroy : NULL }"});
    EXPECT_EQ(board().command("mcc channels"), Lines{});
  }
}

TEST_F(MccRoad, FramesBothWaysAndOnTheSwitch) {
  run({kCreate, "{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 3 } }",
       "{ seq 3, slot 2, pdu command : connect : 1 }"});
  EXPECT_EQ(output(1024), "3");
  EXPECT_EQ(run({"{ seq 4, slot 1, pdu command : userData : '0102'H }",
                 "{ seq 5, slot 1, pdu command : userData : ''H }"}),
            wires({reply(4, 1, "success : NULL"), reply(5, 1, "success : NULL")}));
  EXPECT_EQ(board().command("mcc sent 1024").at(0), "0102");
  // Three frames waiting at one readable event: three signals, in order.
  for (const char* frame : {"aa", "bbbb", "cccccc"}) sim(std::string("mcc rx 1024 ") + frame);
  EXPECT_EQ(arrived(), wires({signal(1, "userData : 'AA'H"), signal(1, "userData : 'BBBB'H"),
                              signal(1, "userData : 'CCCCCC'H")}));
}

// Two raw data slots whose channels the board joins: what one is given arrives whole at the
// other, and userData longer than the far end reads whole is refused, not cut.
TEST_F(MccRoad, UserDataTheFarEndReadsWholeOrAnError) {
  run({kCreate, "{ seq 2, slot 2, pdu command : create : mcc : { type data, mode standard } }"});
  ASSERT_EQ(sim("mcc join 1024 1025"), "ok");
  struct Size {
    size_t octets;
    bool taken;
    const char* log;  // on std::cerr; a refusal repeated at once is left out
  };
  for (const Size& c : {
           Size{1, true, ""},
           Size{MccSlot::kMaxFrame, true, ""},
           Size{MccSlot::kMaxFrame + 1, false,
                "01:MCC: userData of 1025 bytes refused, a frame carries 1024 at most\n"},
           Size{4000, false, ""},
       }) {
    SCOPED_TRACE(c.octets);
    StreamCapture err(std::cerr);
    const std::string hex(2 * c.octets, 'a');
    std::vector<std::string> got =
        run({"{ seq 3, slot 1, pdu command : userData : '" + hex + "'H }"});
    if (c.taken) {
      // The board passes the frame on while the loop runs.
      const size_t answered = got.size();
      for (const std::string& m : until([answered](const Lines& more) {
             return answered + more.size() >= 2;
           })) {
        got.push_back(m);
      }
      EXPECT_EQ(got,
                wires({reply(3, 1, "success : NULL"), signal(2, "userData : '" + hex + "'H")}));
    } else {
      EXPECT_EQ(got, wires({reply(3, 1, "error : unsupported")}));
      EXPECT_EQ(board().command("mcc sent 1024").size(), 2u) << "nothing written";
    }
    EXPECT_EQ(err.take(), c.log);
  }
}

TEST_F(MccRoad, FailuresAreAnsweredAndLogged) {
  StreamCapture err(std::cerr);
  sim("unplug mcc/ctl");
  EXPECT_EQ(run({kCreate}), wires({reply(1, 1, "error : insufficientResources")}));
  EXPECT_EQ(err.take(), "mcc: fail to open MCC device: No such file or directory\n");
  sim("plug mcc/ctl");
  sim("fail mcc/ctl 0x40144d00 ENOSPC");
  EXPECT_EQ(run({kCreate}), wires({reply(1, 1, "error : insufficientResources")}));
  EXPECT_EQ(err.take(), "mcc: MCC_ALLOCATE fail: No space left on device\n");

  // A write the channel refuses is refused to the controller.
  run({kCreate});
  sim("fail mcc/ctl write EPIPE");
  EXPECT_EQ(run({"{ seq 2, slot 1, pdu command : userData : '01'H }"}),
            wires({reply(2, 1, "error : unsupported")}));
  EXPECT_EQ(err.take(), "01:MCC: write fail: Broken pipe\n");

  // A lost channel is logged once and no longer polled; the slot stays until destroyed.
  sim("mcc hangup 1024");
  EXPECT_EQ(arrived(), Lines{});
  EXPECT_EQ(err.take(), "01:MCC: channel lost\n");
  EXPECT_EQ(run({"{ seq 3, slot 1, pdu command : destroy : NULL }"}),
            wires({reply(3, 1, "success : NULL")}));
}

// The device refuses one request of a create that takes a channel of a driver: the create is
// answered with an error, no signal goes out, no channel or session is held, and it then succeeds.
TEST_F(MccRoad, ARefusedRequestOfACreateLeavesNothingHeld) {
  using Refusals = std::vector<std::pair<const char*, const char*>>;  // board's fail, log line
  const Refusals controller = {{"mcc/ctl open EIO", "fail to open"},
                               {"mcc/ctl 0x40144d00 ENOSPC", "MCC_ALLOCATE fail: No space left"},
                               {"mcc/ctl 0x20004d02 EIO", "MCC_TIMESLOT"},
                               {"mcc/ctl 0x20004d02 ENODEV", "MCC_TIMESLOT"}};
  const struct {
    const char *params, *log;  // the start of the create's log lines
    Refusals refusals;
  } creates[] = {
      {"mcc : { type data, mode standard }", "mcc: ", controller},
      {"mcc : { type data, mode ss7 }", "mcc: ", controller},
      {"voice : player : file : { name { \"a.al\" }, repeat 0 }", "", controller},
      {"voice : player : network : { host { iaddr \"127.0.0.1\", port 9 }, id 1 }", "", controller},
      {"voice : record : { iaddr \"127.0.0.1\", port 9 }", "", controller},
      {"isdn : { type pri, trunk 1, log 0, side user : NULL }", "mcc/isdn: ", controller},
      {"isdn : { type bri, trunk 1, log 0, side user : NULL }", "mcc/isdn: ", controller},
      {"ats-qsig : { side user : NULL }", "mcc/isdn: ",
       {{"dsp-data open EIO", "fail to open dsp-data device: Input/output error"},
        {"dsp-data 0x40044211 EIO", "CHANNEL_ID fail: Input/output error"},
        {"dsp-data 0x40044211 ENODEV", "CHANNEL_ID fail: No such device"}}},
  };
  for (const auto& create : creates) {
    const std::string command =
        std::string("{ seq 1, slot 1, pdu command : create : ") + create.params + " }";
    for (const auto& refusal : create.refusals) {
      SCOPED_TRACE(std::string(create.params) + " / " + refusal.first);
      advance(1000);  // a line of each kind a second
      StreamCapture err(std::cerr);
      EXPECT_EQ(sim(std::string("fail ") + refusal.first), "ok");
      EXPECT_EQ(run({command}), wires({reply(1, 1, "error : insufficientResources")}));
      EXPECT_NE(err.take().find(create.log + std::string(refusal.second)), std::string::npos);
      EXPECT_EQ(board().command("mcc channels"), Lines{});
      EXPECT_EQ(board().command("sessions mcc/ctl"), Lines{"0"});
      EXPECT_EQ(board().command("sessions dsp-data"), Lines{"0"});
      EXPECT_EQ(run({command}).at(0), wire(reply(1, 1, "success : NULL")));
      run({"{ seq 2, slot 1, pdu command : destroy : NULL }"});
    }
  }
}

TEST_F(MccRoad, CapacityInTheResourceReport) {
  sim("mcc capacity 5 6 7");
  LGCP::Resources report;
  const auto figures = [&report] {
    MccFactory::instance().Query(report);
    return std::vector<int>{report.get_mcc_data().getValue(), report.get_mcc_bri().getValue(),
                            report.get_mcc_trans().getValue()};
  };
  EXPECT_EQ(figures(), (std::vector<int>{5, 6, 7}));
  EXPECT_EQ(board().command("sessions mcc/ctl"), Lines{"0"});
  sim("unplug mcc/ctl");
  EXPECT_EQ(figures(), (std::vector<int>{0, 0, 0}));
}

}  // namespace
