// Slot sequences on switch outputs that an HDLC channel and other slots share, in a table and
// from a random driver. After every step the records must agree: the switch, the controller's
// channels, the registry of switch channels and the slot graph (disagreements); and each live
// HDLC slot answers an empty batch of packages with success exactly when it has no connection
// or its channel runs on its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <tuple>

#include "hw/dsproc_receiver.h"
#include "hw/hw_mux.h"
#include "hw/tonec_receiver.h"
#include "slotbase/switch_channels.h"
#include "slots/tdm/ext_factory.h"
#include "slots/tdm/hdlc_slot.h"
#include "slots/tdm/hdlc_slot_factory.h"
#include "slots/tdm/map_factory.h"
#include "slots/tdm/mixer_factory.h"
#include "slots/tdm/pstn_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "slots/tdm/trunk_slot.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

// The slot whose HDLC channel the registry gives `output`, or null.
Slot* holder(int output) {
  return SwitchChannels::instance().Holder(SwitchChannels::Use::link, output);
}
// Whether a connection of `s` (but the source's when `but_source`) leads to a line (a sink's
// receive channel, the source's transmit channel) that `test` takes.
template <class Test>
bool leads(const Slot& s, Test test, bool but_source = false) {
  if (s.source && !but_source && test(s.source->IGetTransmitChannel())) return true;
  return std::any_of(s.sinks.begin(), s.sinks.end(),
                     [&](Slot* sink) { return test(sink->IGetReceiveChannel()); });
}
auto to(int output) {
  return [output](int line) { return line == output; };
}
// A peer without a channel leads to no line.
auto other_than(int output) {
  return [output](int line) { return line >= 0 && line != output; };
}
template <class Kind>
bool is(const Slot* s) {
  return dynamic_cast<const Kind*>(s) != nullptr;
}

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
    mixers("add 0 32 8");
  }
  void TearDown() override {
    SlotRoad::TearDown();
    mixers("remove 0");
    Hardware::TonecReceiverService::instance().release();
    Hardware::DSProcReceiverService::instance().release();
  }

  // The answer to a command of `slot` (answered()).
  std::string answer(int slot, const std::string& pdu) {
    EXPECT_TRUE(ctl_.send("{ seq " + std::to_string(++seq_) + ", slot " + std::to_string(slot) +
                          ", pdu command : " + pdu + " }"));
    return answered();
  }
  // The answer that came since the last call: "success", the error's cause or "no answer". The
  // signals that came meanwhile are kept in `signals_` as "SLOT NAME".
  std::string answered() {
    std::string got = "no answer";
    for (const Ctl::Received& r : received()) {
      const std::string text = r.text();
      const size_t cause = text.find("error : ");
      if (r.is_signal()) {
        signals_.push_back(std::to_string(r.message->get_slot().getValue()) + " " +
                           r.signal_name());
      } else if (cause == std::string::npos) {
        got = "success";
      } else {
        got = text.substr(cause + 8, text.find_first_of(" \n}", cause + 8) - cause - 8);
      }
    }
    return got;
  }
  // What output `output` carries and whose HDLC channel the registry gives it: "5=1024/9",
  // "6=const 0xd5/-" (an output no request has named carries nothing: "off").
  static std::string line(int output) {
    const std::string carries = SlotRoad::output(output);
    const Slot* s = holder(output);
    return std::to_string(output) + "=" + (carries.rfind("error", 0) ? carries : "off") + "/" +
           (s ? std::to_string(s->number) : "-");
  }
  // The model's answer to `source` connecting to `sink` where an HDLC slot and a trunk slot meet,
  // or two trunk slots meet on a line an HDLC slot may hold; empty where it names none.
  static std::string predict(Slot& source, Slot& sink) {
    if (&source == &sink || sink.source == &source) return {};
    const auto answer = [](bool ok) { return std::string(ok ? "success" : "connectFail"); };
    if (is<HdlcSlot>(&sink) && is<TrunkSlot>(&source)) {
      // The channel goes onto the trunk's line: no connection but the one replaced leads
      // elsewhere, no other slot holds the line, no path of the framework feeds it.
      const int line = source.IGetTransmitChannel();
      bool ok = !leads(sink, other_than(line), true) && (!holder(line) || holder(line) == &sink);
      for (Slot* s : Slots::instance().GetLive()) {
        ok = ok && !(s->IGetReceiveChannel() == line && s->source && s->source != &sink &&
                     s->source->IGetTransmitChannel() >= 0);
      }
      return answer(ok);
    }
    // The sink's HDLC source gives the line up as it leaves; a signalling link's transmitter
    // connection does not, its channel runs there for its receiver connection.
    const Slot* held = holder(sink.IGetReceiveChannel());
    const bool given_up = !held || (held == sink.source && is<HdlcSlot>(held));
    if (is<HdlcSlot>(&source) && is<TrunkSlot>(&sink)) {
      return answer(!leads(source, other_than(sink.IGetReceiveChannel())) &&
                    (given_up || held == &source));
    }
    if (is<TrunkSlot>(&source) && is<TrunkSlot>(&sink)) return answer(given_up);
    return {};
  }
  // The records against each other on `lines`, and each live HDLC slot's answer to an empty
  // batch of packages (which fills no ring); what disagrees, one text each. A line the registry
  // gives a slot carries an open channel and a connection of that slot leads there (an HDLC
  // slot's connections all lead there); a line that a path of two slots switched by the
  // framework leads to carries the source's channel; any other line carries no input.
  std::vector<std::string> disagreements(const std::vector<int>& lines) {
    std::vector<std::string> found;
    const auto wrong = [&](const std::string& what, int output) {
      found.push_back(what + " on " + line(output));
    };
    const Lines open = board().command("mcc channels");
    const auto runs = [&](const std::string& carries) {
      return std::any_of(open.begin(), open.end(),
                         [&](const std::string& c) { return c.rfind(carries + " ", 0) == 0; });
    };
    // HDLC slots' channels are data channels (mode 0); a signalling link may open its channel
    // with no time slot, which carries no line.
    long unheld = std::count_if(open.begin(), open.end(), [](const std::string& c) {
      return c.find(" mode=0 ") != std::string::npos;
    });
    for (int output : lines) {
      const std::string carries = SlotRoad::output(output);
      if (const Slot* s = holder(output)) {
        unheld -= is<HdlcSlot>(s);
        if (!leads(*s, to(output))) wrong("a holder without a connection there", output);
        if (is<HdlcSlot>(s) && leads(*s, other_than(output))) {
          wrong("a holder with a connection elsewhere", output);
        }
        if (!runs(carries)) wrong("a held line without an open channel", output);
        continue;
      }
      const int fed_by = path_input(output), input = input_of(carries);
      // A path whose idle byte the switch refused stays, its channel closed, until switched again.
      if (stale_.count(output) && (stale_[output] != input || fed_by >= 0)) stale_.erase(output);
      if (input != fed_by && !(stale_.count(output) && !runs(carries))) {
        wrong(fed_by < 0 ? "an input nobody connected" : "not the path's input", output);
      }
    }
    if (unheld) found.push_back("open channels: " + testing::PrintToString(open));
    for (Slot* s : Slots::instance().GetLive()) {
      if (!is<HdlcSlot>(s)) continue;
      const bool on_line =
          std::any_of(lines.begin(), lines.end(), [s](int output) { return holder(output) == s; });
      const std::string got = answer(static_cast<int>(s->number), "ioctl : hdlcPackages : { }");
      if (got !=
          (on_line || !(s->source || !s->sinks.empty()) ? "success" : "insufficientResources")) {
        found.push_back("slot " + std::to_string(s->number) + " packages: " + got);
      }
    }
    return found;
  }
  // The input of the path between two slots that the framework switched into `output`, or -1.
  static int path_input(int output) {
    int fed_by = -1;
    for (Slot* s : Slots::instance().GetLive()) {
      if (s->IGetReceiveChannel() == output && s->source && !s->GetConnectionPriority() &&
          !s->source->GetConnectionPriority()) {
        fed_by = s->source->IGetTransmitChannel();
      }
    }
    return fed_by;
  }
  // The input a line carries (SlotRoad::output), or -1.
  static int input_of(const std::string& carries) {
    return std::isdigit(static_cast<unsigned char>(carries[0])) ? std::stoi(carries) : -1;
  }
  // Notes the lines that carry an input no path leads to: the switch refused their idle byte.
  // Only a closed controller channel's may stay there, or after a destroy any input.
  void keep_stale(const std::vector<int>& lines, bool destroyed) {
    for (int output : lines) {
      const int input = input_of(SlotRoad::output(output));
      if (input >= 0 && (destroyed || (input >= 1024 && input < 1280)) && !holder(output) &&
          path_input(output) < 0) {
        stale_[output] = input;
      }
    }
  }
  // The open channels, the lines (a stale one may be idled at any time), the slots' sources.
  std::vector<std::string> snapshot(const std::vector<int>& lines) {
    std::vector<std::string> shown = board().command("mcc channels");
    for (int output : lines) {
      const std::string carries = SlotRoad::output(output);
      const bool stale = stale_.count(output) &&
                         (input_of(carries) == stale_[output] || carries == "const 0xd5");
      shown.push_back(stale ? "stale" : line(output));
    }
    for (Slot* s : Slots::instance().GetLive()) {
      shown.push_back(std::to_string(s->number) + "<-" +
                      (s->source ? std::to_string(s->source->number) : "-"));
    }
    return shown;
  }
  void destroy_all() {
    for (Slot* s : std::list<Slot*>(Slots::instance().GetLive())) {
      answer(static_cast<int>(s->number), "destroy : NULL");
    }
  }

  int seq_ = 0;
  std::vector<std::string> signals_;
  // Lines left carrying an input whose idle byte the switch refused, and the input.
  std::map<int, int> stale_;
};

const std::string kHdlc = "create : hdlcParams : { trunk 1, log 0, address 4660 }";
std::string trunk(int timeslot) {
  return "create : trunk : { trunk 0, timeslot " + std::to_string(timeslot) + " }";
}
// The switch refuses the next idle byte.
const char* const kIdleRefused = "fail hal 0xc0084d04 EIO";

TEST_F(SharedLines, EachLineHasOneOwnerThatTheSwitchTheChannelsAndTheRegistryAgreeWith) {
  const std::string mixer_ts = sim("mixer tdm 0 3");
  const std::string map_20 = "create : map : { transmitter { bus 0, channel 20 } }";
  struct Step {
    int slot;  // 0: a board command
    std::string pdu;
    const char* answer;
    std::string lines = {};  // what the row's lines carry after the step (line()), when given
  };
  const struct Row {
    const char* name;
    std::vector<int> lines;
    std::vector<Step> steps;
  } rows[] = {
      {"HDLC slot with two sinks, then left without its line and destroyed",
       {5, 6},
       {{9, "connect : 5", "success", "5=1024/9 6=off/-"},
        {9, "connect : 6", "connectFail", "5=1024/9 6=off/-"},
        {7, "connect : 5", "success", "5=7/- 6=off/-"},
        {10, "connect : 6", "success", "5=7/- 6=1024/10"},
        {9, "destroy : NULL", "success", "5=7/- 6=1024/10"}}},
      {"both ways to a trunk, then a path replaces one way",
       {5},
       {{9, "connect : 5", "success"},
        {5, "connect : 9", "success", "5=1024/9"},
        {9, "connect : 6", "connectFail", "5=1024/9"},
        {7, "connect : 5", "success", "5=7/-"},
        {9, "activate : empty : NULL", "success", "5=7/-"}}},
      {"a source replaced, then both ways to a trunk and another source for the receiving way",
       {5, 6},
       {{5, "connect : 9", "success", "5=1024/9 6=const 0xd5/-"},
        {6, "connect : 9", "success", "5=const 0xd5/- 6=1024/9"},
        {9, "connect : 6", "success", "5=const 0xd5/- 6=1024/9"},
        {5, "connect : 9", "connectFail", "5=const 0xd5/- 6=1024/9"}}},
      {"connections with a slot without a channel take nothing from the line, nor keep it",
       {5},
       {{9, "connect : 5", "success", "5=1024/9"},
        {9, "connect : 10", "success", "5=1024/9"},
        {10, "disconnect : NULL", "success", "5=1024/9"},
        {10, "connect : 9", "success", "5=1024/9"},
        {9, "disconnect : NULL", "success", "5=1024/9"},
        {9, "connect : 10", "success", "5=1024/9"},
        {5, "disconnect : NULL", "success", "5=const 0xd5/-"},
        {9, "activate : empty : NULL", "success", "5=const 0xd5/-"}}},
      {"a mixer input destroyed on an HDLC line",
       {std::stoi(mixer_ts)},
       {{1, "create : mixerOut : { unit 0, channel tdm : 3, inputs { } }", "success"},
        {1, "connect : 9", "success", mixer_ts + "=1024/9"},
        {2, "create : mixerIn : { unit 0, channel tdm : 3 }", "success"},
        {2, "destroy : NULL", "success", mixer_ts + "=1024/9"},
        {1, "destroy : NULL", "success", mixer_ts + "=off/-"}}},
      {"an extension activated again under an HDLC line",
       {8198},
       {{3, "create : ext : { transmitter 5, receiver 6 }", "success"},
        {3, "activate : empty : NULL", "success"},
        {9, "connect : 3", "success", "8198=1024/9"},
        {3, "activate : empty : NULL", "success", "8198=1024/9"},
        {3, "deactivate : NULL", "success", "8198=off/-"},
        {3, "activate : empty : NULL", "success"},
        {6, "connect : 3", "success", "8198=6/-"},
        {3, "activate : empty : NULL", "success", "8198=6/-"}}},
      {"a path between other slots onto an HDLC line; the HDLC slot activated after its "
       "disconnection",
       {5},
       {{5, "connect : 9", "success", "5=1024/9"},
        {7, "connect : 5", "connectFail", "5=1024/9"},
        {9, "disconnect : NULL", "success", "5=const 0xd5/-"},
        {9, "activate : empty : NULL", "success", "5=const 0xd5/-"},
        {6, "connect : 5", "success", "5=6/-"}}},
      {"HDLC slot activated after its disconnection from a map slot, the map slot destroyed",
       {8212},
       {{13, map_20, "success"},
        {13, "connect : 9", "success", "8212=1024/9"},
        {9, "disconnect : NULL", "success", "8212=const 0xd5/-"},
        {9, "activate : empty : NULL", "success", "8212=const 0xd5/-"},
        {13, "destroy : NULL", "success", "8212=const 0xd5/-"},
        {13, map_20, "success"},
        {13, "connect : 9", "success", "8212=1024/9"}}},
      {"an SS7 link's transmitter connection switches nothing",
       {5},
       {{4, "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }", "success"},
        {4, "connect : 5", "success", "5=const 0xd5/-"},
        {5, "connect : 9", "success", "5=1024/9"}}},
      // A refused idle byte fails the command; the channel's next owner idles the line first.
      {"the switch refuses to idle the line a sink-side, then a source-side disconnection leaves",
       {5, 6, 7},
       {{9, "connect : 5", "success", "5=1024/9 6=const 0xd5/- 7=off/-"},
        {0, kIdleRefused, "ok"},
        {5, "disconnect : NULL", "disconnectFail", "5=1024/- 6=const 0xd5/- 7=off/-"},
        {6, "connect : 10", "success", "5=const 0xd5/- 6=1024/10 7=off/-"},
        {5, "connect : 9", "success", "5=1025/9 6=1024/10 7=off/-"},
        {0, kIdleRefused, "ok"},
        {9, "disconnect : NULL", "disconnectFail", "5=1025/- 6=1024/10 7=off/-"},
        {7, "connect : 9", "success", "5=const 0xd5/- 6=1024/10 7=1025/9"}}},
      {"refused idle bytes of a trunk's path; a signalling link the switch refuses to wire",
       {5},
       {{4, "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }", "success"},
        {7, "connect : 5", "success", "5=7/-"},
        {0, kIdleRefused, "ok"},
        {4, "connect : 5", "connectFail", "5=7/-"},
        {0, kIdleRefused, "ok"},
        {5, "disconnect : NULL", "disconnectFail", "5=7/-"},
        {4, "connect : 5", "success", "5=const 0xd5/-"},
        {0, "fail hal 0x80084d02 EIO", "ok"},
        {5, "connect : 4", "connectFail", "5=const 0xd5/-"},
        {4, "activate : empty : NULL", "success", "5=const 0xd5/-"}}},
      // A refused connect leaves the old source's channel closed, or open under its own number.
      {"refused connections over a closed, then an open channel's line",
       {5, 6},
       {{0, "fail hal 0x80084d02 EIO", "ok"},
        {5, "connect : 9", "connectFail", "5=const 0xd5/- 6=const 0xd5/-"},
        {9, "activate : empty : NULL", "success", "5=const 0xd5/- 6=const 0xd5/-"},
        {9, "connect : 5", "success"},
        {5, "connect : 9", "success", "5=1024/9 6=const 0xd5/-"},
        {9, "disconnect : NULL", "success", "5=const 0xd5/- 6=const 0xd5/-"},
        {0, "fail hal 0x80084d02 EIO", "ok"},
        {7, "connect : 5", "connectFail", "5=const 0xd5/- 6=const 0xd5/-"},
        {10, "connect : 6", "success", "5=const 0xd5/- 6=1024/10"},
        {10, "connect : 5", "connectFail", "5=const 0xd5/- 6=1024/10"},
        {9, "activate : empty : NULL", "success", "5=1025/9 6=1024/10"},
        {6, "connect : 10", "success"},
        {10, "disconnect : NULL", "success", "5=1025/9 6=const 0xd5/-"},
        {10, "connect : 5", "connectFail", "5=1025/9 6=const 0xd5/-"}}},
      {"a basic-rate link with two sinks",
       {8, 9},
       {{4, "create : pstn : isdn : { type bri, trunk 1, log 0, side user : NULL }", "success"},
        {11, "create : trunk_bri : { trunk 2, timeslot 0 }", "success"},
        {12, "create : trunk_bri : { trunk 2, timeslot 1 }", "success"},
        {11, "connect : 4", "success"},
        {4, "connect : 11", "success", "8=1024/4 9=off/-"},
        {4, "connect : 12", "connectFail", "8=1024/4 9=off/-"},
        {7, "connect : 11", "success", "8=7/- 9=off/-"}}},
      {"a basic-rate link refused where an HDLC channel runs",
       {8, 9},
       {{4, "create : pstn : isdn : { type bri, trunk 1, log 0, side user : NULL }", "success"},
        {11, "create : trunk_bri : { trunk 2, timeslot 0 }", "success"},
        {12, "create : trunk_bri : { trunk 2, timeslot 1 }", "success"},
        {10, "connect : 12", "success"},
        {11, "connect : 4", "success"},
        {4, "connect : 11", "success", "8=1025/4 9=1024/10"},
        {0, "mcc side 1024 network", "ok"},
        {4, "connect : 12", "connectFail", "8=1025/4 9=1024/10"},
        {0, "mcc channels", "1024 mode=0 rx-size=512 rx-threshold=1 tx-threshold=4 network"}}},
  };
  // Every row has trunk slots 5, 6, 7 on time slots 5, 6, 7 of trunk 0 and HDLC slots 9, 10.
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (int slot : {5, 6, 7}) ASSERT_EQ(answer(slot, trunk(slot)), "success");
    for (int slot : {9, 10}) ASSERT_EQ(answer(slot, kHdlc), "success");
    for (const Step& step : row.steps) {
      SCOPED_TRACE(std::to_string(step.slot) + ": " + step.pdu);
      EXPECT_EQ(step.slot ? answer(step.slot, step.pdu) : sim(step.pdu), step.answer);
      if (!step.lines.empty()) {
        std::string lines;
        for (int output : row.lines) lines += (lines.empty() ? "" : " ") + line(output);
        EXPECT_EQ(lines, step.lines);
      }
      // A path the switch kept leads nowhere in the records.
      if (std::string(step.answer) != "disconnectFail") {
        EXPECT_EQ(disagreements(row.lines), std::vector<std::string>{});
      }
    }
    destroy_all();
    EXPECT_EQ(disagreements(row.lines), std::vector<std::string>{});
  }
}

// The seeds of a run: ORVEX_RANDOM_SEEDS ("1-17", "5"; 1-2 when unset).
std::pair<unsigned, unsigned> seeds() {
  const char* text = std::getenv("ORVEX_RANDOM_SEEDS");
  const std::string range = text && *text ? text : "1-2";
  const unsigned first = static_cast<unsigned>(std::stoul(range));
  const size_t dash = range.find('-');
  if (dash == std::string::npos) return {first, first};
  return {first, static_cast<unsigned>(std::stoul(range.substr(dash + 1)))};
}

// Random commands on slots that share lines: three trunk slots, two HDLC slots, an SS7 link, an
// extension, two map slots on one logical channel, and mixer output and input 3 on one switch and
// DSP channel. After every command the records must agree (disagreements), the answers of the
// connections the model predicts must be its own, the mixer channel's VAD and SD must be what the
// model says (only the input holds them; they go with it), and each injected VAD event must reach
// the slot the model names. ORVEX_RANDOM_COMMANDS per seed (300 when unset); with
// ORVEX_RANDOM_TRACE set, every command and its answer on the standard output.
TEST_F(SharedLines, RandomCommandsKeepTheRecordsAndTheModelInAgreement) {
  const std::string ts = sim("mixer tdm 0 3");
  const std::vector<int> lines = {5, 6, 7, 8197, 8198, 8212, std::stoi(ts)};
  const std::map<int, std::string> creates = {
      {1, "create : mixerOut : { unit 0, channel tdm : 3, inputs { } }"},
      {2, "create : mixerIn : { unit 0, channel tdm : 3 }"},
      {3, "create : ext : { transmitter 5, receiver 6 }"},
      {4, "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }"},
      {5, trunk(5)},
      {6, trunk(6)},
      {7, trunk(7)},
      {9, kHdlc},
      {10, kHdlc},
      {13, "create : map : { transmitter { bus 0, channel 20 } }"},
      {14, "create : map : { receiver { bus 0, channel 20 } }"},
  };
  std::vector<int> numbers;
  for (const auto& c : creates) numbers.push_back(c.first);
  // Connections that put an HDLC channel or a link on a line that other slots switch too.
  const std::vector<std::pair<int, int>> shared = {
      {1, 9},  {1, 10}, {9, 3}, {10, 3}, {13, 9}, {13, 10}, {9, 5}, {5, 9}, {10, 5},
      {5, 10}, {4, 5},  {5, 4}, {6, 5},  {7, 5},  {5, 2},   {6, 3}, {9, 6}, {6, 10}};
  const auto [first, last] = seeds();
  const char* per_seed_text = std::getenv("ORVEX_RANDOM_COMMANDS");
  const unsigned per_seed =
      per_seed_text && *per_seed_text ? static_cast<unsigned>(std::stoul(per_seed_text)) : 300;
  const bool trace = std::getenv("ORVEX_RANDOM_TRACE") != nullptr;
  unsigned commands = 0, events = 0, refusals = 0, predicted = 0, injected = 0, refused_idles = 0;
  std::vector<std::string> mismatches;
  for (unsigned seed = first; seed <= last; ++seed) {
    std::mt19937 random(seed);
    const auto live = [](int slot) {
      return Slots::instance().GetSlotAt(static_cast<unsigned>(slot));
    };
    const auto mismatch = [&](const std::string& what) {
      mismatches.push_back("seed " + std::to_string(seed) + ": " + what);
      if (trace) std::cout << "MISMATCH " << what << "\n";
    };
    // The model of the mixer channel: whether the input holds VAD, SD.
    bool vad = false, sd = false;
    for (unsigned n = 0; n < per_seed && mismatches.size() <= 20; ++n, ++commands) {
      int a = numbers[random() % numbers.size()];
      const int b = numbers[random() % numbers.size()];
      std::string command, expect;
      signals_.clear();
      switch (random() % 10) {
        case 0:
          command = live(a) ? "destroy : NULL" : creates.at(a);
          if (a == 2 && live(a)) vad = sd = false;
          break;
        case 1:
        case 2:
        case 3: {
          int sink = b;
          if (random() % 2) std::tie(a, sink) = shared[random() % shared.size()];
          command = "connect : " + std::to_string(sink);
          if (live(a) && live(sink)) expect = predict(*live(a), *live(sink));
          break;
        }
        case 4:
          command = "disconnect : NULL";
          break;
        case 5:
          command = random() % 3 ? "activate : empty : NULL" : "deactivate : NULL";
          break;
        case 6:
        case 7: {
          const bool on = random() % 2, is_vad = random() % 2;
          command = std::string("ioctl : ") + (is_vad ? "vad" : "sd") +
                    "-enable : " + (on ? "TRUE" : "FALSE");
          a = 1 + static_cast<int>(random() % 2);
          expect = !live(a) ? "slotNotExists" : a == 1 && on ? "unsupported" : "success";
          if (a == 2 && live(a)) (is_vad ? vad : sd) = on;
          break;
        }
        default: {
          // A VAD event of the channel, plain or in a flags event: to the holder of VAD; a flags
          // event that none holds to the oldest mixer slot of the channel.
          const bool plain = random() % 2;
          const std::string event =
              plain ? "dsp vad " + ts + " 1 0" : "dsp event " + ts + " 0 512 536870912 536870912 0";
          const std::string reply = sim(event);
          answered();
          ++events;
          std::string owner = vad ? "2" : "";
          for (Slot* s : Slots::instance().GetLive()) {
            const bool mixer = s->number == 1 || s->number == 2;
            if (!plain && owner.empty() && mixer) owner = std::to_string(s->number);
          }
          std::vector<std::string> want;
          if (!owner.empty()) want.push_back(owner + " vad");
          // A loaded machine may take a few more turns to bring the signal.
          for (int turn = 0; turn < 50 && signals_.size() < want.size(); ++turn) answered();
          if (plain && !vad && reply == "ok") mismatch(event + " answered ok with VAD off");
          if (signals_ != want) {
            mismatch(event + " gave " + testing::PrintToString(signals_) + ", model " +
                     testing::PrintToString(want));
          }
          continue;
        }
      }
      // The switch may refuse a command's first idle byte; a spare output takes an unused one.
      const bool inject = live(a) && (command.find("connect") != std::string::npos ||
                                      command == "destroy : NULL") && random() % 2 == 0;
      if (inject) sim(kIdleRefused);
      const std::vector<std::string> before = snapshot(lines);
      const std::string got = answer(a, command);
      const bool hit = inject && HwMux::instance().Disconnect(10239);
      injected += inject;
      refused_idles += hit;
      const std::string step = (hit ? "(idle refused) " : "") + std::to_string(a) + " " + command;
      if (trace) std::cout << "seed " << seed << " #" << n << ": " << step << ": " << got << "\n";
      refusals += got != "success";
      if (hit) expect.clear();  // the model does not follow the switch
      predicted += !expect.empty();
      if (!expect.empty() && got != expect) {
        mismatch(step + " answered " + got + ", model " + expect);
      }
      // A refused idle byte leaves a path after a disconnection that fails, or after a destroy or
      // a connect that removed an old path on the way; a successful disconnection leaves none.
      if (got == "disconnectFail" || (hit && command != "disconnect : NULL")) {
        keep_stale(lines, command == "destroy : NULL");
      }
      // A command answered with an error changes nothing (a refused disconnection may unlink).
      if (got != "success" && got != "disconnectFail" && snapshot(lines) != before) {
        mismatch(step + " answered " + got + " and changed " + testing::PrintToString(before) +
                 " to " + testing::PrintToString(snapshot(lines)));
      }
      // Each enabled feature's line up to its id, which the model does not follow.
      std::vector<std::string> state, model;
      for (const std::string& l : board().command("dsp state " + ts)) {
        state.push_back(l.substr(0, 20));
      }
      if (vad) model.push_back("enabled mask=0x01 id");
      if (sd) model.push_back("enabled mask=0x02 id");
      if (state != model) {
        mismatch("after " + step + " DSP " + testing::PrintToString(state) + ", model " +
                 testing::PrintToString(model));
      }
      for (const std::string& d : disagreements(lines)) mismatch("after " + step + ": " + d);
    }
    destroy_all();
    for (const std::string& d : disagreements(lines)) mismatch("at the end: " + d);
  }
  std::cout << "random driver: seeds " << first << "-" << last << ", " << commands << " commands, "
            << events << " injected VAD events, " << predicted << " answers predicted, " << refusals
            << " refusals, " << injected << " idle refusals injected (" << refused_idles
            << " taken by the command), " << mismatches.size() << " mismatches" << std::endl;
  EXPECT_EQ(mismatches, std::vector<std::string>{});
}

}  // namespace
