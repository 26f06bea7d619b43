// RTP slots on the simulated board: a controller (orvex-ctl's library) on loopback TCP drives the
// control server with the slot registry and the RTP and trunk factories; the simulator's RTP
// engine shows the sessions, its request logs show what the slot asked of the engine and the DSP
// receivers, and a UDP socket on loopback receives the RTCP packets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "slots/media/rtp_setup.h"
#include "slots/media/rtp_slot.h"
#include "tests/slots_media/rtp_slots.h"
#include "tests/support/stream_capture.h"

namespace {

// The session record that a create makes, read back from the engine.
struct Mapping {
  const char* name;
  const char* payload;
  const char* more;  // codecRTP after dhost
  const char* tx;
  const char* rx;
  const char* session;  // the engine's line after the channel, {P} and {L} the ports
};

class RtpRecords : public RtpSlots, public testing::WithParamInterface<Mapping> {};

TEST_P(RtpRecords, ReadBackFromTheEngine) {
  const Mapping& m = GetParam();
  const Lines got = talk({create(1, m.payload, m.more, m.tx, m.rx)});
  ASSERT_EQ(got.size(), 3u) << testing::PrintToString(got);
  EXPECT_EQ(got[0], reply(1, 1, "success : NULL"));
  const Lines sessions = board().command("rtp sessions");
  ASSERT_EQ(sessions.size(), 1u);
  const std::string channel = sessions[0].substr(0, sessions[0].find(' '));
  EXPECT_EQ(got[1], "{ slot 1, pdu signal : transmitter : active : " + channel + " }");
  EXPECT_EQ(got[2], "{ slot 1, pdu signal : receiver : active : " + channel + " }");
  EXPECT_EQ(sessions[0].substr(channel.size() + 1), ports(m.session));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtpRecords,
    testing::Values(
        Mapping{"G729ReceivingUlaw", "ptG729",
                ", shost { iaddr \"127.0.0.1\", port {L} }, ssrc 305419896", "ptG729",
                "ptG711-Ulaw",
                "remote=127.0.0.1:{P} local=127.0.0.1:{L} rx_pt=0 tx_pt=18 pfactor=0 vad=0 "
                "rate=0 ssrc=0x12345678 ttl=0 tos=0xffffffff input=off pd=off"},
        Mapping{"EveryOptionGiven", "ptG711-Ulaw",
                ", pfactor 65535, crate 1, vad TRUE, ssrc 7, ttl 64, qos-dscp ef", "", "",
                "remote=127.0.0.1:{P} local=0.0.0.0:{P} rx_pt=0 tx_pt=0 pfactor=65535 vad=1 "
                "rate=1 ssrc=0x07 ttl=64 tos=0xb8 input=off pd=off"},
        Mapping{"G711OverridesOnlyG711", "ptG711mcc-Alaw", ", ssrc 2", "ptG711-Alaw",
                "ptG729",
                "remote=127.0.0.1:{P} local=0.0.0.0:{P} rx_pt=136 tx_pt=8 pfactor=0 vad=0 "
                "rate=0 ssrc=0x02 ttl=0 tos=0xffffffff input=off pd=off"},
        Mapping{"RtcpPortWrapsToAnyPort", "ptG711-Alaw",
                ", shost { iaddr \"127.0.0.1\", port 65535 }, ssrc 4", "", "",
                "remote=127.0.0.1:{P} local=127.0.0.1:65535 rx_pt=8 tx_pt=8 pfactor=0 vad=0 "
                "rate=0 ssrc=0x04 ttl=0 tos=0xffffffff input=off pd=off"}),
    [](const testing::TestParamInfo<Mapping>& i) { return std::string(i.param.name); });

// The SDES at the start and the BYE at the end go from local port + 1 to the peer's port + 1;
// both carry the SSRC of the session, a pseudo-random one here.
TEST_F(RtpSlots, RtcpGoesOutAtCreateAndDestroy) {
  const int channel = create_slot("ptG711-Alaw");
  const Lines sessions = board().command("rtp sessions");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(sessions.at(0), m, std::regex("ssrc=0x([0-9a-f]+)")));
  char ssrc[9];
  std::snprintf(ssrc, sizeof ssrc, "%08lX", std::stoul(m[1], nullptr, 16));
  unsigned short from = 0;
  const std::string sdes = receive(rtcp_peer_, &from);
  EXPECT_EQ(from, local_port_ + 1);
  const std::string items = "0111" + hex(RtpSlot::kCname) + "0316" + hex(RtpSlot::kEmail) +
                            "040E" + hex(RtpSlot::kPhone) + "00";
  EXPECT_EQ(sdes, "81CA0010" + std::string(ssrc) + items);

  StreamCapture log(std::clog);
  EXPECT_EQ(talk({"{ seq 1, slot 1, pdu command : destroy : NULL }"}),
            Lines{reply(1, 1, "success : NULL")});
  const std::string bye = receive(rtcp_peer_);
  EXPECT_EQ(bye, "81CB0004" + std::string(ssrc) + "0B" + hex("session end"));
  EXPECT_EQ(log_tail("rtp", 4),
            (Lines{"0x2000520a STOP_10", "0x20005203 STOP_3", "0x2000520b STOP_11",
                   "0x8004520d EVENT_OFF type=1"}));
  const Lines hal = board().command("log hal");
  EXPECT_NE(std::find(hal.begin(), hal.end(), "0x80044d03 disable output=" + std::to_string(channel)),
            hal.end());

  // tshark's RTCP dissector reads both packets as sent.
  std::string id = "0x" + std::string(ssrc);
  std::transform(id.begin(), id.end(), id.begin(), ::tolower);
  const std::string port = std::to_string(peer_port_ + 1);
  EXPECT_EQ(tshark_of({sdes, bye}, "-u " + std::to_string(from) + "," + port,
                      "-d udp.port==" + port + ",rtcp -T fields -e rtcp.pt -e rtcp.ssrc.identifier"
                      " -e rtcp.sdes.text -e rtcp.length_check -e _ws.expert.message"
                      " -e _ws.malformed"),
            "202\t" + id + "\t" + RtpSlot::kCname + "," + RtpSlot::kEmail + "," +
                RtpSlot::kPhone + "\t1\t\t\n203\t" + id + "\tsession end\t1\t\t\n");
}

// Refused creates: the reason on the error stream, the cause, and nothing left open (the
// fixture checks the engine's sessions; the RTCP port is free again).
struct Refusal {
  const char* name;
  const char* sim;  // a simulator command run first, or ""
  const char* payload;
  const char* more;
  const char* edit;   // a text of the command to replace, or ""
  const char* by;     // with this
  const char* error;  // {R} the RTCP port
  const char* cause = "insufficientResources";
};

class RtpRefusals : public RtpSlots, public testing::WithParamInterface<Refusal> {};

TEST_P(RtpRefusals, LeaveNothingOpen) {
  const Refusal& r = GetParam();
  if (*r.sim) {
    ASSERT_EQ(board().command(r.sim), Lines{"ok"});
  }
  Fd taken = std::string(r.name) == "RtcpPortTaken" ? udp_loopback(local_port_ + 1) : Fd();
  StreamCapture err(std::cerr);
  StreamCapture log(std::clog);
  std::string command =
      create(1, r.payload, std::string(", shost { iaddr \"127.0.0.1\", port {L} }") + r.more);
  if (*r.edit) command = replace(command, r.edit, r.by);
  EXPECT_EQ(talk({command}), Lines{reply(1, 1, std::string("error : ") + r.cause)});
  EXPECT_EQ(err.take(),
            replace(r.error, "{R}", std::to_string(local_port_ + 1)));
  EXPECT_NE(log.take().find("do create rtp: "), std::string::npos);
  taken.close();
  EXPECT_TRUE(udp_loopback(local_port_ + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtpRefusals,
    testing::Values(
        Refusal{"T38", "", "ptT38-UDP-TL", "", "", "",
                "rtp[16,16,64,64]: rtp do not created: payload ptT38-UDP-TL not found\n"},
        Refusal{"RtcpPortTaken", "", "ptG711-Alaw", "", "", "",
                "rtp[16,16,64,64]: rtp do not created: can not bind socket [errno=Address "
                "already in use, port={R}]\n"},
        Refusal{"SessionRefused", "fail rtp 0xc02c5200 EIO", "ptG711-Alaw", "", "", "",
                "rtp[16,16,64,64]: begin session fail !!! \n"},
        Refusal{"NoDottedRemote", "", "ptG711-Alaw", "", "dhost { iaddr \"127.0.0.1\"",
                "dhost { iaddr \"nowhere\"",
                "rtp[16,16,64,64]: rtp do not created: \"nowhere\"\n", "invalidParams"},
        Refusal{"NoDottedLocal", "", "ptG711-Alaw", "", "shost { iaddr \"127.0.0.1\"",
                "shost { iaddr \"010.0.0.1\nrtp[1]: forged\"",
                "rtp[16,16,64,64]: rtp do not created: \"010.0.0.1\\x0artp[1]: forged\"\n",
                "invalidParams"},
        Refusal{"PfactorPast16Bits", "", "ptG711-Alaw", ", pfactor 65536", "", "",
                "rtp[16,16,64,64]: pfactor 65536 out of range 0..65535\n", "invalidParams"},
        Refusal{"PfactorNegative", "", "ptG711-Alaw", ", pfactor -1", "", "",
                "rtp[16,16,64,64]: pfactor -1 out of range 0..65535\n", "invalidParams"}),
    [](const testing::TestParamInfo<Refusal>& i) { return std::string(i.param.name); });

// Refused creates, which a controller can repeat at any rate: one line a second per kind, with
// the count of those left out, and a flood of one kind hides no other.
TEST_F(RtpSlots, RefusedCreatesAreLoggedOnceASecondPerKind) {
  const struct {
    std::string command;
    std::string line;
  } kinds[] = {
      {create(1, "ptT38-UDP-TL"),
       "rtp[16,16,64,64]: rtp do not created: payload ptT38-UDP-TL not found"},
      {replace(create(1, "ptG711-Alaw"), "iaddr \"127.0.0.1\"", "iaddr \"nowhere\""),
       "rtp[16,16,64,64]: rtp do not created: \"nowhere\""},
  };
  StreamCapture err(std::cerr);
  StreamCapture log(std::clog);
  for (int round = 0; round < 10; ++round) {
    for (const auto& k : kinds)
      EXPECT_EQ(talk({k.command}).size(), 1u);
  }
  EXPECT_EQ(err.take_lines(), (Lines{kinds[0].line, kinds[1].line}));
  advance(1000);
  for (const auto& k : kinds) talk({k.command});
  EXPECT_EQ(err.take_lines(), (Lines{kinds[0].line + " (9 similar lines left out)",
                                     kinds[1].line + " (9 similar lines left out)"}));
}

// Ioctl commands become requests of the DSP receivers and the engine on the slot's channel.
struct IoctlCase {
  const char* name;
  const char* sim;    // a simulator command run first, or ""
  const char* ioctl;  // the alternative in value notation
  const char* answer;
  const char* device;  // whose newest log line is checked, or ""
  const char* line;    // that line as a pattern, {CH} the channel
};

class RtpIoctls : public RtpSlots, public testing::WithParamInterface<IoctlCase> {};

TEST_P(RtpIoctls, ReachTheDevices) {
  const IoctlCase& c = GetParam();
  const int channel = create_slot();
  if (*c.sim) {
    ASSERT_EQ(board().command(c.sim), Lines{"ok"});
  }
  const std::string log = std::string("log ") + (*c.device ? c.device : "rtp");
  const size_t before = board().command(log).size();
  StreamCapture err(std::cerr);
  EXPECT_EQ(talk({std::string("{ seq 1, slot 1, pdu command : ioctl : ") + c.ioctl + " }"}),
            Lines{reply(1, 1, c.answer)});
  const Lines after = board().command(log);
  ASSERT_EQ(after.size(), before + (*c.device ? 1 : 0));
  if (*c.device) {
    EXPECT_TRUE(std::regex_match(after.back(), std::regex(replace(c.line, "{CH}",
                                                                  std::to_string(channel)))))
        << after.back();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtpIoctls,
    testing::Values(
        IoctlCase{"EchoSuppressor", "", "echoSuppressor : TRUE", "success : NULL", "dtmf",
                  "0x40044206 CHANNEL_LMS_ON ts={CH}"},
        IoctlCase{"VadEnable", "", "vad-enable : TRUE", "success : NULL", "dsp",
                  "0x400c6402 ENABLE ts={CH} id=[0-9]+ mask=0x01"},
        IoctlCase{"RxGain", "", "rx-gain : { gainDB -6 }", "success : NULL", "dsp",
                  "0x40146401 CONFIGURE ts={CH} RX_GAIN gain_dB=-6"},
        IoctlCase{"ToneFilter", "",
                  "tone-filter : { freq 2100, enable TRUE, duration-th-msec 40, det-level-dB -30 }",
                  "success : NULL", "dsp",
                  "0x40146401 CONFIGURE ts={CH} TONE_FILTER freq=2100 en=1 dur_th_msec=40 "
                  "det_lvl_dB=-30"},
        IoctlCase{"PdRefused", "fail rtp 0xc024520c EIO", "pd-enable : { timeout 5 }",
                  "error : unsupported", "rtp", "0xc024520c EVENT_ON type=1 timeout=5 timeout2=5"},
        IoctlCase{"NotAnRtpIoctl", "", "ss7RqBSN : NULL", "error : unsupported", "", ""}),
    [](const testing::TestParamInfo<IoctlCase>& i) { return std::string(i.param.name); });

// A value that the DSP record's field cannot carry is refused with invalidParams and nothing
// reaches the DSP or the tone device; a refusal by the DSP or the tone device is answered as an
// error.
TEST_F(RtpSlots, IoctlValuesTheDevicesCannotCarryAreRefused) {
  create_slot();
  struct Row {
    const char* sim;
    const char* ioctl;
    const char* answer;
  };
  const Row rows[] = {
      {"", "rx-gain : { gainDB 128 }", "error : invalidParams"},
      {"", "rx-gain : { gainDB -129 }", "error : invalidParams"},
      {"", "tone-filter : { freq 70000, enable TRUE, duration-th-msec 40, det-level-dB -30 }",
       "error : invalidParams"},
      {"", "tone-filter : { freq 2100, enable TRUE, duration-th-msec -1, det-level-dB -30 }",
       "error : invalidParams"},
      {"", "tone-filter : { freq 2100, enable TRUE, duration-th-msec 40, det-level-dB 128 }",
       "error : invalidParams"},
      {"", "vad-params : v2 : { voice-th-msec -1, silence-th-msec 10, e-th-dB 3 }",
       "error : invalidParams"},
      {"", "vad-params : v2 : { voice-th-msec 10, silence-th-msec 10, e-th-dB 256 }",
       "error : invalidParams"},
      {"", "translateDTMF : { digits { { freq1 70000, freq2 1209 } } }", "error : invalidParams"},
      {"", "translateDTMF : { digits { { freq1 697, freq2 1209 } }, amp1 -1 }",
       "error : invalidParams"},
      {"", "selcal : { amp 65536, signs \"1234\" }", "error : invalidParams"},
      {"fail dsp 0x40146401 EIO", "rx-gain : { gainDB -6 }", "error : unsupported"},
      {"fail dtmf 0x400c4205 EIO", "translateDTMF : { digits { { freq1 697, freq2 1209 } } }",
       "error : unsupported"},
      {"", "selcal : { signs \"XYZ\" }", "error : unsupported"},
      {"fail dtmf 0x400c420e EIO", "selcal : { signs \"ABCD\" }", "error : unsupported"},
  };
  for (const Row& row : rows) {
    if (*row.sim) {
      ASSERT_EQ(board().command(row.sim), Lines{"ok"});
    }
    const size_t dsp = board().command("log dsp").size();
    const size_t dtmf = board().command("log dtmf").size();
    StreamCapture err(std::cerr);
    EXPECT_EQ(talk({std::string("{ seq 1, slot 1, pdu command : ioctl : ") + row.ioctl + " }"}),
              Lines{reply(1, 1, row.answer)})
        << row.ioctl;
    // A refused request is in the log of the device that refused it, and nothing follows it.
    const bool by_dsp = std::string(row.sim).find(" dsp ") != std::string::npos;
    const bool by_dtmf = std::string(row.sim).find(" dtmf ") != std::string::npos;
    EXPECT_EQ(board().command("log dsp").size(), dsp + by_dsp) << row.ioctl;
    EXPECT_EQ(board().command("log dtmf").size(), dtmf + by_dtmf) << row.ioctl;
  }
}

// A Selcal code holds the tone generator until the DSP reports it dialled; a code still playing
// when the slot is destroyed is switched off with the slot.
TEST_F(RtpSlots, SelcalCodePlaysUntilTheDspReportsItDialled) {
  for (const bool dialled : {true, false}) {
    SCOPED_TRACE(dialled ? "reported dialled" : "still playing");
    const std::string ch = std::to_string(create_slot());
    EXPECT_EQ(talk({"{ seq 1, slot 1, pdu command : ioctl : selcal : { signs \"ABCD\" } }"}),
              Lines{reply(1, 1, "success : NULL")});
    const std::string code = "0x400c420e SELCAL_DIAL ts=" + ch + " amp=12000 signs=ABCD reserved=0";
    EXPECT_EQ(log_tail("dtmf", 1), Lines{code});
    if (dialled) {
      ASSERT_EQ(board().command("dsp event " + ch + " 0 512 0 -2147483648 0"), Lines{"ok"});
      EXPECT_EQ(pending(), Lines{"{ slot 1, pdu signal : selcal : { in-progress FALSE } }"});
    }
    talk({"{ seq 2, slot 1, pdu command : destroy : NULL }"});
    EXPECT_EQ(log_tail("dtmf", 1),
              Lines{dialled ? code : "0x400c4205 DTMF_DIAL ts=" + ch +
                                         " freq1=0 freq2=0 level1=0 level2=0"});
  }
}

// A codec change restarts the session on the same channel, unless it changes nothing; the old
// session is closed, the new one gets the input, packet detector and DTMF settings the slot
// had, and its events are read: the packet detector's become rtp signals, others are only
// logged. A failed restart leaves no session.
TEST_F(RtpSlots, CodecChangesRestartTheSession) {
  const int channel = create_slot("ptG729", ", ssrc 9");
  const std::string ch = std::to_string(channel);
  const std::string session = "remote=127.0.0.1:" + std::to_string(peer_port_) +
                              " local=127.0.0.1:" + std::to_string(local_port_);
  talk({"{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 3 } }",
        "{ seq 3, slot 1, pdu command : connect : 2 }",
        "{ seq 4, slot 2, pdu command : connect : 1 }",
        "{ seq 5, slot 1, pdu command : ioctl : pd-enable : { timeout 250 } }",
        "{ seq 6, slot 1, pdu command : ioctl : dtmf-params : { threshold { twist 8, ratio 7, "
        "noise 6 }, level { silence 5 } } }",
        "{ seq 7, slot 1, pdu command : ioctl : dtmf-enable : TRUE }",
        "{ seq 8, slot 1, pdu command : ioctl : dtmf-reject-enable : TRUE }"});
  const Lines dtmf = log_tail("dtmf", 3);
  const std::string settings = " pfactor=0 vad=0 rate=0 ssrc=0x09 ttl=0 tos=0xffffffff";
  ASSERT_EQ(board().command("rtp sessions"),
            Lines{ch + " " + session + " rx_pt=18 tx_pt=18" + settings + " input=on pd=on"});
  const size_t dtmf_before = board().command("log dtmf").size();
  StreamCapture log(std::clog);
  EXPECT_EQ(talk({"{ seq 1, slot 1, pdu command : ioctl : decoder-mode : lbrc }"}),
            Lines{reply(1, 1, "success : NULL")});
  EXPECT_NE(log.take().find(" - Nothing to do\n"), std::string::npos);
  EXPECT_EQ(talk({"{ seq 1, slot 1, pdu command : ioctl : encoder-mode : alaw }"}),
            Lines{reply(1, 1, "success : NULL")});
  EXPECT_NE(log.take().find(" - OK\nrtp[" + ch + "]: RTP SET EVENT PD timeout=250\n"),
            std::string::npos);
  EXPECT_EQ(board().command("rtp sessions"),
            Lines{ch + " " + session + " rx_pt=18 tx_pt=8" + settings + " input=on pd=on"});
  EXPECT_EQ(log_tail("rtp", 2), (Lines{"0x20005204 INPUT_ON",
                                       "0xc024520c EVENT_ON type=1 timeout=250 timeout2=250"}));
  // The same configuration, detection under the same id, rejection.
  EXPECT_EQ(board().command("log dtmf").size(), dtmf_before + 3);
  EXPECT_EQ(log_tail("dtmf", 3), dtmf);
  ASSERT_EQ(board().command("rtp event " + ch + " 1 5 300"), Lines{"ok"});
  ASSERT_EQ(board().command("rtp event " + ch + " 2 7 8"), Lines{"ok"});
  ASSERT_EQ(board().command("rtp event " + ch + " 1 6 0"), Lines{"ok"});
  EXPECT_EQ(pending(), (Lines{"{ slot 1, pdu signal : rtp : pd : { value 5, timeout 300 } }",
                              "{ slot 1, pdu signal : rtp : pd : { value 6, timeout 0 } }"}));
  const std::string h = "rtp[" + ch + "]: rtp event:  type=";
  EXPECT_EQ(log.take(), h + "1\n" + h + "2\n" + h + "1\n");

  ASSERT_EQ(board().command("fail rtp 0xc02c5200 EIO"), Lines{"ok"});
  StreamCapture err(std::cerr);
  EXPECT_EQ(talk({"{ seq 1, slot 1, pdu command : ioctl : decoder-mode : ulaw }"}),
            restarted(1, -1));
  EXPECT_EQ(err.take_lines(), (Lines{"rtp[" + ch + "]: fail to restart RTP session!",
                                     "DTMF_DISABLE_DETECTOR done: timeslot=" + ch}));
  EXPECT_EQ(board().command("sessions rtp"), Lines{"0"});
  // The same codec again: no longer "nothing to do", the session comes back.
  EXPECT_EQ(talk({"{ seq 1, slot 1, pdu command : ioctl : decoder-mode : ulaw }"}),
            restarted(1, channel));
  EXPECT_EQ(board().command("rtp sessions"),
            Lines{ch + " " + session + " rx_pt=0 tx_pt=8" + settings + " input=off pd=off"});
  talk({"{ seq 1, slot 1, pdu command : destroy : NULL }",
        "{ seq 2, slot 2, pdu command : destroy : NULL }"});
}

// A radio slot whose input follows the squelch: opening the input stream asks nothing; closing
// it switches the input off all the same.
TEST_F(RtpSlots, SquelchGatedInputIsNotSwitchedOn) {
  struct Gated : RtpSlot {
    using RtpSlot::RtpSlot;
    bool on() const { return input_on; }
    void gate() { squelch_gated = true; }
  };
  Fd session(OpenRtpSession());
  rtp_connection_params params{};
  rtp_channel_info info{-1, -1, -1, 0};
  ASSERT_TRUE(BeginRtpSession(session.get(), params));
  ASSERT_TRUE(AddRtpChannel(session.get(), info));
  Gated slot(info.tdm, session, params);
  slot.gate();
  const size_t before = board().command("log rtp").size();
  EXPECT_TRUE(slot.IOnInputStream());
  EXPECT_FALSE(slot.on());
  EXPECT_EQ(board().command("log rtp").size(), before);
  slot.IOnInputRelease();
  EXPECT_EQ(log_tail("rtp", 1), Lines{"0x20005205 INPUT_OFF"});
}

// The capacities come from /dev/voice at every query; a selector the driver refuses reads 0.
TEST_F(RtpSlots, CapacitiesAreReadAtEveryQuery) {
  LGCP::Resources report;
  RtpFactory::instance().Query(report);
  const auto figures = [&report] {
    return std::vector<int>{report.get_rtp_g729().getValue(), report.get_rtp_g723().getValue(),
                            report.get_rtp_g711().getValue(),
                            report.get_rtp_g711mcc().getValue(),
                            report.get_universal().getValue()};
  };
  EXPECT_EQ(figures(), (std::vector<int>{16, 16, 64, 32, 64}));
  ASSERT_EQ(board().command("fail voice 0x40045602 EIO"), Lines{"ok"});
  RtpFactory::instance().Query(report);
  EXPECT_EQ(figures(), (std::vector<int>{0, 16, 64, 32, 64}));
  RtpFactory::instance().IQuery();
}
}  // namespace
