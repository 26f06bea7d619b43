#include "hw/dsproc_receiver.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/trace_ctl.h"
#include "tests/support/board.h"

namespace {

using Hardware::DSProcReceiver;
using Hardware::DSProcReceiverService;

class Receiver : public DSProcReceiver {
 public:
  explicit Receiver(int ts) : ts_(ts) {}
  ~Receiver() override = default;

  void dsproc_vad_event(const Hardware::DSProcVADEvent& e) override {
    got.push_back("vad " + std::to_string(e.rx) + " " + std::to_string(e.tx));
  }
  void dsproc_bss_event(const ::dsproc_bss_event* e) override {
    got.push_back("bss " + std::to_string(e->score));
  }
  void dsproc_sd_event(const Hardware::DSProcSDEvent& e) override {
    got.push_back("sd " + std::to_string(e.sd_rx));
  }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* e) override {
    got.push_back("tone " + std::to_string(e->w0) + " " + std::to_string(e->w1) + " " +
                  std::to_string(e->w2));
  }
  void dsproc_flags_event(const ::dsproc_flags_event* e) override {
    got.push_back("flags " + std::to_string(e->flags) + " " + std::to_string(e->mask));
  }
  int dsproc_timeslot() const override { return ts_; }

  Lines got;

 private:
  int ts_;
};

class Dsproc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board().ok());
    DSProcReceiverService& service = DSProcReceiverService::instance();
    ASSERT_TRUE(service.opened() || service.init());
    service.set_last_id(0);
    ASSERT_EQ(board().command("dsp version 1"), Lines{"ok"});
    traces = TraceCtl();
  }
  void TearDown() override {
    traces = TraceCtl();
    DSProcReceiverService::instance().release();
  }

  static Lines requests(size_t n) { return log_tail("dsp", n); }
  static void event(int ts, uint32_t id, uint32_t type, uint32_t w0, int32_t w1, int32_t w2) {
    ASSERT_EQ(board().command("dsp event " + std::to_string(ts) + " " + std::to_string(id) + " " +
                              std::to_string(type) + " " + std::to_string(w0) + " " +
                              std::to_string(w1) + " " + std::to_string(w2)),
              Lines{"ok"});
  }

  StreamCapture out{std::clog};
  StreamCapture err{std::cerr};
};

TEST_F(Dsproc, FeaturesAreSwitchedOnlyWhenTheirStateChanges) {
  Receiver r(70);
  struct Step {
    const char* name;
    bool (*op)(Receiver&);
    const char* request;  // the request sent, or null
  } steps[] = {
      {"BSS starts off", [](Receiver& x) { return x.disableBSS(); }, nullptr},
      {"NG starts off", [](Receiver& x) { return x.disableNG(); }, nullptr},
      {"VAD starts unknown", [](Receiver& x) { return x.disableVAD(); },
       "0x400c6403 DISABLE ts=70 id=0 mask=0x01"},
      {"VAD on", [](Receiver& x) { return x.enableVAD(true); },
       "0x400c6402 ENABLE ts=70 id=1 mask=0x01"},
      {"VAD on again", [](Receiver& x) { return x.enableVAD(true); }, nullptr},
      {"SD on", [](Receiver& x) { return x.enableSD(true); },
       "0x400c6402 ENABLE ts=70 id=2 mask=0x02"},
      {"BSS on", [](Receiver& x) { return x.enableBSS(true); },
       "0x400c6402 ENABLE ts=70 id=3 mask=0x10"},
      {"NG on", [](Receiver& x) { return x.enableNG(true); },
       "0x400c6402 ENABLE ts=70 id=4 mask=0x80"},
      {"mute rx", [](Receiver& x) { return x.enableMute(true, false); },
       "0x400c6402 ENABLE ts=70 id=5 mask=0x04"},
      {"mute rx again", [](Receiver& x) { return x.enableMute(true, false); }, nullptr},
      {"mute both", [](Receiver& x) { return x.enableMute(true, true); },
       "0x400c6402 ENABLE ts=70 id=6 mask=0x0c"},
      {"mute off", [](Receiver& x) { return x.disableMute(); },
       "0x400c6403 DISABLE ts=70 id=0 mask=0x0c"},
      {"mute off again", [](Receiver& x) { return x.disableMute(); }, nullptr},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    Lines before = requests(1);
    EXPECT_TRUE(s.op(r));
    EXPECT_EQ(requests(1), s.request ? Lines{s.request} : before);
  }
  err.take_lines();

  // A refused request changes no state but uses up its id.
  ASSERT_EQ(board().command("fail dsp 0x400c6403 EIO"), Lines{"ok"});
  EXPECT_FALSE(r.disableSD());
  EXPECT_EQ(err.take_lines(), Lines{"DSPROC_DISABLE SD fail: timeslot=70 errno=\"Input/output error\""});
  ASSERT_EQ(board().command("fail dsp 0x400c6402 EIO"), Lines{"ok"});
  EXPECT_FALSE(r.enableMute(false, true));
  EXPECT_EQ(err.take_lines(),
            Lines{"DSPROC_ENABLE MUTE fail: timeslot=70 id=7 errno=\"Input/output error\""});
  EXPECT_TRUE(r.disableSD());
  DSProcReceiverService::instance().set_last_id(0xFFFFFFFF);
  EXPECT_TRUE(r.enableSD(true));
  EXPECT_EQ(requests(1), Lines{"0x400c6402 ENABLE ts=70 id=1 mask=0x02"});

  // Clean-up switches off VAD, SD, BSS and NG; mute stays as it is.
  err.take_lines();
  r.CleanBeforeDestroy();
  EXPECT_EQ(requests(5), (Lines{"0x400c6403 DISABLE ts=70 id=0 mask=0x01",
                                "0x400c6403 DISABLE ts=70 id=0 mask=0x02",
                                "0x400c6403 DISABLE ts=70 id=0 mask=0x10",
                                "0x400c6403 DISABLE ts=70 id=0 mask=0x80",
                                "0x400c6403 DISABLE ts=70 id=0 mask=0x100"}));
}

TEST_F(Dsproc, ConfigurationRecordsFollowTheInterfaceVersion) {
  Receiver r(71);
  LGCP::VADParams v1;
  v1.select_v1();
  LGCP::VADParams v2;
  v2.select_v2().set_voice_th_msec(300);
  v2.get_v2().set_silence_th_msec(500);
  v2.get_v2().set_e_th_dB(12);

  EXPECT_TRUE(r.configureVAD(v2));  // version 1: fixed parameters
  EXPECT_EQ(requests(1), Lines{"0x40146401 CONFIGURE ts=71 VAD 3 127 0"});
  ASSERT_EQ(board().command("dsp version 2"), Lines{"ok"});
  EXPECT_FALSE(r.configureVAD(v1));
  EXPECT_EQ(requests(1), Lines{"0x40046404 VERSION 0"});
  EXPECT_TRUE(r.configureVAD(v2));
  EXPECT_EQ(requests(1), Lines{"0x40146401 CONFIGURE ts=71 VAD voice_th_msec=300 "
                               "silence_th_msec=500 e_th_dB=12"});
  EXPECT_TRUE(r.configureSD());
  EXPECT_TRUE(r.configureDelays(10, 20, 30));
  EXPECT_TRUE(r.configureRxGain(-6));
  EXPECT_TRUE(r.configureToneFilter(2100, 1, 400, -20));
  EXPECT_EQ(requests(4),
            (Lines{"0x40146401 CONFIGURE ts=71 SD",
                   "0x40146401 CONFIGURE ts=71 DELAYS rx=10 tx=20 selcal=30",
                   "0x40146401 CONFIGURE ts=71 RX_GAIN gain_dB=-6",
                   "0x40146401 CONFIGURE ts=71 TONE_FILTER freq=2100 en=1 dur_th_msec=400 "
                   "det_lvl_dB=-20"}));

  ASSERT_EQ(board().command("fail dsp 0x40146401 EPERM"), Lines{"ok"});
  EXPECT_FALSE(r.configureRxGain(3));

  // Delays set back to zero are not reset again at clean-up; the gain still is.
  EXPECT_TRUE(r.configureDelays(0, 0, 0));
  out.take_lines();
  r.CleanBeforeDestroy();
  EXPECT_EQ(requests(2), (Lines{"0x40146401 CONFIGURE ts=71 RX_GAIN gain_dB=0",
                                "0x400c6403 DISABLE ts=71 id=0 mask=0x100"}));
}

TEST_F(Dsproc, EventsReachTheirFeatureWhenItIsOnWithItsId) {
  Receiver r(72), later(72);
  float score = 0.75f;
  uint32_t score_bits;
  std::memcpy(&score_bits, &score, sizeof score);

  event(72, 0, 1, 2, 5, 6);  // VAD state unknown, id 0: delivered, rx absent
  run_loop_turn();
  EXPECT_EQ(r.got, Lines{"vad -1 6"});
  ASSERT_TRUE(r.enableVAD(true));  // id 1
  ASSERT_TRUE(r.enableBSS(true));  // id 2
  event(72, 1, 1, 3, 7, 8);
  event(72, 9, 1, 1, 7, 8);           // stale VAD id
  event(72, 0, 2, 4, 0, 0);           // SD id 0 while its state is unknown
  event(72, 99, 16, score_bits, 0, 0);  // BSS: any id
  event(72, 0, 256, 1, -2, 3);
  event(72, 0, 512, 0x30, 0x10, 0);
  event(72, 0, 64, 0, 0, 0);          // no such type
  event(73, 0, 1, 1, 0, 0);           // nobody's
  run_loop_turn();
  EXPECT_EQ(r.got, (Lines{"vad -1 6", "vad 7 8", "sd 4", "bss 0.750000", "tone 1 -2 3",
                          "flags 48 16"}));
  EXPECT_TRUE(later.got.empty());
  err.take_lines();
  EXPECT_TRUE(out.take_lines().empty());  // no trace with the switch off

  // Switched off, VAD and BSS hear nothing; SD hears only its newest id; flags always.
  traces.signallingEvents = true;
  ASSERT_TRUE(r.disableBSS());
  ASSERT_TRUE(r.disableVAD());
  r.got.clear();
  event(72, 1, 1, 1, 0, 0);
  event(72, 2, 16, score_bits, 0, 0);
  event(72, 3, 512, 0xff, 0x0f, 0);
  ASSERT_TRUE(r.enableSD(true));  // id 3
  event(72, 1, 2, 1, 0, 0);
  run_loop_turn();
  EXPECT_EQ(r.got, Lines{"flags 255 15"});
  EXPECT_FALSE(out.take_lines().empty()) << "traced with the switch on";
  err.take_lines();

  ASSERT_EQ(board().command("dsp raw 00"), Lines{"ok"});
  run_loop_turn();
  EXPECT_EQ(err.take_lines(), Lines{"fail to read from dsproc: short record of 1 bytes"});
  r.CleanBeforeDestroy();
  later.CleanBeforeDestroy();
}

}  // namespace
