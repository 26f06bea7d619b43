// Conference mixer slots on the simulated mixer units: enumeration and unit lifetime, summator
// programming with weights, refusals, and the ioctls each kind serves.
#include <gtest/gtest.h>

#include <list>

#include "hw/dsproc_receiver.h"
#include "hw/tonec_receiver.h"
#include "slots/tdm/mixer_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

using Mixer::MixerFactory;

// While armed, destroys every live slot from inside the first abort signal, as a service handed
// the signal may.
struct DestroyOnAbort : CtrlSrv::Service {
  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command&) override { return false; }
  void OnSignal(const LGCP::Signal& s) override {
    if (!armed || !s.is_abort()) return;
    armed = false;
    const std::list<Slot*> live = Slots::instance().GetLive();
    for (Slot* slot : live) Slots::instance().Destroy(slot);
  }
  bool armed = false;
};

class MixerRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    static bool bound = false;
    if (!bound) ctrlServer.Bind(&destroy_on_abort());
    bound = true;
    MixerFactory::instance();
    LinkTrunkFactories();
  }
  static DestroyOnAbort& destroy_on_abort() {
    static DestroyOnAbort service;
    return service;
  }
  void SetUp() override {
    SlotRoad::SetUp();
    ASSERT_TRUE(Hardware::TonecReceiverService::instance().init());
    ASSERT_TRUE(Hardware::DSProcReceiverService::instance().init());
    sim("mixer add 0 32 8");
    sim("mixer add 1 16 12");
    query();
    mark_ = board().command("log mixer").size();
  }
  void TearDown() override {
    SlotRoad::TearDown();
    for (int unit = 0; unit < 100; ++unit) sim("mixer remove " + std::to_string(unit));
    query();
    Hardware::TonecReceiverService::instance().release();
    Hardware::DSProcReceiverService::instance().release();
  }

  static LGCP::Resources query() {
    LGCP::Resources report;
    MixerFactory::instance().Query(report);
    return report;
  }
  // The requests the mixers received since the last call, without their numbers.
  Lines requests() {
    Lines log = board().command("log mixer");
    Lines got;
    for (size_t i = mark_; i < log.size(); ++i) got.push_back(log[i].substr(11));
    mark_ = log.size();
    return got;
  }
  static std::string create(int seq, int slot, const std::string& params) {
    return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
           ", pdu command : create : " + params + " }";
  }

  size_t mark_ = 0;
};

TEST_F(MixerRoad, QueryReportsTheSmallestCountsForEveryUnit) {
  const LGCP::Resources report = query();
  ASSERT_EQ(report.get_mixer().size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const auto& e = report.get_mixer()[i];
    EXPECT_EQ((std::vector<int>{e.get_unit().getValue(), e.get_tdm_inputs().getValue(),
                                e.get_tdm_outputs().getValue(), e.get_mixer_inputs().getValue(),
                                e.get_dpu_per_mixer().getValue(), e.get_dpu_per_ec().getValue(),
                                e.get_dpu_per_lms().getValue()}),
              (std::vector<int>{i, 16, 16, 8, 770, 17, 24}));
  }
  // Known units are enumerated again, not reset.
  EXPECT_EQ(requests(),
            (Lines{"MIX_ENUMERATE dev_no=-1", "MIX_ENUMERATE dev_no=0", "MIX_ENUMERATE dev_no=1"}));
}

// A unit found is cleared on every one of its channels, also when an earlier unit has fewer:
// those channels become usable when that unit goes.
TEST_F(MixerRoad, ANewUnitIsClearedOnAllItsChannels) {
  struct Found {
    int unit, channels;
  };
  for (const Found& f : {Found{2, 40}, Found{3, 4}}) {
    SCOPED_TRACE(f.unit);
    sim("mixer add " + std::to_string(f.unit) + " " + std::to_string(f.channels) + " 8");
    query();
    Lines cleared;
    for (const std::string& r : requests()) {
      if (r.rfind("MIX_RX_CLEAR ", 0) == 0) cleared.push_back(r);
    }
    ASSERT_EQ(cleared.size(), static_cast<size_t>(f.channels));
    EXPECT_EQ(cleared.front(), "MIX_RX_CLEAR " + std::to_string(f.unit) + "/0/0");
    EXPECT_EQ(cleared.back(), "MIX_RX_CLEAR " + std::to_string(f.unit) + "/0/" +
                                  std::to_string(f.channels - 1));
  }
}

TEST_F(MixerRoad, InputFeedsItsSummatorUntilDestroyed) {
  EXPECT_EQ(run({create(1, 1, "mixerIn : { unit 0, channel tdm : 3, summator tdm : 5 }"),
                 create(2, 2, "trunk : { trunk 0, timeslot 7 }"),
                 "{ seq 3, slot 2, pdu command : connect : 1 }"})
                .front(),
            wire(reply(1, 1, "success : NULL")));
  EXPECT_EQ(requests(), (Lines{"MIX_TDM 0/0/3", "MIX_RX_ADD rx=0/0/5 tx=0/0/3 weight=32767"}));
  EXPECT_EQ(board().command("mixer summator 0 5"), Lines{"3 32767"});
  EXPECT_EQ(output(2048), "7");
  run({"{ seq 4, slot 1, pdu command : destroy : NULL }"});
  EXPECT_EQ(output(2048), "off");
  EXPECT_EQ(requests(), Lines{"MIX_RX_REMOVE rx=0/0/5 tx=0/0/3"});
  EXPECT_EQ(board().command("mixer summator 0 5"), Lines{});
}

TEST_F(MixerRoad, OutputSumsItsInputsWithTheirWeights) {
  StreamCapture log(std::clog);
  EXPECT_EQ(run({create(1, 1, "mixerOut : { unit 1, channel tdm : 5, inputs { } }")}),
            wires({reply(1, 1, "success : NULL")}));
  EXPECT_EQ(requests(), (Lines{"MIX_RX_CLEAR 1/0/5", "MIX_RX_ADD rx=1/0/5 tx=1/0/5 weight=32767",
                               "MIX_TDM 1/0/5"}));
  EXPECT_EQ(run({create(2, 2,
                        "mixerOut : { unit 0, channel tdm : 6, inputs { { channel tdm : 1, gain "
                        "100 }, { channel tdm : 2, gain 5 } } }")}),
            wires({reply(2, 2, "success : NULL")}));
  EXPECT_EQ(board().command("mixer summator 0 6"), (Lines{"1 100", "2 5"}));
  run({"{ seq 3, slot 2, pdu command : destroy : NULL }"});
  EXPECT_EQ(board().command("mixer summator 0 6"), Lines{});
  EXPECT_NE(log.take().find("mixer [0]: clear tdm output 6\n"), std::string::npos);
}

// An output's create and release clear its summator and put back the feeds of the live inputs,
// whether the controller destroys the output first or leaves; an input's release takes out its
// own feed only.
TEST_F(MixerRoad, ClearedSummatorsKeepTheFeedsOfLiveInputs) {
  const std::string output = create(1, 1, "mixerOut : { unit 0, channel tdm : 5, inputs { } }");
  const std::string input = create(2, 2, "mixerIn : { unit 0, channel tdm : 4, summator tdm : 5 }");
  StreamCapture err(std::cerr);
  run({output, input, "{ seq 3, slot 1, pdu command : destroy : NULL }"});
  EXPECT_EQ(board().command("mixer summator 0 5"), Lines{"4 32767"});
  run({create(4, 1, "mixerOut : { unit 0, channel tdm : 5, inputs { { channel tdm : 2, gain "
                    "100 } } }")});
  EXPECT_EQ(board().command("mixer summator 0 5"), (Lines{"2 100", "4 32767"}));
  run({"{ seq 5, slot 2, pdu command : destroy : NULL }"});
  EXPECT_EQ(board().command("mixer summator 0 5"), Lines{"2 100"});
  run({"{ seq 6, slot 1, pdu command : destroy : NULL }", output, input});
  requests();
  EXPECT_EQ(controller_leaves().find("fail"), std::string::npos);
  EXPECT_EQ(requests(), (Lines{"MIX_RX_CLEAR 0/0/5", "MIX_RX_ADD rx=0/0/5 tx=0/0/4 weight=32767",
                               "MIX_RX_REMOVE rx=0/0/5 tx=0/0/4"}));
  EXPECT_EQ(board().command("mixer summator 0 5"), Lines{});
  EXPECT_EQ(err.take(), "");
}

struct Refusal {
  const char* name;
  const char* params;
  const char* error;  // the one line on std::cerr
  const char* fail = nullptr;  // a request of /dev/mixer to make fail with EIO first
};

TEST_F(MixerRoad, CreatesItCannotServeAreRefused) {
  for (const Refusal& r : {
           Refusal{"channel at the count", "mixerIn : { unit 0, channel tdm : 16 }",
                   "mixer [0]: tdm channel 16 out of range\n"},
           Refusal{"rtp input",
                   "mixerOut : { unit 0, channel tdm : 5, inputs { { channel tdm : 1, gain 100 }, "
                   "{ channel rtp : 2, gain 5 } } }",
                   "mixer [0]: SetTX error: translation fail [2]\n"},
           Refusal{"summator not cleared", "mixerOut : { unit 1, channel tdm : 9, inputs { } }",
                   "mixer [1]: MIX_RX_CLEAR dev_no=1 type=0 number=9 fail : Input/output error\n",
                   "0x800c4d02"},
       }) {
    SCOPED_TRACE(r.name);
    if (r.fail) {
      ASSERT_EQ(sim(std::string("fail mixer ") + r.fail + " EIO"), "ok");
    }
    StreamCapture err(std::cerr);
    EXPECT_EQ(run({create(1, 1, r.params)}), wires({reply(1, 1, "error : insufficientResources")}));
    EXPECT_EQ(err.take(), r.error);
  }
  // The rtp input is found before anything is added.
  EXPECT_EQ(board().command("mixer summator 0 5"), Lines{});

  // A summator given as an rtp channel cannot be fed: no input is made.
  StreamCapture err(std::cerr);
  requests();
  EXPECT_EQ(run({create(2, 2, "mixerIn : { unit 0, channel tdm : 4, summator rtp : 1 }")}),
            wires({reply(2, 2, "error : insufficientResources")}));
  EXPECT_EQ(err.take(), "mixer [0]: wrong summator coding !\n");
  EXPECT_EQ(requests(), Lines{});
}

struct Control {
  const char* ioctl;
  const char* input;  // the answer on an input
  const char* output;
};

TEST_F(MixerRoad, IoctlsByKind) {
  run({create(1, 1, "mixerIn : { unit 0, channel tdm : 1 }"),
       create(2, 2, "mixerOut : { unit 0, channel tdm : 2, inputs { } }")});
  for (const Control& c : {
           Control{"dtmf-reject-enable : TRUE", "success : NULL", "error : unsupported"},
           Control{"dtmf-reject-disable : NULL", "error : unsupported", "success : NULL"},
           Control{"delays : { rx 10, tx 20 }", "success : NULL", "success : NULL"},
           Control{"tone-gen-enable : { freq 425, amp 100 }", "error : unsupported",
                   "success : NULL"},
           Control{"ss7RqBSN : NULL", "error : unsupported", "error : unsupported"},
       }) {
    SCOPED_TRACE(c.ioctl);
    EXPECT_EQ(run({std::string("{ seq 3, slot 1, pdu command : ioctl : ") + c.ioctl + " }",
                   std::string("{ seq 4, slot 2, pdu command : ioctl : ") + c.ioctl + " }"}),
              wires({reply(3, 1, c.input), reply(4, 2, c.output)}));
  }
  StreamCapture err(std::cerr);
  EXPECT_EQ(run({"{ seq 5, slot 1, pdu command : ioctl : delays : { rx 1, tx 2, selcal 3 } }"}),
            wires({reply(5, 1, "success : NULL")}));
  EXPECT_EQ(err.take(),
            "mixer [0]: error: selcal delay isn't supported for mixer!!! Set to zero.\n");
  EXPECT_NE(board().command("log dsp").back().find("DELAYS rx=1 tx=2 selcal=0"), std::string::npos);
}

// Two digits make 5 DTMF_DIAL requests: tone, pause, tone, pause, off. Each row the device refuses
// one: the first is answered with an error; a later one ends the sequence with abort carrying its
// errno, not dtmfDone, and only the switch-off follows it. The next sequence plays whole.
TEST_F(MixerRoad, ADtmfSequenceTheDeviceCutsShortEndsWithAnAbortAndTheGeneratorOff) {
  const std::string sequence = "{ seq 3, slot 1, pdu command : ioctl : translateDTMF : { digits { "
                               "{ freq1 697, freq2 1209 }, { freq1 770, freq2 1336 } } } }";
  const size_t requests = 5;
  run({create(1, 1, "mixerOut : { unit 0, channel tdm : 2, inputs { } }")});
  for (size_t refused = 0; refused <= requests; ++refused) {
    SCOPED_TRACE(refused);
    const size_t mark = board().command("log dtmf").size();
    StreamCapture err(std::cerr);
    Lines got;
    for (size_t i = 0; i < requests; ++i) {
      if (i == refused) sim("fail dtmf 0x400c4205 EIO");
      if (i > 0) advance(70);
      for (const auto& m : i > 0 ? arrived() : run({sequence})) got.push_back(m);
    }
    advance(1000);
    for (const auto& m : arrived()) got.push_back(m);
    const bool cut = refused > 0 && refused < requests;
    const char* end = cut ? "abort : 5" : "tonec : { timestamp 0, event dtmfDone : NULL }";
    EXPECT_EQ(got, refused == 0 ? wires({reply(3, 1, "error : unsupported")})
                                : wires({reply(3, 1, "success : NULL"), signal(1, end)}));
    const Lines log = board().command("log dtmf");
    EXPECT_EQ(log.size() - mark, refused == 0 ? 1 : cut ? refused + 2 : requests);
    EXPECT_EQ(log.back().find(" freq1=0 freq2=0 ") != std::string::npos, refused > 0) << "off";
  }
}

TEST_F(MixerRoad, VanishedUnitAbortsItsSlotsAndLivesUntilTheLast) {
  run({create(1, 1, "mixerIn : { unit 1, channel tdm : 0, summator tdm : 1 }")});
  sim("mixer remove 1");
  query();
  EXPECT_EQ(arrived(), wires({signal(1, "abort : 0")}));
  EXPECT_EQ(run({create(2, 2, "mixerIn : { unit 1, channel tdm : 2 }")}),
            wires({reply(2, 2, "error : insufficientResources")}));
  StreamCapture err(std::cerr);
  EXPECT_EQ(run({"{ seq 3, slot 1, pdu command : destroy : NULL }"}),
            wires({reply(3, 1, "success : NULL")}));
  EXPECT_EQ(err.take(), "mixer [1]: MIX_RX_REMOVE rx.number=1 tx.number=0 fail : No such device\n");
}

TEST_F(MixerRoad, VanishedUnitOutlivesTheTellingOfSlotsDestroyedAtOnce) {
  run({create(1, 1, "mixerIn : { unit 1, channel tdm : 0 }"),
       create(2, 2, "mixerIn : { unit 1, channel tdm : 2 }")});
  destroy_on_abort().armed = true;
  sim("mixer remove 1");
  query();
  EXPECT_TRUE(Slots::instance().GetLive().empty());
  EXPECT_EQ(arrived(), wires({signal(1, "abort : 0")}));  // slot 2 went with slot 1
}

TEST_F(MixerRoad, HundredUnitsStayAcrossEnumerations) {
  for (int unit = 2; unit < 100; ++unit) sim("mixer add " + std::to_string(unit) + " 1 1");
  EXPECT_EQ(query().get_mixer().size(), 100u);
  run({create(1, 1, "mixerIn : { unit 0, channel tdm : 0 }")});
  EXPECT_EQ(query().get_mixer().size(), 100u);
  EXPECT_EQ(arrived(), Lines{});
}

}  // namespace
