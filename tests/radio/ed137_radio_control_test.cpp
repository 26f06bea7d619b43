// The radio control base and the ED-137 gateway control on the simulated header-extension
// engine, on the movable clock: packets written and read through /dev/rtp_ext, the receive
// loop's runs, the keep-alive and its watch, the report throttle, the access rule and the
// source filter.
#include "radio/ed137_radio_control.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/modules/term.h"
#include "tests/radio/radio_testlib.h"
#include "tests/support/board.h"
#include "tests/support/test_clock.h"

namespace {

using RTPSignalling::ED137RadioGWControl;
using RTPSignalling::ED137RadioParams;

rtp_ext_init_params ed137_init(uint32_t word3 = 10, uint32_t word4 = 1) {
  return rtp_ext_init_params{0x0167, 0, 1, 123, word3, word4};
}

// A TX header extension: PTT type and PTT-id, no features.
std::string tx(unsigned ptt, unsigned id) {
  char text[9];
  std::snprintf(text, sizeof text, "%02X%02X0000", ptt << 5 | id >> 2, (id & 3) << 6);
  return text;
}

TERM::RadioStatus status(TERM::ED137RadioPTT::NamedNumber ptt, TERM::ED137RadioSQU::NamedNumber squ,
                         int quality = -1) {
  TERM::RadioStatus s;
  TERM::ED137RadioHeader& h = s.select_ed_137().get_header();
  h.set_ptt(ptt);
  h.set_squ(squ);
  h.set_ptt_id(7);
  if (quality >= 0) {
    TERM::ED137RadioExtensionSQI& sqi = s.get_ed_137().include_sqi();
    sqi.set_bss_quality(quality);
    sqi.set_bss_method(TERM::ED137RadioBSSMethod::agc);
  }
  return s;
}

TERM::RadioModifier modifier(const std::string& addr, bool tx_command,
                             TERM::ED137RadioPTT::NamedNumber ptt) {
  TERM::RadioModifier m;
  TERM::ED137RadioModifier& e = m.select_ed_137();
  e.get_addr().set_session_addr(addr);
  e.get_addr().set_session_ssrc(77);
  TERM::ED137RadioHeader& h =
      tx_command ? e.get_params().select_tx().get_header() : e.get_params().select_rx().get_header();
  h.set_ptt(ptt);
  h.set_ptt_id(9);
  return m;
}

class Ed137Control : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(board().ok()); }

  // A gateway control with its own session (never attached), as the slot sets it up.
  void make(const ED137RadioParams& params = ED137RadioParams(), uint32_t word3 = 10) {
    control_ = std::make_unique<ED137RadioGWControl>(ed137_init(word3));
    engine_ = std::make_unique<EngineSession>();
    control_->SetParams(params);
    control_->SetNotify(&notify_);
    control_->SetTimerInterval(params.keepalive_period * params.keepalive_multiplier / 2);
    control_->SetTimerEnable(true);
  }
  Lines sent() { return engine_->sent(); }
  void receive(const std::vector<std::string>& packets, const char* addr = "127.0.0.2",
               unsigned ssrc = 5) {
    engine_->receive(packets, addr, ssrc);
  }

  TestClockGuard clock_{uint64_t(5000) * 1000};
  RadioNotify notify_;
  std::unique_ptr<ED137RadioGWControl> control_;
  std::unique_ptr<EngineSession> engine_;
};

TEST_F(Ed137Control, StatusKeepAliveAndAbortOnTheClock) {
  make();
  EXPECT_EQ(engine_->state(), "open etype=0x0167 words=1,123,10,1 detached filter=off");
  EXPECT_TRUE(control_->SendASNToChan(status(TERM::ED137RadioPTT::ptt_off,
                                             TERM::ED137RadioSQU::squ_on, 31)));
  EXPECT_TRUE(control_->GetSQU());
  EXPECT_EQ(sent(), Lines{"11c111f9"});
  // The same status again sends nothing while words 3 and 4 are positive.
  control_->SendASNToChan(status(TERM::ED137RadioPTT::ptt_off, TERM::ED137RadioSQU::squ_on, 31));
  EXPECT_EQ(sent(), Lines{});

  advance(999);
  EXPECT_EQ(sent(), Lines{});
  advance(1);
  EXPECT_EQ(sent(), Lines{"11c111f9"}) << "the keep-alive repeats the RX state";
  EXPECT_TRUE(notify_.aborts.empty());
  advance(1000);  // 2000 ms without a TX packet
  EXPECT_EQ(notify_.aborts, std::vector<int>{151});
  advance(1000);
  EXPECT_EQ(notify_.aborts, (std::vector<int>{151, 151}));
  receive({tx(1, 3)});
  advance(1000);
  EXPECT_EQ(notify_.aborts.size(), 2u) << "a TX packet is a keep-alive";
  EXPECT_EQ(sent().size(), 3u);
}

TEST_F(Ed137Control, KeepAliveGoesOnAcrossTheClockWrap) {
  Mux::TestClock::set((uint64_t(1) << 32) * 1000 - 1500 * 1000);
  make();
  control_->SendASNToChan(status(TERM::ED137RadioPTT::ptt_off, TERM::ED137RadioSQU::squ_off));
  sent();
  for (int i = 0; i < 4; ++i) advance(1000);
  EXPECT_EQ(sent().size(), 4u);
  EXPECT_EQ(notify_.aborts.size(), 3u) << "aborts from 2000 ms on, wrap or not";
}

TEST_F(Ed137Control, RunsOfOneSourceReportTheirLastPacket) {
  make();
  receive({tx(1, 1), tx(1, 2), tx(1, 3)}, "127.0.0.2", 5);
  receive({tx(1, 4), tx(1, 5)}, "127.0.0.3", 6);
  // Both sets are read in one readable event when queued before the loop turns.
  ASSERT_EQ(notify_.reports.size(), 2u);
  notify_.reports.clear();
  engine_->receive({tx(2, 1), tx(2, 2), tx(2, 3)}, "127.0.0.2", 5, false);
  engine_->receive({tx(2, 4), tx(2, 5)}, "127.0.0.3", 6);
  ASSERT_EQ(notify_.reports.size(), 2u);
  EXPECT_NE(notify_.reports[0].find("session-addr \"127.0.0.2\", session-ssrc 5 }, params tx : "
                                    "{ header { ptt coupling-ptt-on, squ squ-off, ptt-id 3"),
            std::string::npos)
      << notify_.reports[0];
  EXPECT_NE(notify_.reports[1].find("\"127.0.0.3\", session-ssrc 6 }, params tx : { header { ptt "
                                    "coupling-ptt-on, squ squ-off, ptt-id 5"),
            std::string::npos)
      << notify_.reports[1];
}

// Besides the turns: a packet whose info request fails other than with "none now" is dropped
// with a line.
TEST_F(Ed137Control, EveryReportNamesItsTrueSender) {
  make();
  expect_turns(*engine_, notify_, tx(1, 3), "127.0.0.2", tx(1, 4), "127.0.0.3");
  notify_.reports.clear();
  ASSERT_EQ(board().command("fail rtp_ext 0xc00c4503 EIO"), Lines{"ok"});
  StreamCapture errors(std::cerr);
  receive({tx(1, 5), tx(1, 6)}, "127.0.0.4", 7);
  ASSERT_EQ(notify_.reports.size(), 1u);
  EXPECT_NE(notify_.reports[0].find("session-addr \"127.0.0.4\""), std::string::npos);
  EXPECT_NE(errors.take().find("packet info rtp_ext fail: Input/output error, packet dropped"),
            std::string::npos);
}

TEST_F(Ed137Control, UnchangedReportsWaitForTheInterval) {
  make();
  receive({tx(1, 3)});
  receive({tx(1, 3)});
  EXPECT_EQ(notify_.reports.size(), 1u);
  advance(1000);
  receive({tx(1, 3)});
  EXPECT_EQ(notify_.reports.size(), 2u);
  receive({tx(0, 3)});
  EXPECT_EQ(notify_.reports.size(), 3u);
}

TEST_F(Ed137Control, ReceiveOnlyRadiosReportNothing) {
  for (uint32_t type : {0u, 1u}) {
    ED137RadioParams params;
    params.radio_type = type;
    make(params);
    receive({tx(1, 3)});
  }
  ED137RadioParams rx_mode;
  rx_mode.txrx_mode = 1;
  make(rx_mode);
  receive({tx(1, 3)});
  EXPECT_TRUE(notify_.reports.empty());
  for (int i = 0; i < 2; ++i) advance(1000);
  EXPECT_EQ(notify_.aborts, std::vector<int>{151}) << "the keep-alive watch still runs";
}

TEST_F(Ed137Control, KeyedRadioFiltersItsSource) {
  make();
  EXPECT_TRUE(control_->SendASNToChan(modifier("127.0.0.9", false, TERM::ED137RadioPTT::normal_ptt_on)));
  EXPECT_EQ(sent(), Lines{"22400000"});
  EXPECT_EQ(engine_->state(),
            "open etype=0x0167 words=1,123,10,1 detached filter=127.0.0.9");
  // A PTT type the standard does not have is dropped before it counts for anything.
  StreamCapture errors(std::cerr);
  receive({"E0000000"}, "127.0.0.9");
  EXPECT_TRUE(notify_.reports.empty());
  EXPECT_NE(errors.take().find("PTT type 7 out of range, packet dropped"), std::string::npos);
  receive({tx(1, 3)}, "127.0.0.8");
  EXPECT_TRUE(notify_.reports.empty()) << "the filter drops other sources";
  receive({tx(1, 3)}, "127.0.0.9");
  EXPECT_EQ(notify_.reports.size(), 1u);

  EXPECT_TRUE(control_->SendASNToChan(status(TERM::ED137RadioPTT::ptt_off, TERM::ED137RadioSQU::squ_off)));
  EXPECT_EQ(engine_->state(),
            "open etype=0x0167 words=1,123,10,1 detached filter=off");
  const Lines requests = log_tail("rtp_ext", 3);
  EXPECT_EQ(requests.back(), "0x20004505 RESET_FILTER");

  EXPECT_FALSE(control_->SendASNToChan(modifier("not-an-address", false, TERM::ED137RadioPTT::normal_ptt_on)));
  TERM::RadioModifier lemz;
  lemz.select_lemz();
  EXPECT_FALSE(control_->SendASNToChan(lemz));
}

// Each packet on its own second, so that every dropped one has its log line; unknown features
// are skipped, the packet is taken.
TEST_F(Ed137Control, MalformedPacketsAreDroppedWithALine) {
  make();
  const struct {
    const char* packet;
    const char* line;  // "" when the packet is reported
  } cases[] = {
      {"20", "packet of 1 bytes too short, packet dropped"},
      {"2001", ""},
      {"2001" "25", "feature longer than the packet of 3 bytes, packet dropped"},
      {"2001" "2100" "430000", "feature longer than the packet of 7 bytes"},
      {"2041" "F2AAAA" "2107", ""},
      {"A0000000", "PTT type 5 out of range, packet dropped"},
      {"C0400000", "PTT type 6 out of range"},
      {"E0000000", "PTT type 7 out of range"},
      {"80000000", ""},
  };
  size_t reports = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.packet);
    advance(1000);
    StreamCapture errors(std::cerr);
    receive({c.packet});
    const std::string text = errors.take();
    if (*c.line) {
      EXPECT_NE(text.find(c.line), std::string::npos) << text;
      EXPECT_EQ(text.find("left out"), std::string::npos) << text;
    } else {
      EXPECT_EQ(text, "");
      ++reports;
    }
    EXPECT_EQ(notify_.reports.size(), reports);
  }
}

// A flood of one kind does not hide a line of another kind, nor a refused command; the counts
// still owed are written when the controller goes.
TEST_F(Ed137Control, AFloodOfBadPacketsGivesOneLineASecondPerKind) {
  make();
  StreamCapture errors(std::cerr);
  receive(std::vector<std::string>(30, "00"));
  receive(std::vector<std::string>(30, "E0000000"));
  for (int i = 0; i < 10; ++i)
    control_->SendASNToChan(modifier("not-an-address", false, TERM::ED137RadioPTT::normal_ptt_on));
  receive(std::vector<std::string>(30, "00"));
  Lines lines = errors.take_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("packet of 1 bytes too short, packet dropped"), std::string::npos);
  EXPECT_NE(lines[1].find("PTT type 7 out of range, packet dropped"), std::string::npos);
  EXPECT_NE(lines[2].find("session-addr \"not-an-address\" is not a dotted IPv4 address"),
            std::string::npos);
  advance(1000);
  receive({"A0000000", "20"});
  lines = errors.take_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("PTT type 5 out of range, packet dropped (29 similar lines left out)"),
            std::string::npos);
  EXPECT_NE(lines[1].find("too short, packet dropped (59 similar lines left out)"),
            std::string::npos);
  // The controller goes: the refused commands' count is still owed.
  control_.reset();
  lines = errors.take_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(": value refused (8 similar lines left out)"),
            std::string::npos)
      << lines[0];
}

TEST_F(Ed137Control, TxCommandKeepsTheKeepAliveGoing) {
  make();
  EXPECT_TRUE(control_->SendASNToChan(modifier("127.0.0.9", true, TERM::ED137RadioPTT::normal_ptt_on)));
  EXPECT_EQ(sent(), Lines{"22400000"});
  advance(1000);
  EXPECT_EQ(sent(), Lines{"22400000"}) << "an RX header with the same fields";
  EXPECT_TRUE(control_->radio_to_chan().IsRx());
}

TEST_F(Ed137Control, FilterChangesOnlyWhenTheEngineTookIt) {
  make();
  const in_addr a{::inet_addr("127.0.0.9")};
  ASSERT_EQ(board().command("fail rtp_ext 0xc0084504 EIO"), Lines{"ok"});
  StreamCapture errors(std::cerr);
  control_->UpdateAccess(true, a);
  EXPECT_FALSE(control_->filter_active());
  EXPECT_NE(errors.take().find("set filer rtp_ext session fail !!!"), std::string::npos);
  control_->UpdateAccess(true, a);
  control_->UpdateAccess(true, a);
  EXPECT_TRUE(control_->filter_active());
  control_->UpdateAccess(false, a);
  control_->UpdateAccess(false, a);
  control_->UpdateAccess(true, in_addr{0});
  EXPECT_EQ(log_tail("rtp_ext", 3),
            (Lines{"0xc0084504 SET_FILTER 127.0.0.9", "0xc0084504 SET_FILTER 127.0.0.9",
                   "0x20004505 RESET_FILTER"}));
}

TEST(RadioControlSession, StartsStopsAndRestarts) {
  ASSERT_TRUE(board().ok());
  StreamCapture errors(std::cerr);
  // Attached to a descriptor that is no RTP session: the engine refuses and nothing stays open.
  ED137RadioGWControl refused(3, rtp_ext_attach_session_params{0, -1}, ed137_init());
  EXPECT_FALSE(refused.ext_fd());
  EXPECT_EQ(EngineSession().state(), "closed etype=0x0167 words=1,123,10,1 detached filter=off");
  const std::string text = errors.take();
  EXPECT_NE(text.find("rtp_ext[3] "), std::string::npos) << text;
  EXPECT_NE(text.find(": attach rtp_ext session fail !!!: Bad file descriptor"), std::string::npos);

  // A session of its own is kept across a restart; only ExtAttach opens a new one.
  ED137RadioGWControl only(ed137_init());
  const std::string before = EngineSession().state();
  EXPECT_TRUE(only.RtpExtStart(false));
  EXPECT_TRUE(only.RtpExtStop());
  EXPECT_EQ(log_tail("rtp_ext", 1), Lines{"0xc0144500 INIT etype=0x0167 words=1,123,10,1"});
  EXPECT_EQ(EngineSession().state(), before);
  EXPECT_TRUE(only.ext_fd());
}

}  // namespace
