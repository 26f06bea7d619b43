// Slot sequences on switch outputs that an HDLC channel and other slots share. After every
// step the three records must agree: the switch, the controller's channels and the registry of
// switch channels. A line the registry gives an HDLC slot carries an open controller channel and
// a connection of that slot leads there; every open channel carries such a line; and each live
// HDLC slot answers a package with success exactly when it has no connection or its channel
// runs on its line. Each row also names what its lines carry at chosen steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "hw/dsproc_receiver.h"
#include "hw/tonec_receiver.h"
#include "slotbase/switch_channels.h"
#include "slots/tdm/ext_factory.h"
#include "slots/tdm/hdlc_slot.h"
#include "slots/tdm/hdlc_slot_factory.h"
#include "slots/tdm/map_factory.h"
#include "slots/tdm/mixer_factory.h"
#include "slots/tdm/pstn_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

// The switch channels of the simulated controller's channels.
constexpr int kFirstMccChannel = 1024;
constexpr int kLastMccChannel = 1280;

class SharedLines : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    HdlcSlotFactory::instance();
    ExtFactory::instance();
    MapFactory::instance();
    PstnFactory::instance();
    Mixer::MixerFactory::instance();
    LinkTrunkFactories();
  }
  void SetUp() override {
    SlotRoad::SetUp();
    ASSERT_TRUE(Hardware::TonecReceiverService::instance().init());
    ASSERT_TRUE(Hardware::DSProcReceiverService::instance().init());
    sim("mixer add 0 32 8");
    LGCP::Resources report;
    Mixer::MixerFactory::instance().Query(report);
  }
  void TearDown() override {
    SlotRoad::TearDown();
    sim("mixer remove 0");
    LGCP::Resources report;
    Mixer::MixerFactory::instance().Query(report);
    Hardware::TonecReceiverService::instance().release();
    Hardware::DSProcReceiverService::instance().release();
  }

  // The answer to a command of `slot`: "success" or the error's cause.
  std::string answer(int slot, const std::string& pdu) {
    const std::string seq = std::to_string(++seq_);
    EXPECT_TRUE(ctl_.send("{ seq " + seq + ", slot " + std::to_string(slot) +
                          ", pdu command : " + pdu + " }"));
    for (const std::string& m : briefly()) {
      if (m.rfind("response : ", 0) != 0) continue;
      return m == "response : success : NULL" ? "success" : m.substr(m.rfind(' ') + 1);
    }
    return "no answer";
  }
  // What output `line` carries and which slot's HDLC channel the registry gives it: "5=1024/9",
  // "6=const 0xd5/-" (an output no request has named carries nothing: "off").
  static std::string line(int output) {
    const Slot* holder = SwitchChannels::instance().Holder(SwitchChannels::Use::link, output);
    const std::string carries = board().command("switch " + std::to_string(output)).at(0);
    return std::to_string(output) + "=" + (carries.rfind("error", 0) ? carries : "off") + "/" +
           (holder ? std::to_string(holder->number) : "-");
  }
  // Whether a connection of `s` leads to `output`.
  static bool leads_to(Slot& s, int output) {
    if (s.source && s.source->IGetTransmitChannel() == output) return true;
    return std::any_of(s.sinks.begin(), s.sinks.end(),
                       [output](Slot* sink) { return sink->IGetReceiveChannel() == output; });
  }
  // The three records against each other on `lines`, and each live HDLC slot's package answer.
  void agree(const std::vector<int>& lines) {
    Lines open = board().command("mcc channels");
    size_t held = 0;
    for (int output : lines) {
      SCOPED_TRACE(line(output));
      Slot* holder = SwitchChannels::instance().Holder(SwitchChannels::Use::link, output);
      if (!holder) {
        // A line no slot holds carries no controller channel.
        const std::string carries = SlotRoad::output(output);
        const int input = std::isdigit(static_cast<unsigned char>(carries[0])) ? std::stoi(carries) : -1;
        EXPECT_FALSE(input >= kFirstMccChannel && input < kLastMccChannel) << carries;
        continue;
      }
      ++held;
      EXPECT_TRUE(leads_to(*holder, output));
      const std::string carries = SlotRoad::output(output);
      EXPECT_TRUE(std::any_of(open.begin(), open.end(), [&](const std::string& c) {
        return c.rfind(carries + " ", 0) == 0;
      })) << "open channels: " << testing::PrintToString(open);
    }
    EXPECT_EQ(open.size(), held) << testing::PrintToString(open);
    const std::list<Slot*> live = Slots::instance().GetLive();
    for (Slot* s : live) {
      if (!dynamic_cast<HdlcSlot*>(s)) continue;
      bool on_line = false;
      for (int output : lines) {
        on_line |= SwitchChannels::instance().Holder(SwitchChannels::Use::link, output) == s;
      }
      const bool connected = s->source || !s->sinks.empty();
      SCOPED_TRACE("packages of slot " + std::to_string(s->number));
      EXPECT_EQ(answer(static_cast<int>(s->number), "ioctl : hdlcPackages : { { body '01'H } }"),
                !connected || on_line ? "success" : "insufficientResources");
    }
  }

  int seq_ = 0;
};

struct Step {
  int slot;
  std::string pdu;
  const char* answer;
  std::string lines = {};  // what the row's lines carry after the step (line()), when given
};

const std::string kHdlc = "create : hdlcParams : { trunk 1, log 0, address 4660 }";
std::string trunk(int timeslot) {
  return "create : trunk : { trunk 0, timeslot " + std::to_string(timeslot) + " }";
}

TEST_F(SharedLines, EachLineHasOneOwnerThatTheSwitchTheChannelsAndTheRegistryAgreeWith) {
  const std::string mixer_ts = board().command("mixer tdm 0 3").at(0);
  const int t = std::stoi(mixer_ts);
  const std::string map_20 = "create : map : { transmitter { bus 0, channel 20 } }";
  const struct Row {
    const char* name;
    std::vector<int> lines;
    std::vector<Step> steps;
  } rows[] = {
      {"HDLC slot with two sinks",
       {5, 6},
       {{5, trunk(5), "success"},
        {6, trunk(6), "success"},
        {7, trunk(7), "success"},
        {9, kHdlc, "success"},
        {9, "connect : 5", "success", "5=1024/9 6=off/-"},
        {9, "connect : 6", "connectFail", "5=1024/9 6=off/-"},
        {7, "connect : 5", "success", "5=7/- 6=off/-"},
        {10, kHdlc, "success"},
        {10, "connect : 6", "success", "5=7/- 6=1024/10"}}},
      {"both ways to a trunk, then a path replaces one way",
       {5},
       {{5, trunk(5), "success"},
        {7, trunk(7), "success"},
        {9, kHdlc, "success"},
        {9, "connect : 5", "success"},
        {5, "connect : 9", "success", "5=1024/9"},
        {6, trunk(6), "success"},
        {9, "connect : 6", "connectFail", "5=1024/9"},
        {7, "connect : 5", "success", "5=7/-"},
        {9, "activate : empty : NULL", "success", "5=7/-"}}},
      {"a path between other slots onto an HDLC line",
       {5},
       {{5, trunk(5), "success"},
        {7, trunk(7), "success"},
        {9, kHdlc, "success"},
        {5, "connect : 9", "success", "5=1024/9"},
        {7, "connect : 5", "connectFail", "5=1024/9"}}},
      {"a mixer input destroyed on an HDLC line",
       {t},
       {{1, "create : mixerOut : { unit 0, channel tdm : 3, inputs { } }", "success"},
        {9, kHdlc, "success"},
        {1, "connect : 9", "success", mixer_ts + "=1024/9"},
        {2, "create : mixerIn : { unit 0, channel tdm : 3 }", "success"},
        {2, "destroy : NULL", "success", mixer_ts + "=1024/9"},
        {1, "destroy : NULL", "success", mixer_ts + "=off/-"}}},
      {"an extension activated again under an HDLC line",
       {8198},
       {{3, "create : ext : { transmitter 5, receiver 6 }", "success"},
        {3, "activate : empty : NULL", "success"},
        {9, kHdlc, "success"},
        {9, "connect : 3", "success", "8198=1024/9"},
        {3, "activate : empty : NULL", "success", "8198=1024/9"},
        {3, "deactivate : NULL", "success", "8198=off/-"}}},
      {"HDLC slot activated after its disconnection",
       {5},
       {{5, trunk(5), "success"},
        {6, trunk(6), "success"},
        {9, kHdlc, "success"},
        {5, "connect : 9", "success", "5=1024/9"},
        {9, "disconnect : NULL", "success", "5=const 0xd5/-"},
        {9, "activate : empty : NULL", "success", "5=const 0xd5/-"},
        {6, "connect : 5", "success", "5=6/-"}}},
      {"HDLC slot activated after its disconnection from a map slot, the map slot destroyed",
       {8212},
       {{13, map_20, "success"},
        {9, kHdlc, "success"},
        {13, "connect : 9", "success", "8212=1024/9"},
        {9, "disconnect : NULL", "success", "8212=const 0xd5/-"},
        {9, "activate : empty : NULL", "success", "8212=const 0xd5/-"},
        {13, "destroy : NULL", "success", "8212=const 0xd5/-"},
        {13, map_20, "success"},
        {13, "connect : 9", "success", "8212=1024/9"}}},
      {"an HDLC slot left without its line destroyed",
       {5},
       {{5, trunk(5), "success"},
        {7, trunk(7), "success"},
        {9, kHdlc, "success"},
        {9, "connect : 5", "success"},
        {7, "connect : 5", "success", "5=7/-"},
        {9, "destroy : NULL", "success", "5=7/-"}}},
      {"an SS7 link's transmitter connection switches nothing",
       {5},
       {{4, "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }", "success"},
        {5, trunk(5), "success"},
        {4, "connect : 5", "success", "5=const 0xd5/-"},
        {9, kHdlc, "success"},
        {5, "connect : 9", "success", "5=1024/9"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const Step& step : row.steps) {
      SCOPED_TRACE(std::to_string(step.slot) + ": " + step.pdu);
      EXPECT_EQ(answer(step.slot, step.pdu), step.answer);
      if (!step.lines.empty()) {
        std::string lines;
        for (int output : row.lines) lines += (lines.empty() ? "" : " ") + line(output);
        EXPECT_EQ(lines, step.lines);
      }
      agree(row.lines);
    }
    const std::list<Slot*> live = Slots::instance().GetLive();
    for (Slot* s : live) answer(static_cast<int>(s->number), "destroy : NULL");
    agree(row.lines);
  }
}

}  // namespace
