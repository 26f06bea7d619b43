// The lines of the creates the TDM factories refuse, which a controller can repeat at any rate:
// one line a second per kind, with the count of those left out, and one kind never hides
// another; the controller leaving writes the counts still owed. A slot's refusals are counted
// the same way, the counts written when the slot goes.
#include <gtest/gtest.h>

#include <algorithm>

#include "slots/tdm/echo_factory.h"
#include "slots/tdm/ext_factory.h"
#include "slots/tdm/isdn_factory.h"
#include "slots/tdm/mixer_factory.h"
#include "slots/tdm/pstn_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "slots/tdm/voice_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

struct Refused {
  const char* params;
  const char* line;
  // A board command run before each create, or null.
  const char* board = nullptr;
};

class RefusalLogs : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    EchoFactory::instance();
    ExtFactory::instance();
    IsdnFactory::instance();
    Mixer::MixerFactory::instance();
    PstnFactory::instance();
    VoiceFactory::instance();
    LinkTrunkFactories();
  }
  void SetUp() override {
    SlotRoad::SetUp();
    mixers("add 0 16 8");
  }
  void TearDown() override {
    SlotRoad::TearDown();
    mixers("remove 0");
  }
  // Sends the create of slot 1 with the parameters of `r`, after its board command if any; true
  // when it was refused.
  bool refused(const Refused& r) {
    if (r.board) {
      EXPECT_EQ(sim(r.board), "ok");
    }
    return run({"{ seq 1, slot 1, pdu command : create : " + std::string(r.params) + " }"}) ==
           wires({reply(1, 1, "error : insufficientResources")});
  }
};

const Refused kRefused[] = {
    {"echo : { bus 0, channel 1 }", "echo: no echo bus 0"},
    {"ext : { transmitter 4, receiver -8185 }",
     "ext: no extension port -8185, the ports are 0 to 2047"},
    {"isdn : { type bri, trunk 9, log 0, side user : NULL }", "mcc/isdn: invalid trunk number: 9"},
    {"mixerIn : { unit 7, channel tdm : 1 }", "mixer: no unit 7"},
    {"mixerIn : { unit 0, channel tdm : 16 }", "mixer [0]: tdm channel 16 out of range"},
    {"mixerIn : { unit 0, channel rtp : 1 }", "mixer [0]: rtp channels are not served"},
    {"pstn : ss7 : { trunk 5, slc 0, dpc 1, opc 2, emergency FALSE }",
     "pstn-slot: invalid trunk number: 5"},
    {"voice : record : { iaddr \"127.0.0.1\", port 9 }",
     "voice/mcc[0]: MCC_TIMESLOT request failed.", "fail mcc/ctl 0x20004d02 EIO"},
};

TEST_F(RefusalLogs, EachKindIsLoggedOnceASecond) {
  for (const Refused& r : kRefused) {
    SCOPED_TRACE(r.params);
    advance(1000);
    StreamCapture err(std::cerr);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(refused(r));
    EXPECT_EQ(err.take_lines(), Lines{r.line});
    advance(1000);
    EXPECT_TRUE(refused(r));
    EXPECT_EQ(err.take_lines(), Lines{std::string(r.line) + " (19 similar lines left out)"});
  }
}

TEST_F(RefusalLogs, AFloodOfOneKindHidesNoOther) {
  StreamCapture err(std::cerr);
  Lines expected;
  for (int round = 0; round < 10; ++round) {
    for (const Refused& r : kRefused) {
      EXPECT_TRUE(refused(r)) << r.params;
      if (round == 0) expected.push_back(r.line);
    }
  }
  EXPECT_EQ(err.take_lines(), expected);
}

TEST_F(RefusalLogs, TheControllerLeavingWritesTheCountsOwed) {
  StreamCapture err(std::cerr);
  for (int round = 0; round < 5; ++round)
    for (const Refused& r : kRefused) EXPECT_TRUE(refused(r)) << r.params;
  err.take_lines();
  ctl_.close();
  turns(3);
  Lines flushed;
  for (const std::string& line : err.take_lines())
    if (line.find("left out") != std::string::npos) flushed.push_back(line);
  std::sort(flushed.begin(), flushed.end());
  // Each count under the header of the lines it counts.
  EXPECT_EQ(flushed, (Lines{"echo: no echo bus (3 similar lines left out)",
                            "ext: no extension port (3 similar lines left out)",
                            "mcc/isdn: invalid trunk number (3 similar lines left out)",
                            "mixer [0]: rtp channels are not served (3 similar lines left out)",
                            "mixer [0]: tdm channel out of range (3 similar lines left out)",
                            "mixer: no unit (3 similar lines left out)",
                            "pstn-slot: invalid trunk number (3 similar lines left out)",
                            "voice/mcc[0]: MCC_TIMESLOT request failed. (3 similar lines left out)"}));
}

struct SlotRefused {
  // Slot 1's create, then slot 2's if any.
  const char* create;
  const char* peer;
  // A board command run before each try, or null.
  const char* board;
  // The command refused, sent five times.
  const char* command;
  const char* line;
  // The count written when slots 1 and 2 are destroyed.
  const char* count;
  // The unit of slot 1 vanishes before the destroy: it goes with its last slot.
  bool stale_unit = false;
};

TEST_F(RefusalLogs, ASlotsCountsCarryItsLinesHeader) {
  const char* const selcal =
      "{ seq 3, slot 1, pdu command : ioctl : delays : { rx 1, tx 2, selcal 3 } }";
  const char* const selcal_line =
      "mixer [0]: error: selcal delay isn't supported for mixer!!! Set to zero.";
  const char* const selcal_count =
      "mixer [0]: error: selcal delay isn't supported for mixer!!! Set to zero. (3 similar lines "
      "left out)";
  const SlotRefused rows[] = {
      {"pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }",
       "trunk_bri : { trunk 4, timeslot 1 }", nullptr,
       "{ seq 3, slot 2, pdu command : connect : 1 }",
       "pstn-slot: invalid trunk number: 4",
       "pstn-slot: invalid trunk number (3 similar lines left out)"},
      {"ats-qsig : { side user : NULL }", nullptr, "fail dsp-data 0x8008420f EINVAL",
       "{ seq 3, slot 2, pdu command : create : ats-qsig-b : { slot 1, subslot 1 } }",
       "ats-qsig: add B channel fail !!!",
       "ats-qsig: add B channel fail !!! (3 similar lines left out)"},
      {"mixerIn : { unit 0, channel tdm : 1 }", nullptr, nullptr, selcal, selcal_line,
       selcal_count},
      {"mixerIn : { unit 0, channel tdm : 1 }", nullptr, nullptr, selcal, selcal_line, selcal_count,
       true},
  };
  for (const SlotRefused& r : rows) {
    SCOPED_TRACE(r.create);
    advance(1000);
    StreamCapture err(std::cerr);
    run({"{ seq 1, slot 1, pdu command : create : " + std::string(r.create) + " }"});
    if (r.peer) run({"{ seq 2, slot 2, pdu command : create : " + std::string(r.peer) + " }"});
    for (int i = 0; i < 5; ++i) {
      if (r.board) {
        EXPECT_EQ(sim(r.board), "ok");
      }
      run({r.command});
    }
    Lines refused;
    for (const std::string& line : err.take_lines())
      if (line.find(r.line) != std::string::npos) refused.push_back(line);
    EXPECT_EQ(refused, Lines{r.line});
    if (r.stale_unit) {
      EXPECT_EQ(mixers("remove 0"), "ok");
    }
    run({"{ seq 4, slot 1, pdu command : destroy : NULL }",
         "{ seq 5, slot 2, pdu command : destroy : NULL }"});
    Lines counts;
    for (const std::string& line : err.take_lines())
      if (line.find("left out") != std::string::npos) counts.push_back(line);
    EXPECT_EQ(counts, Lines{r.count});
    EXPECT_TRUE(Slots::instance().GetLive().empty());
  }
}

}  // namespace
