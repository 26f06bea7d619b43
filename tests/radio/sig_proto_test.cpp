// The LEMZ codec: packing against byte vectors, unpacking and its error codes, and the bounded
// text dumps.
#include "radio/sig_proto.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "tests/radio/radio_testlib.h"
#include "tests/support/command_output.h"

namespace {

// A record from the description that lemz_oracle.py also reads (key=value pairs).
sig_proto record_of(const std::string& description) {
  std::map<std::string, std::string> d;
  std::istringstream in(description);
  for (std::string item; in >> item;) {
    const size_t eq = item.find('=');
    d[item.substr(0, eq)] = item.substr(eq + 1);
  }
  auto num = [&](const char* k) { return d.count(k) ? std::stoul(d[k], nullptr, 0) : 0ul; };
  sig_proto p;
  sig_proto_init(&p);
  p.type = num("type");
  sig_proto_set_base(&p, num("prio"), num("t"), num("p"), num("r"), num("s"), num("b"),
                     num("rv"), num("sh"), num("rs"), num("pw"), num("c"), num("status"));
  const float freq = d.count("freq") ? std::stof(d["freq"]) : 0.0f;
  in_addr addr{};
  if (d.count("addr")) ::inet_aton(d["addr"].c_str(), &addr);
  const char* cid = d["cid"].c_str();
  const auto n = static_cast<unsigned char>(d.count("n") ? num("n") : std::strlen(cid));
  switch (p.type) {
    case GW_ADJUST_CHAN: sig_proto_set_gw_adjust_chan(&p, num("id"), freq); break;
    case GW_SEL_CALL: sig_proto_set_gw_selcall(&p, cid, n); break;
    case GW_SELECT_RC_CHAN:
    case WM_SELECT_RC_CHAN: sig_proto_set_gw_select_rc_chan(&p, num("iface"), num("chan")); break;
    case GW_ADJUST_SQUELSHE:
    case GW_ADJUST_RTE:
    case GW_ADJUST_STANDBY: sig_proto_set_gw_adjust_rte(&p, num("byte")); break;
    case WM_TRANS: sig_proto_set_wm_transmite(&p, addr, num("ssrc")); break;
    case WM_RADIO_QUALITY: sig_proto_set_wm_radio_quality(&p, std::stof(d["quality"])); break;
    case WM_CHAN: sig_proto_set_wm_chan(&p, num("id"), freq, num("sq"), num("rte")); break;
    case WM_SEL_CALL_TRANS:
      sig_proto_set_wm_selcall_transmite(&p, addr, num("ssrc"), cid, n);
      break;
    case WM_STANDBY: sig_proto_set_wm_standby(&p, num("state"), num("group"), num("rstate"));
  }
  return p;
}

struct Pack {
  const char* name;
  const char* description;
  int size;
  int result;
  const char* hex;
};

const Pack kPacks[] = {
    {"GwFlag", "type=1 prio=15 t=1 p=1 r=0 s=1 b=1 rv=0 sh=1 pw=0 rs=1 c=2", 64, 4, "01FDA005"},
    {"StatusAndFlagC", "type=129 status=511 c=3", 64, 4, "81000FFE"},
    {"GwAdjustChan", "type=2 prio=3 id=258 freq=121.5", 64, 12, "02300000" "00000102" "42F30000"},
    {"GwSelCallThreeOctets", "type=9 p=1 cid=abc", 64, 8, "09040000" "03616263"},
    {"GwSelCallFourOctets", "type=9 cid=abcd", 64, 12, "09000000" "04616263" "64000000"},
    {"GwSelCallNeedsTwelveMore", "type=9 cid=abcd", 15, kSigTooShort, ""},
    {"GwSelectRcChan", "type=10 iface=7 chan=200", 64, 8, "0A000000" "07C80000"},
    {"GwAdjustRte", "type=12 byte=6", 8, 8, "0C000000" "06000000"},
    {"WmTrans", "type=130 p=1 addr=192.168.1.20 ssrc=258", 64, 12,
     "82040000" "1401A8C0" "00000102"},
    {"WmRadioQuality", "type=131 quality=0.75", 64, 8, "83000000" "3F400000"},
    {"WmChanNotConfiguredSquelsh", "type=132 id=3 freq=-1 sq=255 rte=2", 64, 16,
     "84000000" "00000003" "BF800000" "FF020000"},
    {"WmSelCallTrans", "type=133 prio=2 addr=127.0.0.5 ssrc=0xDEADBEEF cid=ab", 22, 16,
     "85200000" "0500007F" "DEADBEEF" "02616200"},
    {"WmSelCallTransNeedsTwentyMore", "type=133 addr=127.0.0.5 cid=ab", 21, kSigTooShort, ""},
    {"WmStandby", "type=135 state=1 group=255 rstate=0", 64, 8, "87000000" "01FF0000"},
    {"UnknownTypeIsAHeader", "type=200 prio=1", 64, 4, "C8100000"},
    {"NoRoomForAHeader", "type=1", 3, kSigTooShort, ""},
};

TEST(LemzPack, PacksAndUnpacksBack) {
  for (const Pack& c : kPacks) {
    SCOPED_TRACE(c.name);
    sig_proto p = record_of(c.description);
    unsigned char buf[80];
    std::fill(std::begin(buf), std::end(buf), 0x5A);
    const int n = sig_proto_pack(&p, buf, c.size);
    ASSERT_EQ(n, c.result);
    for (int i = c.size; i < 80; ++i) ASSERT_EQ(buf[i], 0x5A) << "written past the size at " << i;
    if (n < 0) continue;
    EXPECT_EQ(hex_of(buf, n), c.hex);
    if (p.type > WM_STANDBY) continue;
    sig_proto back;
    sig_proto_init(&back);
    ASSERT_EQ(sig_proto_unpack(&back, buf, n), 0);
    unsigned char again[80];
    EXPECT_EQ(hex_of(again, sig_proto_pack(&back, again, sizeof again)), c.hex);
    EXPECT_EQ(cmp_sig_proto(&p, &back), 0);
  }
}

TEST(LemzOracle, StructPackerAgrees) {
  if (output_of("command -v python3").empty()) GTEST_SKIP() << "python3 is missing";
  std::string descriptions, expected;
  for (const Pack& c : kPacks) {
    if (c.result < 0) continue;
    descriptions += std::string(c.description) + "\n";
    expected += std::string(c.hex) + "\n";
  }
  EXPECT_EQ(output_of("printf '" + descriptions + "' | python3 " ORVEX_TEST_DIR "/lemz_oracle.py"),
            expected);
}

struct Unpack {
  const char* name;
  const char* hex;
  int result;
  uint32_t type;     // the record's type afterwards
  const char* dump;  // a line the dump then holds, or ""
};

const Unpack kUnpacks[] = {
    {"HeaderOnlyType", "07400000", 0, GW_FLAG_PW, "priority : 4,"},
    {"AdjustChanCutShort", "02000000", kSigTooShort, 99, ""},
    {"UnknownTypeKeptAlone", "C8F00000", kSigBadType, 200, "priority : 0,"},
    {"SelCallLongerThanThePacket", "090000000A" "6162636465666768", kSigTooShort, 99, ""},
    {"SelCallTransWithoutItsLengthOctet", "85000000" "0500007F" "00000001", kSigTooShort, 99, ""},
    {"SelCallShorterKeepsTheOldTail", "09000000" "01780000", 0, GW_SEL_CALL, "[0] : 0x78,"},
    {"ThreeBytes", "010000", kSigTooShort, 99, ""},
};

TEST(LemzUnpack, Unpacks) {
  for (const Unpack& c : kUnpacks) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> in = bytes_of(c.hex);
    sig_proto p = record_of("type=9 cid=abcdefgh");
    p.type = 99;
    p.source_ssrc = 42;
    EXPECT_EQ(sig_proto_unpack(&p, in.data(), static_cast<int>(in.size())), c.result);
    EXPECT_EQ(p.type, c.type);
    EXPECT_EQ(p.source_ssrc, 42u);
    EXPECT_EQ(p.payload.gw_sel_call.callerID[5], 'f');
    char text[1024];
    p.type = GW_SEL_CALL;
    sprintf_sig_proto(text, sizeof text, &p, 1);
    if (*c.dump) {
      EXPECT_NE(std::string(text).find(c.dump), std::string::npos) << text;
    }
  }
}

TEST(LemzCodec, DumpsStopAtTheEndOfTheirBuffer) {
  sig_proto p = record_of("type=130 p=1 addr=127.0.0.9 ssrc=0x1234 status=7");
  const std::string full =
      "type      : WM_TRANS,\n"
      "flag_t   : 0,\nflag_p   : 1,\nflag_r   : 0,\nflag_s   : 0,\nflag_b   : 0,\n"
      "flag_rv  : 0,\nflag_sh  : 0,\nflag_rs  : 0,\nflag_pw  : 0,\nflag_c   : 0,\n"
      "priority : 0,\nstatus   : 7,\n"
      "wm_trans.session_addr : 127.0.0.9,\nwm_trans.ssrc         : 0x00001234,\n";
  char text[512];
  EXPECT_EQ(sprintf_sig_proto(text, sizeof text, &p, 2), static_cast<int>(full.size()));
  EXPECT_EQ(text, full);
  for (int size : {1, 30, 200}) {
    char small[256];
    std::memset(small, 0x5A, sizeof small);
    const int n = sprintf_sig_proto(small, size, &p, 2);
    EXPECT_EQ(n, size - 1);
    EXPECT_EQ(std::string(small, n), full.substr(0, n));
    EXPECT_EQ(small[size - 1], '\0');
    EXPECT_EQ(static_cast<unsigned char>(small[size]), 0x5A);
  }
  EXPECT_EQ(sprintf_sig_proto(text, sizeof text, &p, 4), 10 * 14);
  p.type = 77;
  EXPECT_EQ(sprintf_sig_proto(text, sizeof text, &p, 1), 0);
}

TEST(LemzCodec, CallerIdentityStopsAtItsZeroAndAt255) {
  sig_proto p;
  sig_proto_init(&p);
  const std::string long_id(300, 'x');
  sig_proto_set_gw_selcall(&p, long_id.c_str(), 255);
  EXPECT_EQ(std::strlen(p.payload.gw_sel_call.callerID), 255u);
  sig_proto_set_gw_selcall(&p, "ab", 2);
  EXPECT_EQ(std::string(p.payload.gw_sel_call.callerID), "ab");
  EXPECT_EQ(p.payload.gw_sel_call.callerID[3], '\0');
  sig_proto_set_gw_selcall(&p, nullptr, 9);
  EXPECT_EQ(p.payload.gw_sel_call.callerID_length, 0);
}

}  // namespace
