// The LEMZ gateway and workstation controls on the simulated header-extension engine and the
// movable clock: the gateway's periodic reports, its access rule, runs of received packets,
// controller commands in both directions, and values that no report could carry.
#include "radio/lemz_radio_control.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "asn1/modules/term.h"
#include "tests/radio/radio_testlib.h"
#include "tests/support/test_clock.h"

namespace {

using RTPSignalling::LemzRadioGWControl;
using RTPSignalling::LemzRadioWSControl;
using Params = TERM::LemzRadioModifierParams;

const rtp_ext_init_params kLemzInit{0x1337, 0, 0, 0, 0, 0};

// A LEMZ header: type, priority and push-to-talk.
std::string header(unsigned type, unsigned priority, unsigned ptt) {
  char text[9];
  std::snprintf(text, sizeof text, "%02X%02X0000", type, priority << 4 | ptt << 2);
  return text;
}

TERM::RadioModifier modifier(int alternative, const std::string& addr = "127.0.0.7") {
  TERM::RadioModifier m;
  TERM::LemzRadioModifier& l = m.select_lemz();
  l.get_addr().set_session_addr(addr);
  l.get_addr().set_session_ssrc(9);
  l.get_params().select(alternative);
  return m;
}

TERM::RadioStatus keyed_status(int priority) {
  TERM::RadioStatus s;
  TERM::LemzRadioStatus& l = s.select_lemz();
  l.get_flags().set_prio(priority);
  l.get_flags().set_ptt(true);
  l.get_flags().set_sql(true);
  l.set_squelshe(TERM::RadioSquelshe::on);
  return s;
}

template <class Control>
class LemzControl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board().ok());
    control_ = std::make_unique<Control>(kLemzInit);
    engine_ = std::make_unique<EngineSession>();
    control_->SetNotify(&notify_);
  }

  TestClockGuard clock_{uint64_t(7000) * 1000};
  RadioNotify notify_;
  std::unique_ptr<Control> control_;
  std::unique_ptr<EngineSession> engine_;
};

using LemzGateway = LemzControl<LemzRadioGWControl>;
using LemzWorkstation = LemzControl<LemzRadioWSControl>;

TEST_F(LemzGateway, ReportsEverySecondFromTheStart) {
  control_->SetTimerEnable(true);
  advance(999);
  EXPECT_EQ(engine_->sent(), Lines{});
  advance(1);
  // WM_FLAG, WM_CHAN (channel 0, 0.0) and WM_SELECT_RC_CHAN; no WM_STANDBY while unset.
  EXPECT_EQ(engine_->sent(),
            (Lines{"81f00000", "84f0000000000000" "00000000ffff0000", "86f0000000000000"}));

  // A wm-chan command goes out at once and postpones the periodic one by a full second.
  advance(300);
  EXPECT_EQ(engine_->sent(), Lines{});
  TERM::RadioModifier standby = modifier(Params::e_wm_standby);
  auto& st = standby.get_lemz().get_params().get_wm_standby();
  st.set_state_channel(TERM::RadioStandby::active);
  st.set_group(3);
  st.set_state_receiver(TERM::RadioStandby::active);
  EXPECT_TRUE(control_->SendASNToChan(standby));
  EXPECT_EQ(engine_->sent(), Lines{"87f00000" "00030000"});
  TERM::RadioModifier chan = modifier(Params::e_wm_chan);
  auto& c = chan.get_lemz().get_params().get_wm_chan();
  c.get_freq().set_channel(4);
  c.get_freq().set_frequency("121.5");
  c.set_squelshe(TERM::RadioSquelshe::off);
  c.set_rte(TERM::RadioRTE::a1b);
  EXPECT_TRUE(control_->SendASNToChan(chan));
  EXPECT_EQ(engine_->sent(), Lines{"84f0000000000004" "42f3000001020000"});
  advance(700);
  EXPECT_EQ(engine_->sent(), (Lines{"81f00000", "86f0000000000000"}))
      << "WM_FLAG and, at every tick, WM_SELECT_RC_CHAN; WM_CHAN waits";
  advance(300);
  EXPECT_EQ(engine_->sent(), Lines{});
  advance(10);
  EXPECT_EQ(engine_->sent(), (Lines{"84f0000000000004" "42f3000001020000", "86f0000000000000",
                                    "87f00000" "00030000"}))
      << "the timer fires 10 ms after the reports fall due";
}

TEST_F(LemzGateway, KeyedRadioAcceptsPreemptionAndItsKeyingSource) {
  TERM::RadioModifier trans = modifier(Params::e_wm_trans);
  auto& t = trans.get_lemz().get_params().get_wm_trans();
  t.get_flags().set_prio(5);
  t.get_flags().set_ptt(true);
  t.set_ip("127.0.0.9");
  t.set_ssrc(0x42);
  EXPECT_TRUE(control_->SendASNToChan(trans));
  EXPECT_EQ(engine_->sent(), Lines{"82540000" "0900007f" "00000042"});
  EXPECT_EQ(engine_->state(), "open etype=0x1337 words=0,0,0,0 detached filter=127.0.0.9");

  // Packets from elsewhere pass the engine only while a test lifts its filter.
  control_->UpdateAccess(false, in_addr{0});
  engine_->receive({header(GW_FLAG_PTT, 5, 1)}, "127.0.0.3");
  engine_->receive({header(GW_FLAG_PTT, 7, 1)}, "127.0.0.4");
  EXPECT_TRUE(notify_.reports.empty());
  control_->UpdateAccess(false, in_addr{0});
  engine_->receive({header(GW_FLAG_PTT, 3, 1)}, "127.0.0.3");
  ASSERT_EQ(notify_.reports.size(), 1u);
  EXPECT_NE(notify_.reports[0].find("session-addr \"127.0.0.3\""), std::string::npos);
  EXPECT_EQ(control_->chan_to_radio().priority, 3);
  engine_->receive({header(GW_FLAG, 9, 0)}, "127.0.0.9");
  EXPECT_EQ(notify_.reports.size(), 2u) << "the keying source is always heard";
}

// A keyed radio hears every packet of its keying workstation, releases too.
TEST_F(LemzGateway, EveryReportNamesItsTrueSender) {
  expect_turns(*engine_, notify_, header(GW_FLAG_PTT, 4, 1), "127.0.0.2",
               header(GW_FLAG_PTT, 6, 1), "127.0.0.3");
  TERM::RadioModifier trans = modifier(Params::e_wm_trans);
  auto& t = trans.get_lemz().get_params().get_wm_trans();
  t.get_flags().set_ptt(true);
  t.set_ip("127.0.0.9");
  ASSERT_TRUE(control_->SendASNToChan(trans));
  expect_turns(*engine_, notify_, header(GW_FLAG, 5, 1), "127.0.0.9", header(GW_FLAG_PTT, 5, 0),
               "127.0.0.9");
}

TEST_F(LemzGateway, RunsEndAtAChangeOfTypeOrSource) {
  engine_->receive({header(WM_FLAG, 1, 0), header(WM_FLAG, 2, 0), header(WM_FLAG, 3, 0),
                    header(WM_FLAG, 4, 0), header(WM_FLAG, 5, 0)});
  ASSERT_EQ(notify_.reports.size(), 1u);
  EXPECT_NE(notify_.reports[0].find("wm-flags : { flags { prio 5,"), std::string::npos)
      << notify_.reports[0];
  engine_->receive({header(WM_FLAG, 1, 0), header(WM_CHAN, 1, 0) + "00000003" "00000000" "01000000"});
  EXPECT_EQ(notify_.reports.size(), 3u);
  // A received GW_SEL_CALL carries no address: ip 0.0.0.0 and ssrc 0, addr its source.
  engine_->receive({"09000000" "03616263"}, "127.0.0.6", 33);
  ASSERT_EQ(notify_.reports.size(), 4u);
  EXPECT_NE(notify_.reports[3].find("session-addr \"127.0.0.6\", session-ssrc 33 }, params "
                                    "gw-set-selcall : { flags"),
            std::string::npos)
      << notify_.reports[3];
  EXPECT_NE(notify_.reports[3].find("ip \"0.0.0.0\", ssrc 0, cid \"abc\""), std::string::npos);
  EXPECT_NE(notify_.reports[3].find("squelshe no-config, rte no-config"), std::string::npos)
      << "an unset squelsh and rte are reported as no-config";
}

// A readable event reads a batch; the rest waits for the next loop turns, and a run that spans
// batches is still reported once, as its last packet.
TEST_F(LemzGateway, ARunLongerThanABatchIsReportedOnce) {
  engine_->flood(300, header(WM_FLAG, 1, 0));
  engine_->receive({header(WM_FLAG, 2, 0)}, "127.0.0.2", 5, false);
  engine_->receive({header(WM_FLAG, 3, 0)}, "127.0.0.3", 6, false);
  run_loop_turn();
  EXPECT_GT(engine_->queued(), 0) << "one turn reads a few batches, not all";
  EXPECT_TRUE(notify_.reports.empty());
  ASSERT_TRUE(turn_until([&] { return engine_->queued() == 0 && notify_.reports.size() == 2; }));
  turns(3);
  ASSERT_EQ(notify_.reports.size(), 2u);
  EXPECT_NE(notify_.reports[0].find("session-addr \"127.0.0.2\", session-ssrc 5 }, params "
                                    "wm-flags : { flags { prio 2,"),
            std::string::npos)
      << notify_.reports[0];
  EXPECT_NE(notify_.reports[1].find("wm-flags : { flags { prio 3,"), std::string::npos)
      << notify_.reports[1];
}

// Each packet on its own second, so that every dropped one has its log line.
TEST_F(LemzGateway, PacketsNoReportCanCarryAreDroppedWithALine) {
  const struct {
    const char* packet;
    const char* line;  // "" when the packet is reported
    const char* back = "";  // of a reported frequency: the float the controller sends for it
  } cases[] = {
      {"0B000000" "03000000", "squelsh 3 out of range, packet dropped"},
      {"0B000000" "02000000", ""},
      {"0C000000" "08000000", "rte 8 out of range, packet dropped"},
      {"0C000000" "07000000", ""},
      {"0D000000" "02000000", "standby state 2 out of range, packet dropped"},
      {"84000000" "00000001" "00000000" "03000000", "squelsh 3 out of range"},
      {"87000000" "01000200", "standby receiver state 2 out of range"},
      // Caller identities become IA5Strings: octets of 0x80 and above have no place there.
      {"09f1000003c3a941000000", "caller id octet 195 out of range, packet dropped"},
      {"09f10000" "037f2041", ""},
      {"85000000" "0100007f" "00000001" "02418000", "caller id octet 128 out of range"},
      {"85000000" "0100007f" "00000001" "02414200", ""},
      // A transfer with push-to-talk keys one host, as the controller's own must.
      {"82040000" "ffffffff" "00000042", "ptt keys 255.255.255.255, which names no single host"},
      {"85040000" "00000000" "00000001" "02414200", "ptt set with no session address to key"},
      {"82000000" "00000000" "00000042", ""},
      {"82040000" "0900007f" "00000042", ""},
      // Numbers are reported as texts that the controller may send; FLT_MAX has 39 digits.
      {"02000000" "00000001" "42f30000", "", "42f30000"},
      {"02000000" "00000001" "7f7fffff", "", "7f7fffff"},
      {"02000000" "00000001" "80000000", "", "00000000"},
      {"02000000" "00000001" "7fc00000",
       "from 127.0.0.2: frequency \" nan\" is not a number a float holds, packet dropped"},
      {"02000000" "00000001" "ff800000", "frequency \"-inf\" is not a number a float holds"},
      {"02000000" "00000001" "bf800000", "frequency \"-1.000000\" is negative"},
      {"02000000" "80000000" "42f30000", "channel 2147483648 out of 0..2147483647"},
      {"84000000" "00000001" "7f800000" "01020000", "frequency \" inf\" is not a number"},
      {"83000000" "7fc00000", "bss-val \" nan\" is not a number a float holds"},
      {"83000000" "bf800000", ""},
      // Malformed: short, an identity longer than the packet, payload missing, unknown type.
      {"0900", "packet of 2 bytes too short for type 9, packet dropped"},
      {"09000000" "0A616263", "packet of 8 bytes too short for type 9"},
      {"85000000" "0100007f", "packet of 8 bytes too short for type 133"},
      {"02000000", "packet of 4 bytes too short for type 2"},
      {"C8000000", "packet type 200 unknown, packet dropped"},
      {"0E000000", "packet type 14 unknown"},
  };
  size_t reports = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.packet);
    advance(1000);
    StreamCapture errors(std::cerr);
    engine_->receive({c.packet});
    const std::string text = errors.take();
    if (*c.line) {
      EXPECT_NE(text.find(c.line), std::string::npos) << text;
      EXPECT_EQ(text.find("left out"), std::string::npos) << text;
    } else {
      EXPECT_EQ(text, "");
      ++reports;
    }
    EXPECT_EQ(notify_.reports.size(), reports);
    if (!*c.back) continue;
    // The controller may send the reported frequency back, and it gives the same float.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(notify_.reports.at(reports - 1), m,
                                  std::regex("gw-set-freq : .* frequency \"([^\"]*)\"")));
    TERM::RadioModifier back = modifier(Params::e_wm_chan);
    back.get_lemz().get_params().get_wm_chan().get_freq().set_frequency(m[1].str());
    EXPECT_TRUE(control_->SendASNToChan(back)) << m[1];
    EXPECT_EQ(engine_->sent().back().substr(16, 8), c.back);
  }
}

TEST_F(LemzGateway, StatusSetsTheStateAndTheFilterButSendsNothing) {
  EXPECT_FALSE(control_->SendASNToChan(keyed_status(4)))
      << "keyed without a session address: refused";
  EXPECT_FALSE(control_->GetSQU());
  TERM::RadioStatus status = keyed_status(4);
  status.get_lemz().get_flags().set_ptt(false);
  EXPECT_TRUE(control_->SendASNToChan(status));
  EXPECT_EQ(engine_->sent(), Lines{});
  EXPECT_TRUE(control_->GetSQU());
  EXPECT_EQ(control_->radio_to_chan().squelsh, TERM::RadioSquelshe::on);
  EXPECT_EQ(engine_->state(), "open etype=0x1337 words=0,0,0,0 detached filter=off");
  TERM::RadioModifier ptt = modifier(Params::e_gw_set_ptt);
  EXPECT_TRUE(control_->SendASNToChan(ptt));
  EXPECT_EQ(engine_->sent(), Lines{}) << "a GW_ command is not the gateway's to send";
  EXPECT_FALSE(control_->GetSQU());

  TERM::RadioModifier quality = modifier(Params::e_wm_quality);
  quality.get_lemz().get_params().get_wm_quality().set_bss_val("0.75");
  control_->SendASNToChan(quality);
  EXPECT_FLOAT_EQ(control_->radio_to_chan().radio_quality, 0.75f);
  EXPECT_EQ(engine_->sent(), Lines{"83000000" "3f400000"});

  TERM::RadioStatus ed137;
  ed137.select_ed_137();
  EXPECT_FALSE(control_->SendASNToChan(ed137));
}

// Push-to-talk keys the gateway's source filter to the session address that a wm-trans or
// wm-selcall gave: a command that would set it with no such address, or with one that names no
// single host, is refused whole, and the filter and the wire stay as they were.
TEST(LemzGatewayKey, PushToTalkNeedsASingleHost) {
  ASSERT_TRUE(board().ok());
  // A flag-bearing command with push-to-talk `ptt`; wm-trans and wm-selcall to `ip`.
  auto command = [](int alternative, bool ptt, const char* ip = "") {
    TERM::RadioModifier m = modifier(alternative);
    Params& p = m.get_lemz().get_params();
    TERM::RadioFlags* flags = nullptr;
    if (alternative == Params::e_wm_flags) flags = &p.get_wm_flags().get_flags();
    if (alternative == Params::e_wm_trans) {
      flags = &p.get_wm_trans().get_flags();
      p.get_wm_trans().set_ip(ip);
    }
    if (alternative == Params::e_gw_set_selcall) {
      flags = &p.get_gw_set_selcall().get_flags();
      p.get_gw_set_selcall().set_ip(ip);
    }
    if (!flags) flags = &static_cast<TERM::RadioCommandGWSetFlags*>(p.getSelection())->get_flags();
    flags->set_ptt(ptt);
    return m;
  };
  const struct {
    const char* name;
    std::vector<TERM::RadioModifier> before;  // accepted first
    TERM::RadioModifier last;
    bool taken;
    const char* filter;  // after the last
  } rows[] = {
      {"wm-flags, no key", {}, command(Params::e_wm_flags, true), false, "off"},
      {"gw-set-flags, no key", {}, command(Params::e_gw_set_flags, true), false, "off"},
      {"gw-set-ptt, no key", {}, command(Params::e_gw_set_ptt, true), false, "off"},
      {"gw-set-selcall, whose ip keys nothing", {},
       command(Params::e_gw_set_selcall, true, "127.0.0.5"), false, "off"},
      {"wm-flags after a multicast key",
       {command(Params::e_wm_trans, false, "224.0.0.1")}, command(Params::e_wm_flags, true),
       false, "off"},
      {"wm-flags after a key", {command(Params::e_wm_trans, false, "127.0.0.5")},
       command(Params::e_wm_flags, true), true, "127.0.0.5"},
      {"gw-set-ptt after a key", {command(Params::e_wm_trans, false, "127.0.0.5")},
       command(Params::e_gw_set_ptt, true), true, "127.0.0.5"},
      {"wm-flags released", {}, command(Params::e_wm_flags, false), true, "off"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    LemzRadioGWControl control(kLemzInit);
    EngineSession engine;
    for (const TERM::RadioModifier& m : row.before) ASSERT_TRUE(control.SendASNToChan(m));
    engine.sent();
    EXPECT_EQ(control.SendASNToChan(row.last), row.taken);
    EXPECT_EQ(engine.state(),
              std::string("open etype=0x1337 words=0,0,0,0 detached filter=") + row.filter);
    if (!row.taken) {
      EXPECT_EQ(engine.sent(), Lines{});
      EXPECT_EQ(control.radio_to_chan().flag_p, 0);
    }
  }
}

// A frequency and a quality reach the wire as the nearest float: the largest float's shortest
// text is its bits, and a negative zero goes without its sign bit.
TEST_F(LemzGateway, FloatFieldsOnTheWire) {
  const struct {
    const char* text;
    const char* bits;
  } rows[] = {
      {"3.4028235e38", "7f7fffff"}, {"-3.4028235e38", "ff7fffff"}, {"-0", "00000000"},
      {"-0.0e5", "00000000"},       {"-1e-50", "00000000"},        {"121.5", "42f30000"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    TERM::RadioModifier quality = modifier(Params::e_wm_quality);
    quality.get_lemz().get_params().get_wm_quality().set_bss_val(row.text);
    EXPECT_TRUE(control_->SendASNToChan(quality));
    const Lines reported = engine_->sent();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].substr(8), row.bits);
    if (row.text[0] == '-' && row.bits[0] != '0') continue;  // no negative frequency
    TERM::RadioModifier chan = modifier(Params::e_wm_chan);
    chan.get_lemz().get_params().get_wm_chan().get_freq().set_frequency(row.text);
    EXPECT_TRUE(control_->SendASNToChan(chan));
    const Lines sent = engine_->sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(16, 8), row.bits) << sent[0];  // after the header and channel
  }
}

TEST_F(LemzWorkstation, SendsGwCommandsOnly) {
  TERM::RadioModifier freq = modifier(Params::e_gw_set_freq);
  freq.get_lemz().get_params().get_gw_set_freq().get_freq().set_channel(2);
  freq.get_lemz().get_params().get_gw_set_freq().get_freq().set_frequency("121.5");
  EXPECT_TRUE(control_->SendASNToChan(freq));
  EXPECT_EQ(engine_->sent(), Lines{"02f00000" "00000002" "42f30000"});
  EXPECT_TRUE(control_->SendASNToChan(modifier(Params::e_wm_flags)));
  EXPECT_EQ(engine_->sent(), Lines{});
}

}  // namespace
