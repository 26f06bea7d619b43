// Radio RTP slots on the simulated board, driven by a controller through the control server:
// which factory takes a create, what the slot asks of the RTP and header-extension engines,
// the controller's reports and aborts as signals, codec changes, squelch-gated input and
// destruction.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>

#include "base/device.h"
#include "base/fd.h"
#include "hw/device_names.h"
#include "hw/hw_mux.h"
#include "slots/media/rtp_ext_factory.h"
#include "tests/slots_media/rtp_slots.h"
#include "tests/support/stream_capture.h"

namespace {

// An ED-137 radio status: squelch on, and the radio's response with a keep-alive of 200 ms whose
// transmission depends on the squelch; BSS on.
const char kEd137[] =
    ", radio { status ed-137 : { header { ptt ptt-off, squ squ-on, ptt-id 0, ptt-mute FALSE, "
    "ptt-summation FALSE, sct FALSE }, radio-response { type radio-txrx, txrxmode txrx, "
    "r2s-keepalive-period 200, ptt-id 0, transmission-depend-on-squ TRUE } }, bss-enable TRUE }";

const char kLemzStatus[] =
    ", radio { status lemz : { flags { prio 3, ptt FALSE, bss FALSE, vad-rx FALSE, vad-tx FALSE, "
    "sql FALSE, sh FALSE, pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 }, freq { channel 1, "
    "frequency \"121.5\" }, remote { no 0, ch 0 }, squelshe off, rte a1b, standby-state-channel "
    "active, standby-group 0, standby-state-receiver active } }";

class RadioSlots : public RtpSlots {
 protected:
  static void SetUpTestSuite() {
    RtpSlots::SetUpTestSuite();
    RtpLEMZFactory::instance();
    RtpED137Factory::instance();
  }
  void TearDown() override {
    RtpSlots::TearDown();
    EXPECT_EQ(board().command("sessions rtp_ext"), Lines{"0"});
  }

  // The descriptor number that the newest attach request named.
  static int attached_fd() {
    const Lines log = log_tail("rtp_ext", 20);
    std::smatch m;
    for (auto line = log.rbegin(); line != log.rend(); ++line)
      if (std::regex_search(*line, m, std::regex("ATTACH fd=([0-9]+)"))) return std::stoi(m[1]);
    return -1;
  }
};

TEST_F(RadioSlots, Ed137SlotFromCreateToDestroy) {
  // The ED-137 factory takes the create although the e2m mode asks for only-rtp.
  const int channel = create_slot("ptG711-Alaw", std::string(", pfactor 3") + kEd137 +
                                                     ", rtp-e2m { slot 0, channel 0, mode "
                                                     "only-rtp : { fd 3, pid 1 } }");
  ASSERT_GT(channel, 0);
  const std::string ext = newest_ext_session();
  EXPECT_EQ(board().command("rtpext session " + ext).at(0),
            "open etype=0x0167 words=1,123,6,1 attached filter=off")
      << "200 ms in packets of 3 x 10 ms";
  EXPECT_NE(log_tail("rtp_ext", 1).at(0).find(" pid=-1"), std::string::npos);
  EXPECT_EQ(board().command("rtpext sent " + ext), Lines{"10000000"}) << "the creation's status";
  EXPECT_NE(board().command("rtp sessions").at(0).find("input=on"), std::string::npos)
      << "the squelch is on from the start";
  const Lines rtp = log_tail("rtp", 3);
  EXPECT_NE(rtp.at(1).find("ADD_CHANNEL tdm=-1 dev_no=-1 chn=-1 word3=1"), std::string::npos)
      << "BSS on: " << testing::PrintToString(rtp);

  EXPECT_EQ(talk({"{ seq 2, slot 1, pdu command : ioctl : rtpExt : lemz : { addr { session-addr "
                  "\"127.0.0.2\", session-ssrc 1 }, params wm-flags : { flags { prio 1, ptt "
                  "FALSE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, "
                  "rv FALSE, resv FALSE, selcall 0, li 0 } } } }"}),
            Lines{reply(2, 1, "error : unsupported")});
  // Squelch off: the input follows it at the end of the ioctl.
  EXPECT_EQ(talk({"{ seq 3, slot 1, pdu command : ioctl : rtpExt : ed-137 : { addr { "
                  "session-addr \"127.0.0.2\", session-ssrc 1 }, params rx : { header { ptt "
                  "ptt-off, squ squ-off, ptt-id 0, ptt-mute FALSE, ptt-summation FALSE, sct FALSE "
                  "} } } }"}),
            Lines{reply(3, 1, "success : NULL")});
  EXPECT_EQ(log_tail("rtp", 1), Lines{"0x20005205 INPUT_OFF"});

  // The descriptor the factory attached with is closed; another file takes its number.
  const int stale = attached_fd();
  ASSERT_GE(stale, 0);
  ASSERT_EQ(::fcntl(stale, F_GETFD), -1);
  Fd other(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::dup2(other.get(), stale), stale);
  Fd taken(stale);
  EXPECT_EQ(talk({"{ seq 4, slot 1, pdu command : ioctl : encoder-mode : ulaw }"}),
            Lines{reply(4, 1, "success : NULL")});
  EXPECT_EQ(log_tail("rtp_ext", 3).at(0), "0x20004502 DETACH");
  EXPECT_EQ(log_tail("rtp_ext", 3).at(1), "0xc0144500 INIT etype=0x0167 words=1,123,6,1");
  EXPECT_NE(attached_fd(), stale);
  EXPECT_EQ(log_tail("rtp", 2).at(0).substr(0, 24), "0xc02c5200 BEGIN_SESSION");
  EXPECT_EQ(log_tail("rtp", 2).at(1),
            "0xc0105202 ADD_CHANNEL tdm=" + std::to_string(channel) + " dev_no=-1 chn=-1 word3=1");
  EXPECT_EQ(board().command("rtpext session " + newest_ext_session()).at(0),
            "open etype=0x0167 words=1,123,6,1 attached filter=off");

  // A restart that fails leaves the header-extension session detached, and the ioctl fails.
  ASSERT_EQ(board().command("fail rtp 0xc02c5200 EIO"), Lines{"ok"});
  EXPECT_EQ(talk({"{ seq 5, slot 1, pdu command : ioctl : decoder-mode : ulaw }"}),
            restarted(5, -1));
  EXPECT_EQ(log_tail("rtp_ext", 1), Lines{"0x20004502 DETACH"});

  // 2000 ms without a packet from the voice communication side.
  for (int i = 0; i < 2; ++i) advance(1000);
  const Lines got = pending();
  EXPECT_NE(std::find(got.begin(), got.end(), "{ slot 1, pdu signal : abort : 151 }"), got.end())
      << testing::PrintToString(got);

  EXPECT_EQ(talk({"{ seq 6, slot 1, pdu command : destroy : NULL }"}),
            Lines{reply(6, 1, "success : NULL")});
}

TEST_F(RadioSlots, LemzSlotOnItsOwnSessionReportsEverySecond) {
  create_slot("ptG711-Alaw", kLemzStatus);
  const std::string ext = newest_ext_session();
  EXPECT_EQ(board().command("rtpext session " + ext).at(0),
            "open etype=0x1337 words=0,0,0,0 attached filter=off");
  EXPECT_NE(log_tail("rtp_ext", 1).at(0).find(" pid=" + std::to_string(::getpid())),
            std::string::npos);
  advance(1000);
  const Lines sent = board().command("rtpext sent " + ext);
  EXPECT_EQ(sent, (Lines{"81300000", "8430000000000001" "42f3000001020000", "8630000000000000",
                         "8730000000000000"}))
      << "the creation's status: priority 3, channel 1 at 121.5, squelsh off, rte a1b";
  EXPECT_EQ(talk({"{ seq 2, slot 1, pdu command : destroy : NULL }"}),
            Lines{reply(2, 1, "success : NULL")});
}

TEST_F(RadioSlots, LemzSlotOnAnotherProcesssSession) {
  // The header-extension session that "another process" holds is this test's own.
  Fd held(Device::open(GetRtpExtDevName(), O_RDWR | O_NONBLOCK));
  ASSERT_TRUE(held);
  const std::string sessions = board().command("rtpext session " + newest_ext_session()).at(0);
  create_slot("ptG711-Alaw", std::string(kLemzStatus) + ", rtp-e2m { slot 0, channel 0, mode "
                                                        "only-rtp : { fd " +
                                 std::to_string(held.get()) + ", pid " +
                                 std::to_string(::getpid()) + " } }");
  EXPECT_EQ(log_tail("rtp", 1), Lines{"0xc0085209 RTP_ATTACH fd=" + std::to_string(held.get()) +
                                      " pid=" + std::to_string(::getpid())});
  EXPECT_EQ(board().command("rtpext session " + newest_ext_session()).at(0), sessions)
      << "no session of its own";
  EXPECT_EQ(talk({"{ seq 2, slot 1, pdu command : destroy : NULL }"}),
            Lines{reply(2, 1, "success : NULL")});
  held.close();
}

// The filter word of the newest header-extension session's state.
std::string newest_filter() {
  const std::string state = board().command("rtpext session " + newest_ext_session()).at(0);
  return state.substr(state.find("filter=") + 7);
}

TEST_F(RadioSlots, CodecChangeKeepsTheControllersSourceFilter) {
  const char kEd137Rx[] =
      "ed-137 : { addr { session-addr \"127.0.0.9\", session-ssrc 1 }, params rx : { header { "
      "ptt %s, squ squ-on, ptt-id 0, ptt-mute FALSE, ptt-summation FALSE, sct FALSE } } }";
  const char kLemzTrans[] =
      "lemz : { addr { session-addr \"127.0.0.9\", session-ssrc 1 }, params wm-trans : { flags { "
      "prio 1, ptt %s, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv "
      "FALSE, resv FALSE, selcall 0, li 0 }, ip \"127.0.0.9\", ssrc 1 } }";
  struct Family {
    const char* name;
    const char* create;
    const char* command;  // an rtpExt value whose %s is the push-to-talk
    const char* keyed;
    const char* unkeyed;
  };
  const Family families[] = {{"ed-137", kEd137, kEd137Rx, "normal-ptt-on", "ptt-off"},
                             {"lemz", kLemzStatus, kLemzTrans, "TRUE", "FALSE"}};
  for (const Family& f : families) {
    SCOPED_TRACE(f.name);
    auto rtp_ext = [&](int seq, const char* ptt) {
      char value[600];
      std::snprintf(value, sizeof value, f.command, ptt);
      return talk({"{ seq " + std::to_string(seq) + ", slot 1, pdu command : ioctl : rtpExt : " +
                   value + " }"});
    };
    auto codec = [&](int seq, const std::string& change) {
      return talk({"{ seq " + std::to_string(seq) + ", slot 1, pdu command : ioctl : " + change +
                   " }"});
    };
    ASSERT_GT(create_slot("ptG711-Alaw", f.create), 0);
    EXPECT_EQ(rtp_ext(2, f.keyed), Lines{reply(2, 1, "success : NULL")});
    EXPECT_EQ(newest_filter(), "127.0.0.9");
    EXPECT_EQ(codec(3, "encoder-mode : ulaw"), Lines{reply(3, 1, "success : NULL")});
    EXPECT_EQ(newest_filter(), "127.0.0.9") << "the new session filters as the old one did";
    EXPECT_EQ(log_tail("rtp_ext", 1), Lines{"0xc0084504 SET_FILTER 127.0.0.9"});

    // Unkeyed while no session is attached: the next session gets no filter.
    ASSERT_EQ(board().command("fail rtp 0xc02c5200 EIO"), Lines{"ok"});
    EXPECT_EQ(codec(4, "decoder-mode : ulaw"), restarted(4, -1));
    StreamCapture errors(std::cerr);
    EXPECT_EQ(rtp_ext(5, f.unkeyed), Lines{reply(5, 1, "success : NULL")});
    EXPECT_NE(errors.take().find("reset filer rtp_ext session fail !!!"), std::string::npos);
    EXPECT_EQ(codec(6, "encoder-mode : alaw"), restarted(6, 512));
    EXPECT_EQ(newest_filter(), "off");
    EXPECT_EQ(log_tail("rtp_ext", 1).at(0).substr(0, 17), "0xc0084501 ATTACH");

    EXPECT_EQ(talk({"{ seq 7, slot 1, pdu command : destroy : NULL }"}),
              Lines{reply(7, 1, "success : NULL")});
  }
}

// A create may give any of the three delays; the absent ones count as 0.
TEST_F(RadioSlots, AbsentDelaysCountAsZero) {
  const struct {
    const char* delays;
    const char* configured;
  } cases[] = {{", rx-delay 40", "rx=40 tx=0 selcal=0"},
               {", tx-delay 5, selcal-delay 6", "rx=0 tx=5 selcal=6"},
               {", selcal-delay 9", "rx=0 tx=0 selcal=9"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delays);
    std::string radio = kLemzStatus;
    radio.insert(radio.size() - 2, c.delays);
    ASSERT_GT(create_slot("ptG711-Alaw", radio), 0);
    const Lines dsp = board().command("log dsp");
    ASSERT_FALSE(dsp.empty());
    EXPECT_NE(dsp.back().find(std::string("DELAYS ") + c.configured), std::string::npos)
        << dsp.back();
    EXPECT_EQ(talk({"{ seq 2, slot 1, pdu command : destroy : NULL }"}),
              Lines{reply(2, 1, "success : NULL")});
  }
}

// A refused restart lets the channel go everywhere: a later slot given it starts clean and keeps
// its call when the first slot or its trunk goes; the first slot's next codec change asks anew.
struct LostChannel {
  const char* name;
  const char* radio;  // codecRTP's radio, or ""
  int destroyed;      // slot 1 (the first RTP slot) or 2 (its trunk)
  const char* refused = "0xc02c5200";  // the engine's request that refuses the restart
};

class LostChannels : public RadioSlots, public testing::WithParamInterface<LostChannel> {};

// Switch outputs 512, 513, 1 (trunk 0/1) and 2 (trunk 0/2), then the engine's session count.
std::string state() {
  std::string text;
  for (const char* o : {"512", "513", "1", "2"})
    text += std::string(o) + "=" + board().command(std::string("switch ") + o).at(0) + " ";
  return text + "sessions=" + board().command("sessions rtp").at(0);
}

TEST_P(LostChannels, LaterCallOnTheChannelIsLeftAlone) {
  const LostChannel& r = GetParam();
  StreamCapture err(std::cerr);
  for (const int output : {513, 1, 2}) ASSERT_TRUE(HwMux::instance().Disable(output));
  ASSERT_EQ(create_slot("ptG711-Alaw", r.radio), 512);
  talk({"{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }",
        "{ seq 3, slot 1, pdu command : connect : 2 }",
        "{ seq 4, slot 2, pdu command : connect : 1 }"});
  ASSERT_EQ(board().command(std::string("fail rtp ") + r.refused + " EIO"), Lines{"ok"});
  EXPECT_EQ(talk({"{ seq 5, slot 1, pdu command : ioctl : encoder-mode : ulaw }"}),
            restarted(5, -1));
  EXPECT_EQ(state(), "512=off 513=off 1=const 0xd5 2=off sessions=0");
  // Without a channel the slot takes no connection and no request for the DSPs.
  EXPECT_EQ(talk({"{ seq 6, slot 2, pdu command : connect : 1 }",
                  "{ seq 7, slot 1, pdu command : ioctl : echoSuppressor : TRUE }"}),
            (Lines{reply(6, 2, "error : connectFail"),
                   reply(7, 1, "error : insufficientResources")}));
  talk({create(3, "ptG711-Alaw"),
        "{ seq 8, slot 4, pdu command : create : trunk : { trunk 0, timeslot 2 } }",
        "{ seq 9, slot 3, pdu command : connect : 4 }",
        "{ seq 10, slot 4, pdu command : connect : 3 }"});
  const std::string later = "512=2 513=off 1=const 0xd5 2=512 sessions=1";
  EXPECT_EQ(state(), later);
  talk({"{ seq 11, slot " + std::to_string(r.destroyed) + ", pdu command : destroy : NULL }"});
  EXPECT_EQ(state(), later);
  if (r.destroyed == 2) {
    EXPECT_EQ(talk({"{ seq 12, slot 1, pdu command : ioctl : encoder-mode : alaw }"}),
              restarted(12, 513));
    EXPECT_EQ(state(), "512=2 513=off 1=const 0xd5 2=512 sessions=2");
  }
  EXPECT_EQ(err.take().find("Bad file descriptor"), std::string::npos)
      << "no request on the session that was lost";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LostChannels,
    testing::Values(LostChannel{"RtpSlotGoes", "", 1}, LostChannel{"RtpSlotsTrunkGoes", "", 2},
                    LostChannel{"Ed137SlotGoes", kEd137, 1},
                    LostChannel{"Ed137SlotsTrunkGoes", kEd137, 2},
                    LostChannel{"LemzSlotsTrunkGoes", kLemzStatus, 2, "0xc0105202"}),
    [](const testing::TestParamInfo<LostChannel>& i) { return std::string(i.param.name); });

TEST_F(RadioSlots, EngineFailureLeavesASlotWithoutRadio) {
  ASSERT_EQ(board().command("fail rtp_ext open ENODEV"), Lines{"ok"});
  StreamCapture errors(std::cerr);
  EXPECT_GT(create_slot("ptG711-Alaw", kEd137), 0);
  EXPECT_NE(errors.take().find("create rtp_ext session fail !!!"), std::string::npos);
  EXPECT_EQ(talk({"{ seq 2, slot 1, pdu command : destroy : NULL }"}),
            Lines{reply(2, 1, "success : NULL")});
}

}  // namespace
