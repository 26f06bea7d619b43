#include "hw/tonec_receiver.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/mux_clock.h"
#include "tests/support/board.h"

namespace {

using Hardware::TonecReceiver;
using Hardware::TonecReceiverService;

class Receiver : public TonecReceiver {
 public:
  explicit Receiver(int ts) : ts_(ts) {}
  ~Receiver() override = default;

  void tonec_event(const Params& p) override { events.emplace_back(p.code, p.timestamp); }
  int tonec_timeslot() const override { return ts_; }
  void tone_gen_complete() override { ++completed; }

  std::vector<std::pair<uint32_t, uint32_t>> events;
  int completed = 0;

 private:
  int ts_;
};

class Tonec : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board().ok());
    TonecReceiverService& service = TonecReceiverService::instance();
    ASSERT_TRUE(service.opened() || service.init());
    service.set_last_id(0);
    Mux::TestClock::set(1000000);
  }
  void TearDown() override {
    Mux::TestClock::release();
    TonecReceiverService::instance().release();
  }

  static Lines dials(size_t n) { return log_tail("dtmf", n); }
  static std::string dial(int ts, int f1, int f2, int l1, int l2) {
    return "0x400c4205 DTMF_DIAL ts=" + std::to_string(ts) + " freq1=" + std::to_string(f1) +
           " freq2=" + std::to_string(f2) + " level1=" + std::to_string(l1) +
           " level2=" + std::to_string(l2);
  }
  static void refuse_dial() { ASSERT_EQ(board().command("fail dtmf 0x400c4205 EIO"), Lines{"ok"}); }
  static void advance(unsigned ms) {
    Mux::TestClock::advance_ms(ms);
    run_loop_turn();
  }
  static void event(uint32_t code, int ts, uint32_t stamp, uint32_t id) {
    ASSERT_EQ(board().command("dtmf event " + std::to_string(code) + " " + std::to_string(ts) +
                              " " + std::to_string(stamp) + " " + std::to_string(id)),
              Lines{"ok"});
  }

  StreamCapture out{std::clog};
  StreamCapture err{std::cerr};
};

TEST_F(Tonec, DetectionRequestsKeepDtmfAndIvaApart) {
  Receiver r(40);
  EXPECT_TRUE(r.enableDTMF(true));
  EXPECT_TRUE(r.enableDTMF(true));  // already on: no request
  EXPECT_EQ(r.detector_id(), 1u);
  EXPECT_TRUE(r.enableIVA(true));
  EXPECT_TRUE(r.enableIVA(false));
  EXPECT_TRUE(r.disableDTMF());  // IVA off did not make DTMF look off
  EXPECT_TRUE(r.disableDTMF());
  EXPECT_TRUE(r.echoCancel(true));
  EXPECT_TRUE(r.enableDTMFReject(false));
  EXPECT_EQ(dials(6), (Lines{"0x40084203 DTMF_ENABLE_DETECTOR ts=40 id=1",
                             "0x4004420b IVA_DETECTOR_ENABLE ts=40",
                             "0x4004420c IVA_DETECTOR_DISABLE ts=40",
                             "0x40044204 DTMF_DISABLE_DETECTOR ts=40",
                             "0x40044206 CHANNEL_LMS_ON ts=40",
                             "0x4004420a DTMF_REJECTION_DISABLE ts=40"}));

  // A refused enable still uses up an id; the counter never gives 0.
  ASSERT_EQ(board().command("fail dtmf 0x40084203 EIO"), Lines{"ok"});
  EXPECT_FALSE(r.enableDTMF(true));
  TonecReceiverService::instance().set_last_id(0xFFFFFFFF);
  EXPECT_TRUE(r.enableDTMF(true));
  EXPECT_EQ(r.detector_id(), 1u);

  ASSERT_EQ(board().command("fail dtmf 0x40044207 EBUSY"), Lines{"ok"});
  EXPECT_FALSE(r.echoCancel(false));
  ASSERT_EQ(board().command("fail dtmf 0x400c4205 EIO"), Lines{"ok"});
  EXPECT_FALSE(r.enableSilence());
  err.take_lines();
  r.CleanBeforeDestroy();
  EXPECT_EQ(dials(1), Lines{"0x40044204 DTMF_DISABLE_DETECTOR ts=40"});
}

TEST_F(Tonec, ConfigurationAndSelcalRecords) {
  Receiver r(41);
  LGCP::DTMFParams dtmf;
  dtmf.get_threshold().set_twist(8);
  dtmf.get_threshold().set_ratio(9);
  dtmf.get_threshold().set_noise(10);
  dtmf.get_level().set_silence(11);
  LGCP::IVAParams iva;
  iva.set_det_lvl_dB(-35);
  EXPECT_TRUE(r.configureDTMF(dtmf));
  EXPECT_TRUE(r.configureIVA(iva));
  EXPECT_EQ(dials(2), (Lines{"0x40144202 DTMF_CONFIGURE_DETECTOR ts=41 twist=8 ratio=9 "
                             "silence=11 noise=10",
                             "0x4008420d IVA_CONFIGURE_DETECTOR ts=41 det_lvl_dB=-35"}));

  struct Case {
    const char* signs;
    bool has_amp;
    Lines log;   // newest request afterwards
    Lines error;
  } cases[] = {
      {"ABCDEF", false, {"0x400c420e SELCAL_DIAL ts=41 amp=12000 signs=ABCD reserved=0"}, {}},
      {"PQRS", true, {"0x400c420e SELCAL_DIAL ts=41 amp=3000 signs=PQRS reserved=0"}, {}},
      {"XYZ", false, {"0x400c420e SELCAL_DIAL ts=41 amp=3000 signs=PQRS reserved=0"},
       {"SELCAL_DIAL fail: timeslot=41 incorect signs:XYZ"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signs);
    TERM::SelcalCommand selcal;
    selcal.set_signs(c.signs);
    if (c.has_amp) selcal.set_amp(3000);
    EXPECT_EQ(r.translateSelcal(selcal), c.error.empty());
    EXPECT_EQ(dials(1), c.log);
    EXPECT_EQ(err.take_lines(), c.error);
  }
}

TEST_F(Tonec, EventsGoToTheOldestReceiverOfTheirTimeSlotWithTheCurrentId) {
  Receiver older(50), newer(50), other(51);
  run_loop_turn();
  out.take_lines();
  ASSERT_TRUE(older.enableDTMF(true));  // id 1
  event(5, 50, 100, 1);
  event(6, 50, 101, 7);   // stale id
  event(7, 51, 102, 1);   // detector of 51 off
  event(8, 52, 103, 1);   // nobody's
  run_loop_turn();
  EXPECT_EQ(older.events, (std::vector<std::pair<uint32_t, uint32_t>>{{5, 100}}));
  EXPECT_TRUE(newer.events.empty());
  EXPECT_TRUE(other.events.empty());
  err.take_lines();

  // IVA alone opens the detector; switching it off leaves DTMF detection on.
  ASSERT_TRUE(other.enableIVA(true));
  ASSERT_TRUE(older.enableIVA(true));
  ASSERT_TRUE(older.enableIVA(false));
  event(9, 51, 104, 0);
  event(10, 50, 105, 1);
  // A short record ends the drain; what follows it is read at the next turn.
  ASSERT_EQ(board().command("dtmf raw 0102"), Lines{"ok"});
  event(11, 50, 106, 1);
  run_loop_turn();
  EXPECT_EQ(other.events, (std::vector<std::pair<uint32_t, uint32_t>>{{9, 104}}));
  EXPECT_EQ(older.events.size(), 2u);
  EXPECT_EQ(err.take_lines(), Lines{"fail to read from tonec: short record of 2 bytes"});
  run_loop_turn();
  EXPECT_EQ(older.events.back(), std::make_pair(11u, 106u));

  older.CleanBeforeDestroy();
  other.CleanBeforeDestroy();
  EXPECT_EQ(dials(2), (Lines{"0x40044204 DTMF_DISABLE_DETECTOR ts=50",
                             "0x4004420c IVA_DETECTOR_DISABLE ts=51"}));
}

// A request for the digits of these frequency pairs.
LGCP::TranslateDtmfParams digits(std::initializer_list<std::pair<int, int>> pairs) {
  LGCP::TranslateDtmfParams params;
  for (const auto& p : pairs) {
    LGCP::DualTone tone;
    tone.set_freq1(p.first);
    tone.set_freq2(p.second);
    params.get_digits().push_back(tone);
  }
  return params;
}

TEST_F(Tonec, DtmfSequencePlaysEachDigitThenItsPause) {
  Receiver r(60);
  LGCP::TranslateDtmfParams params = digits({{697, 1209}, {770, 1336}});
  params.set_toneDuration(100);
  params.set_amp1(1000);

  r.translateDTMF(params);
  EXPECT_TRUE(r.toneGenRunning());
  EXPECT_EQ(dials(1), Lines{dial(60, 697, 1209, 1000, 16384)});
  advance(99);
  EXPECT_EQ(dials(1), Lines{dial(60, 697, 1209, 1000, 16384)});
  advance(1);
  EXPECT_EQ(dials(1), Lines{dial(60, 1000, 1000, 0, 0)});  // pause, 70 ms by default

  // A new request during the pause replaces the digits left; the pause runs out first.
  r.translateDTMF(digits({{852, 1477}}));
  EXPECT_EQ(dials(1), Lines{dial(60, 1000, 1000, 0, 0)});
  advance(70);
  EXPECT_EQ(dials(1), Lines{dial(60, 852, 1477, 16384, 16384)});
  r.cancelAudibleCall();  // a sequence is playing: nothing happens
  advance(70);
  advance(70);
  EXPECT_EQ(dials(3), (Lines{dial(60, 852, 1477, 16384, 16384), dial(60, 1000, 1000, 0, 0),
                             dial(60, 0, 0, 0, 0)}));
  EXPECT_EQ(r.completed, 1);
  EXPECT_FALSE(r.toneGenRunning());
  EXPECT_FALSE(r.disableToneGenerator(false));

  // An empty list's end is told on the next turn, after the request; not to a receiver gone then.
  EXPECT_TRUE(r.translateDTMF(LGCP::TranslateDtmfParams()));
  EXPECT_EQ(r.completed, 1);
  EXPECT_EQ(dials(1), Lines{dial(60, 0, 0, 0, 0)});
  advance(0);
  EXPECT_EQ(r.completed, 2);
  std::make_unique<Receiver>(60)->translateDTMF(LGCP::TranslateDtmfParams());
  advance(0);

  // A sequence is stopped, or replaced by a steady tone, only by a request the device takes.
  r.translateDTMF(digits({{697, 1209}}));
  refuse_dial();
  EXPECT_FALSE(r.disableToneGenerator(false));
  refuse_dial();
  EXPECT_FALSE(r.enableSteadyTone(425, 0, 1000, 0));
  advance(70);
  advance(70);
  EXPECT_EQ(r.completed, 3);
  r.translateDTMF(digits({{697, 1209}}));
  EXPECT_TRUE(r.enableSteadyTone(425, 0, 1000, 0));
  advance(1000);
  EXPECT_EQ(dials(1), Lines{dial(60, 425, 0, 1000, 0)});
  EXPECT_EQ(r.completed, 3);
}

TEST_F(Tonec, RingBackCadenceUntilCancelledOrCleaned) {
  Receiver r(61);
  EXPECT_TRUE(r.activateAudibleCall());
  EXPECT_TRUE(r.toneGenRunning());
  EXPECT_EQ(dials(1), Lines{dial(61, 425, 0, 2048, 2048)});
  advance(1000);
  EXPECT_EQ(dials(1), Lines{dial(61, 1000, 1000, 0, 0)});
  advance(2999);
  EXPECT_EQ(dials(1), Lines{dial(61, 1000, 1000, 0, 0)});
  advance(1);
  EXPECT_EQ(dials(1), Lines{dial(61, 425, 0, 2048, 2048)});
  r.cancelAudibleCall();
  EXPECT_FALSE(r.toneGenRunning());
  EXPECT_EQ(dials(1), Lines{dial(61, 0, 0, 0, 0)});
  advance(5000);
  EXPECT_EQ(dials(1), Lines{dial(61, 0, 0, 0, 0)});

  // A DTMF request the device refuses leaves the cadence playing.
  r.activateAudibleCall();
  refuse_dial();
  EXPECT_FALSE(r.translateDTMF(digits({{697, 1209}})));
  refuse_dial();
  EXPECT_FALSE(r.translateDTMF(LGCP::TranslateDtmfParams()));
  advance(1000);
  EXPECT_EQ(dials(1), Lines{dial(61, 1000, 1000, 0, 0)});
  r.cancelAudibleCall();

  // A DTMF request takes the tone over; the ring-back does not come back after it.
  r.activateAudibleCall();
  LGCP::TranslateDtmfParams params;
  r.translateDTMF(params);
  advance(5000);
  EXPECT_EQ(dials(2), (Lines{dial(61, 425, 0, 2048, 2048), dial(61, 0, 0, 0, 0)}));

  // Clean-up before destruction stops a cadence still playing.
  r.activateAudibleCall();
  r.CleanBeforeDestroy();
  EXPECT_FALSE(r.toneGenRunning());
  advance(5000);
  EXPECT_EQ(dials(2), (Lines{dial(61, 425, 0, 2048, 2048), dial(61, 0, 0, 0, 0)}));
}

// Two receivers on one time slot: a Selcal code and the other receiver's tones each keep the
// generator from the other while they play. A refused request sends nothing; the code frees
// the generator when the device reports it dialled or its receiver is cleaned up.
TEST_F(Tonec, SelcalAndTonesOfAnotherReceiverShareTheGenerator) {
  const std::string code = "0x400c420e SELCAL_DIAL ts=62 amp=12000 signs=ABCD reserved=0";
  TERM::SelcalCommand selcal;
  selcal.set_signs("ABCD");
  struct Row {
    const char* name;
    // What the other receiver does first; true when its request is taken.
    bool (*other_first)(TonecReceiver&);
    bool selcal_taken;
    // What the other receiver asks after the Selcal request, and whether it is taken.
    bool (*other_then)(TonecReceiver&);
    bool then_taken;
  };
  const auto tone = [](TonecReceiver& r) { return r.enableToneGenerator(425, 0, 1000, 0); };
  const auto sequence = [](TonecReceiver& r) { return r.translateDTMF(digits({{697, 1209}})); };
  const auto ring = [](TonecReceiver& r) { return r.activateAudibleCall(); };
  const auto nothing = [](TonecReceiver&) { return true; };
  const Row rows[] = {
      {"the other's steady tone", tone, false, tone, true},
      {"the other's DTMF sequence", sequence, false, nothing, true},
      {"the other's ring-back", ring, false, nothing, true},
      {"a code playing, the other's tone", nothing, true, tone, false},
      {"a code playing, the other's DTMF sequence", nothing, true, sequence, false},
      {"a code playing, the other's ring-back", nothing, true, ring, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // How the code ends: reported dialled, replaced by the dialler's own request, or cleaned up.
    for (const int end : {0, 1, 2}) {
      auto dialler = std::make_unique<Receiver>(62);
      Receiver other(62);
      ASSERT_TRUE(row.other_first(other));
      const Lines before = dials(1);
      EXPECT_EQ(dialler->translateSelcal(selcal), row.selcal_taken);
      if (!row.selcal_taken) {
        EXPECT_STREQ(dialler->take_refused_claim(), "TONE_GENERATOR");
        EXPECT_EQ(dials(1), before);  // nothing dialled over the other's tone
        other.CleanBeforeDestroy();
        other.enableToneGenerator(0, 0, 0, 0);
        EXPECT_TRUE(dialler->translateSelcal(selcal));
        EXPECT_EQ(dials(1), Lines{code});
        dialler->CleanBeforeDestroy();
        break;
      }
      EXPECT_EQ(dials(1), Lines{code});
      EXPECT_EQ(row.other_then(other), row.then_taken);
      EXPECT_STREQ(other.take_refused_claim(), "TONE_GENERATOR");
      EXPECT_EQ(dials(1), Lines{code});
      // The other receiver's switching off leaves the code alone.
      EXPECT_TRUE(other.enableToneGenerator(0, 0, 0, 0));
      EXPECT_EQ(dials(1), Lines{code});
      if (end == 0) {
        dialler->selcal_done();
        dialler->CleanBeforeDestroy();  // nothing left to switch off
        EXPECT_EQ(dials(1), Lines{code});
      } else if (end == 1) {
        EXPECT_TRUE(dialler->translateDTMF(LGCP::TranslateDtmfParams()));
        EXPECT_EQ(dials(1), Lines{dial(62, 0, 0, 0, 0)});
        dialler->CleanBeforeDestroy();  // nothing left to switch off
        EXPECT_EQ(dials(2), (Lines{code, dial(62, 0, 0, 0, 0)}));
      } else {
        dialler->CleanBeforeDestroy();  // the code still playing is stopped
        EXPECT_EQ(dials(1), Lines{dial(62, 0, 0, 0, 0)});
      }
      dialler.reset();
      EXPECT_TRUE(row.other_then(other));
      other.CleanBeforeDestroy();
    }
  }
}

}  // namespace
