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
    add_mixer(0, 32, 8);
  }
  void TearDown() override {
    SlotRoad::TearDown();
    remove_mixer(0);
    Hardware::TonecReceiverService::instance().release();
    Hardware::DSProcReceiverService::instance().release();
  }

  // The answer to a command of `slot`: "success" or the error's cause. The signals that came
  // meanwhile are kept in `signals_` as "SLOT NAME".
  std::string answer(int slot, const std::string& pdu) {
    const std::string seq = std::to_string(++seq_);
    EXPECT_TRUE(ctl_.send("{ seq " + seq + ", slot " + std::to_string(slot) +
                          ", pdu command : " + pdu + " }"));
    return answered();
  }
  // The answer that came since the last call (or "no answer"), the signals kept.
  std::string answered() {
    std::string got = "no answer";
    for (const Ctl::Received& r : received()) {
      if (r.is_signal()) {
        signals_.push_back(std::to_string(r.message->get_slot().getValue()) + " " +
                           r.signal_name());
        continue;
      }
      const std::string text = r.text();
      const size_t error = text.find("error : ");
      if (error == std::string::npos) {
        got = "success";
      } else {
        const size_t cause = error + 8;
        got = text.substr(cause, text.find_first_of(" \n}", cause) - cause);
      }
    }
    return got;
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
  // Whether every connection of `s` leads to `output`.
  static bool leads_only_to(Slot& s, int output) { return !leads_to_other_than(s, output, false); }
  // The model's answer to `source` connecting to `sink` where an HDLC slot and a trunk slot meet,
  // or two trunk slots meet on a line an HDLC slot may hold; empty where it names none.
  static std::string predict(Slot& source, Slot& sink) {
    if (&source == &sink || sink.source == &source) return {};
    SwitchChannels& registry = SwitchChannels::instance();
    const auto* hdlc_source = dynamic_cast<HdlcSlot*>(&source);
    const auto* hdlc_sink = dynamic_cast<HdlcSlot*>(&sink);
    const bool trunk_source = dynamic_cast<TrunkSlot*>(&source);
    const bool trunk_sink = dynamic_cast<TrunkSlot*>(&sink);
    const auto answer = [](bool ok) { return std::string(ok ? "success" : "connectFail"); };
    if (hdlc_sink && trunk_source) {
      // The channel goes onto the trunk's line: no connection but the one replaced leads
      // elsewhere, no other slot holds the line, no path of the framework feeds it.
      const int line = source.IGetTransmitChannel();
      bool ok = !leads_to_other_than(sink, line, true);
      const Slot* holder = registry.Holder(SwitchChannels::Use::link, line);
      ok = ok && (!holder || holder == &sink);
      for (Slot* s : Slots::instance().GetLive()) {
        ok = ok && !(s->IGetReceiveChannel() == line && s->source && s->source != &sink &&
                     s->source->IGetTransmitChannel() >= 0);
      }
      return answer(ok);
    }
    // The sink's HDLC source gives the line up as it leaves; a signalling link's transmitter
    // connection does not, its channel runs there for its receiver connection.
    const auto given_up = [&](const Slot* holder) {
      return holder == sink.source && dynamic_cast<const HdlcSlot*>(holder);
    };
    if (hdlc_source && trunk_sink) {
      const int line = sink.IGetReceiveChannel();
      const Slot* holder = registry.Holder(SwitchChannels::Use::link, line);
      return answer(!leads_to_other_than(source, line, false) &&
                    (!holder || holder == &source || given_up(holder)));
    }
    if (trunk_source && trunk_sink) {
      const Slot* holder = registry.Holder(SwitchChannels::Use::link, sink.IGetReceiveChannel());
      return answer(!holder || given_up(holder));
    }
    return {};
  }
  // Whether a connection of `s` (but the source's when `but_source`) leads to a line other than
  // `output` (one with a peer without a channel leads to none).
  static bool leads_to_other_than(Slot& s, int output, bool but_source) {
    const auto off = [output](int line) { return line >= 0 && line != output; };
    if (s.source && !but_source && off(s.source->IGetTransmitChannel())) return true;
    return std::any_of(s.sinks.begin(), s.sinks.end(),
                       [&](Slot* sink) { return off(sink->IGetReceiveChannel()); });
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
    const std::list<Slot*> live = Slots::instance().GetLive();
    // HDLC slots' channels (data channels, mode 0); a signalling link may open its channel with
    // no time slot, which carries no line.
    size_t held = 0;
    const size_t data_channels = std::count_if(open.begin(), open.end(), [](const std::string& c) {
      return c.find(" mode=0 ") != std::string::npos;
    });
    for (int output : lines) {
      const std::string carries = SlotRoad::output(output);
      const int input =
          std::isdigit(static_cast<unsigned char>(carries[0])) ? std::stoi(carries) : -1;
      if (Slot* holder = SwitchChannels::instance().Holder(SwitchChannels::Use::link, output)) {
        held += dynamic_cast<HdlcSlot*>(holder) != nullptr;
        if (!leads_to(*holder, output)) wrong("a holder without a connection there", output);
        if (dynamic_cast<HdlcSlot*>(holder) && !leads_only_to(*holder, output)) {
          wrong("a holder with a connection elsewhere", output);
        }
        if (std::none_of(open.begin(), open.end(), [&](const std::string& c) {
              return c.rfind(carries + " ", 0) == 0;
            })) {
          wrong("a held line without an open channel", output);
        }
        continue;
      }
      // The path of the framework's switching into this line, if any.
      int fed_by = -1;
      for (Slot* s : live) {
        if (s->IGetReceiveChannel() != output || !s->source) continue;
        if (s->GetConnectionPriority() || s->source->GetConnectionPriority()) continue;
        fed_by = s->source->IGetTransmitChannel();
      }
      if (input != fed_by) {
        wrong(fed_by < 0 ? "an input nobody connected" : "not the path's input", output);
      }
    }
    if (data_channels != held) found.push_back("open channels: " + testing::PrintToString(open));
    for (Slot* s : live) {
      if (!dynamic_cast<HdlcSlot*>(s)) continue;
      bool on_line = false;
      for (int output : lines) {
        on_line |= SwitchChannels::instance().Holder(SwitchChannels::Use::link, output) == s;
      }
      const bool connected = s->source || !s->sinks.empty();
      const std::string got =
          answer(static_cast<int>(s->number), "ioctl : hdlcPackages : { }");
      if (got != (!connected || on_line ? "success" : "insufficientResources")) {
        found.push_back("slot " + std::to_string(s->number) + " packages: " + got);
      }
    }
    return found;
  }
  void agree(const std::vector<int>& lines) {
    EXPECT_EQ(disagreements(lines), std::vector<std::string>{});
  }

  int seq_ = 0;
  std::vector<std::string> signals_;
};

struct Step {
  int slot;
  std::string pdu;
  const char* answer;
  std::string lines = {};  // what the row's lines carry after the step (line()), when given
};

const std::string kHdlc = "create : hdlcParams : { trunk 1, log 0, address 4660 }";
// The switch refuses the next idle byte.
const char* const kIdleRefused = "fail hal 0xc0084d04 EIO";
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
       {{9, "connect : 5", "success", "5=1024/9 6=off/-"},
        {9, "connect : 6", "connectFail", "5=1024/9 6=off/-"},
        {7, "connect : 5", "success", "5=7/- 6=off/-"},
        {10, "connect : 6", "success", "5=7/- 6=1024/10"}}},
      {"both ways to a trunk, then a path replaces one way",
       {5},
       {{9, "connect : 5", "success"},
        {5, "connect : 9", "success", "5=1024/9"},
        {9, "connect : 6", "connectFail", "5=1024/9"},
        {7, "connect : 5", "success", "5=7/-"},
        {9, "activate : empty : NULL", "success", "5=7/-"}}},
      {"both ways to a trunk, then another source for the receiving way",
       {5},
       {{5, "connect : 9", "success"},
        {9, "connect : 5", "success", "5=1024/9"},
        {6, "connect : 9", "connectFail", "5=1024/9"}}},
      {"the line's connection goes, one with a slot without a channel stays",
       {5},
       {{9, "connect : 5", "success", "5=1024/9"},
        {9, "connect : 10", "success", "5=1024/9"},
        {5, "disconnect : NULL", "success", "5=const 0xd5/-"},
        {9, "activate : empty : NULL", "success", "5=const 0xd5/-"}}},
      {"a path between other slots onto an HDLC line",
       {5},
       {{5, "connect : 9", "success", "5=1024/9"},
        {7, "connect : 5", "connectFail", "5=1024/9"}}},
      {"a mixer input destroyed on an HDLC line",
       {t},
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
        {3, "deactivate : NULL", "success", "8198=off/-"}}},
      {"HDLC slot activated after its disconnection",
       {5},
       {{5, "connect : 9", "success", "5=1024/9"},
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
      {"an HDLC slot left without its line destroyed",
       {5},
       {{9, "connect : 5", "success"},
        {7, "connect : 5", "success", "5=7/-"},
        {9, "destroy : NULL", "success", "5=7/-"}}},
      {"a connection with a slot without a channel takes nothing from the line",
       {5},
       {{9, "connect : 5", "success", "5=1024/9"},
        {9, "connect : 10", "success", "5=1024/9"},
        {10, "disconnect : NULL", "success", "5=1024/9"},
        {10, "connect : 9", "success", "5=1024/9"},
        {9, "disconnect : NULL", "success", "5=1024/9"},
        {5, "disconnect : NULL", "success", "5=const 0xd5/-"}}},
      {"the switch refuses to idle the line an HDLC slot's disconnection leaves",
       {5, 6},
       {{5, "connect : 9", "success", "5=1024/9 6=const 0xd5/-"},
        {0, kIdleRefused, "ok"},
        {9, "disconnect : NULL", "disconnectFail", "5=1024/- 6=const 0xd5/-"},
        {7, "connect : 5", "success", "5=7/- 6=const 0xd5/-"},
        {9, "connect : 6", "success", "5=7/- 6=1024/9"},
        {0, kIdleRefused, "ok"},
        {0, kIdleRefused, "ok"},
        {6, "disconnect : NULL", "disconnectFail", "5=7/- 6=1024/-"},
        {7, "connect : 6", "success", "5=7/- 6=7/-"}}},
      {"a basic-rate link with two sinks",
       {8, 9},
       {{4, "create : pstn : isdn : { type bri, trunk 1, log 0, side user : NULL }", "success"},
        {11, "create : trunk_bri : { trunk 2, timeslot 0 }", "success"},
        {12, "create : trunk_bri : { trunk 2, timeslot 1 }", "success"},
        {11, "connect : 4", "success"},
        {4, "connect : 11", "success", "8=1024/4 9=off/-"},
        {4, "connect : 12", "connectFail", "8=1024/4 9=off/-"},
        {7, "connect : 11", "success", "8=7/- 9=off/-"}}},
      {"an SS7 link's transmitter connection switches nothing",
       {5},
       {{4, "create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, emergency FALSE }", "success"},
        {4, "connect : 5", "success", "5=const 0xd5/-"},
        {5, "connect : 9", "success", "5=1024/9"}}},
  };
  // Every row has trunk slots 5, 6, 7 on time slots 5, 6, 7 of trunk 0 and HDLC slots 9, 10.
  const std::vector<Step> opening = {{5, trunk(5), "success"}, {6, trunk(6), "success"},
                                     {7, trunk(7), "success"}, {9, kHdlc, "success"},
                                     {10, kHdlc, "success"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const Step& step : opening) ASSERT_EQ(answer(step.slot, step.pdu), step.answer);
    for (const Step& step : row.steps) {
      SCOPED_TRACE(std::to_string(step.slot) + ": " + step.pdu);
      EXPECT_EQ(step.slot ? answer(step.slot, step.pdu) : sim(step.pdu), step.answer);
      if (!step.lines.empty()) {
        std::string lines;
        for (int output : row.lines) lines += (lines.empty() ? "" : " ") + line(output);
        EXPECT_EQ(lines, step.lines);
      }
      // A path the switch kept leads nowhere in the records.
      if (std::string(step.answer) != "disconnectFail") agree(row.lines);
    }
    const std::list<Slot*> live = Slots::instance().GetLive();
    for (Slot* s : live) answer(static_cast<int>(s->number), "destroy : NULL");
    agree(row.lines);
  }
}

}  // namespace

namespace {

// The numbers of a run: ORVEX_RANDOM_SEEDS ("1-17", "5"; 1-2 when unset) and
// ORVEX_RANDOM_COMMANDS per seed (300 when unset).
std::pair<unsigned, unsigned> seeds() {
  const char* text = std::getenv("ORVEX_RANDOM_SEEDS");
  if (!text || !*text) return {1, 2};
  const std::string range = text;
  const size_t dash = range.find('-');
  const unsigned first = static_cast<unsigned>(std::stoul(range.substr(0, dash)));
  if (dash == std::string::npos) return {first, first};
  return {first, static_cast<unsigned>(std::stoul(range.substr(dash + 1)))};
}
unsigned commands_per_seed() {
  const char* text = std::getenv("ORVEX_RANDOM_COMMANDS");
  return text && *text ? static_cast<unsigned>(std::stoul(text)) : 300;
}

// Random commands on slots that share lines: three trunk slots, two HDLC slots, an SS7 link, an
// extension, two map slots on one logical channel, and mixer output and input 3 on one switch and
// DSP channel. After every command the records must agree (disagreements), the mixer channel's
// VAD and SD must be what the model says (only the input holds them; they go with it), and each
// injected VAD event must reach the slot the model names.
TEST_F(SharedLines, RandomCommandsKeepTheRecordsAndTheModelInAgreement) {
  const std::string ts = board().command("mixer tdm 0 3").at(0);
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
  const std::vector<std::pair<int, int>> shared = {
      {1, 9},  {1, 10}, {9, 3},  {10, 3}, {13, 9}, {13, 10}, {9, 5},  {5, 9}, {10, 5},
      {5, 10}, {4, 5},  {5, 4},  {6, 5},  {7, 5},  {5, 2},   {6, 3},  {9, 6}, {6, 10}};
  const auto [first, last] = seeds();
  const unsigned per_seed = commands_per_seed();
  // ORVEX_RANDOM_TRACE set: every command and its answer on the standard output.
  const bool trace = std::getenv("ORVEX_RANDOM_TRACE") != nullptr;
  unsigned commands = 0, events = 0, refusals = 0, predicted = 0;
  std::vector<std::string> mismatches;
  for (unsigned seed = first; seed <= last; ++seed) {
    std::mt19937 random(seed);
    const auto pick = [&] { return numbers[random() % numbers.size()]; };
    // The model of the mixer channel: whether the input holds VAD, SD.
    bool vad = false, sd = false;
    for (unsigned n = 0; n < per_seed; ++n, ++commands) {
      const auto live = [](int slot) {
        return Slots::instance().GetSlotAt(static_cast<unsigned>(slot));
      };
      int a = pick();
      const int b = pick();
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
          // Half of the connections put an HDLC channel or a link on a line that other slots
          // switch too.
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
          const bool on = random() % 2;
          const bool is_vad = random() % 2;
          command = std::string("ioctl : ") + (is_vad ? "vad" : "sd") + "-enable : " +
                    (on ? "TRUE" : "FALSE");
          a = 1 + static_cast<int>(random() % 2);
          if (!live(a)) {
            expect = "slotNotExists";
          } else if (a == 1) {
            expect = on ? "unsupported" : "success";
          } else {
            expect = "success";
            (is_vad ? vad : sd) = on;
          }
          break;
        }
        default: {
          // A VAD event of the channel, plain or in a flags event.
          const bool plain = random() % 2;
          const std::string line =
              plain ? "dsp vad " + ts + " 1 0" : "dsp event " + ts + " 0 512 536870912 536870912 0";
          const std::string reply = board().command(line).at(0);
          answered();
          ++events;
          // The plain event goes to the holder of VAD; the flags event to it, else to the oldest
          // mixer slot of the channel.
          std::vector<std::string> want;
          std::string owner;
          if (vad) {
            owner = "2";
          } else if (!plain) {
            for (Slot* s : Slots::instance().GetLive()) {
              const bool mixer = s->number == 1 || s->number == 2;
              if (owner.empty() && mixer) owner = std::to_string(s->number);
            }
          }
          if (!owner.empty()) want.push_back(owner + " vad");
          // A loaded machine may take a few more turns to bring the signal.
          for (int turn = 0; turn < 50 && signals_.size() < want.size(); ++turn) answered();
          if (plain && !vad && reply == "ok") {
            mismatches.push_back("seed " + std::to_string(seed) + ": " + line +
                                 " answered ok with VAD off");
          }
          if (signals_ != want) {
            mismatches.push_back("seed " + std::to_string(seed) + ": " + line + " gave " +
                                 testing::PrintToString(signals_) + ", model " +
                                 testing::PrintToString(want));
          }
          continue;
        }
      }
      const std::string got = answer(a, command);
      if (trace) {
        std::cout << "seed " << seed << " #" << n << ": " << a << " " << command << ": " << got
                  << std::endl;
      }
      if (got != "success") ++refusals;
      predicted += !expect.empty();
      if (!expect.empty() && got != expect) {
        mismatches.push_back("seed " + std::to_string(seed) + ": " + std::to_string(a) + " " +
                             command + " answered " + got + ", model " + expect);
      }
      std::vector<std::string> state;
      // Each enabled feature's line up to its id, which the model does not follow.
      for (const std::string& l : board().command("dsp state " + ts)) {
        state.push_back(l.substr(0, 20));
      }
      std::vector<std::string> model;
      if (vad) model.push_back("enabled mask=0x01 id");
      if (sd) model.push_back("enabled mask=0x02 id");
      if (state != model) {
        mismatches.push_back("seed " + std::to_string(seed) + ": after " + std::to_string(a) +
                             " " + command + " DSP " + testing::PrintToString(state) + ", model " +
                             testing::PrintToString(model));
      }
      for (const std::string& d : disagreements(lines)) {
        mismatches.push_back("seed " + std::to_string(seed) + ": after " + std::to_string(a) +
                             " " + command + ": " + d);
      }
      if (mismatches.size() > 20) break;
    }
    for (Slot* s : std::list<Slot*>(Slots::instance().GetLive())) {
      answer(static_cast<int>(s->number), "destroy : NULL");
    }
    for (const std::string& d : disagreements(lines)) mismatches.push_back("seed end: " + d);
  }
  std::cout << "random driver: seeds " << first << "-" << last << ", " << commands << " commands, "
            << events << " injected VAD events, " << predicted << " answers predicted, " << refusals
            << " refusals, "
            << mismatches.size() << " mismatches" << std::endl;
  EXPECT_EQ(mismatches, std::vector<std::string>{});
}

}  // namespace
