// The ED-137 codec: packing and unpacking against byte vectors, every error code, and tshark's
// ED137A dissector reading the packed headers wrapped in RTP.
#include "radio/r2s_proto.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/radio/radio_testlib.h"

namespace {

r2s_proto rx(unsigned long ptt, unsigned long squ, unsigned long id, unsigned long pm,
             unsigned long ptts, unsigned long sct) {
  r2s_proto p;
  r2s_proto_init(&p, kR2sRx);
  r2s_proto_set_rx_header(&p, ptt, squ, id, pm, ptts, sct);
  return p;
}

r2s_proto tx(unsigned long ptt, unsigned long id, unsigned long pm, unsigned long ptts) {
  r2s_proto p;
  r2s_proto_init(&p, kR2sTx);
  r2s_proto_set_tx_header(&p, ptt, id, pm, ptts);
  return p;
}

r2s_proto with_rrc(r2s_proto p, uint32_t form) {
  const r2s_proto_rx_additional_rrc rrc{{1, 0, 1, 0, 0, 1, 0, 1}, form, 1, 0, 0x12, 0x1234};
  r2s_proto_add_rx_rrc(&p, &rrc);
  return p;
}

struct Pack {
  const char* name;
  std::function<r2s_proto()> make;
  int size;
  int result;
  const char* hex;     // the packed bytes when result > 0
  const char* tshark;  // ED137A fields tshark reads from them, or "" for none
};

const Pack kPacks[] = {
    {"RxHeaderAlone", [] { return rx(1, 1, 63, 1, 1, 1); }, 64, 4, "3FF80000",
     "1\t1\t63\t1\t1\t1\t0\t\t\t\t"},
    {"RxWithSqi",
     [] {
       r2s_proto p = rx(1, 1, 63, 1, 1, 1);
       r2s_proto_add_rx_sqi(&p, 31, 1);
       return p;
     },
     64, 4, "3FF911F9", "1\t1\t63\t1\t1\t1\t1\t0x01\t1\t31\t1"},
    {"FieldsMaskedToTheirWidths", [] { return rx(9, 3, 64 + 5, 2, 3, 4); }, 64, 4, "31500000",
     "1\t1\t5\t0\t1\t0\t0\t\t\t\t"},
    // PTT-id 69 spills into the SQU bit unless masked: with SQU clear the spill would show.
    {"PttIdMaskedBeforeAClearSqu", [] { return rx(1, 0, 69, 0, 0, 0); }, 64, 4, "21400000",
     "1\t0\t5\t0\t0\t0\t0\t\t\t\t"},
    {"TxPttIdMasked", [] { return tx(1, 69, 0, 0); }, 64, 4, "21400000",
     "1\t0\t5\t0\t0\t0\t0\t\t\t\t"},
    {"TxHeaderLeavesSquAndSctClear", [] { return tx(4, 33, 1, 0); }, 4, 4, "8860" "0000",
     "4\t0\t33\t1\t0\t0\t0\t\t\t\t"},
    {"RxRrcShortTakesTwoBytes",
     [] {
       r2s_proto p = with_rrc(rx(0, 1, 2, 0, 0, 0), 0);
       r2s_proto_add_rx_sqi(&p, 5, 3);
       return p;
     },
     64, 6, "1081" "31A5" "112B", "0\t1\t2\t0\t0\t0\t1\t0x03,0x01\t1,1\t5\t3"},
    {"RxRrcLong", [] { return with_rrc(rx(0, 0, 0, 0, 0, 0), 1); }, 64, 7, "0001" "34A5801234",
     "0\t0\t0\t0\t0\t0\t1\t0x03\t4\t\t"},
    {"RxMam",
     [] {
       r2s_proto p = rx(2, 0, 1, 0, 0, 0);
       const r2s_proto_rx_additional_mam mam{1, 0xFFFFFFFF, 0, 0x123456, {0x1234, 0xABCDE, 7}};
       r2s_proto_add_rx_mam(&p, &mam);
       return p;
     },
     64, 15, "4041" "4CFFFFFF123456" "1234BCDE0007", "2\t0\t1\t0\t0\t0\t1\t0x04\t12\t\t"},
    {"TxFeaturesAndRxKindsSkipped",
     [] {
       r2s_proto p = tx(1, 0, 0, 0);
       const r2s_proto_tx_additional_climax_time_delay delay{0x1FF};
       const r2s_proto_tx_additional_rrc rrc{{0, 0, 0, 0, 0, 0, 0, 1}};
       const r2s_proto_tx_additional_rrm rrm{1, 2};
       r2s_proto_add_tx_time_delay(&p, &delay);
       r2s_proto_add_tx_rrc(&p, &rrc);
       r2s_proto_add_tx_rrm(&p, &rrm);
       return p;
     },
     64, 10, "2001" "21FF" "3101" "43800002", ""},
    {"SixteenFeaturesAtMost",
     [] {
       r2s_proto p = rx(0, 0, 0, 0, 0, 0);
       for (int i = 0; i < 20; ++i) r2s_proto_add_rx_sqi(&p, i, 0);
       return p;
     },
     64, 34,
     "0001" "1100" "1108" "1110" "1118" "1120" "1128" "1130" "1138" "1140" "1148" "1150" "1158"
     "1160" "1168" "1170" "1178",
     ""},
    {"RxRrcOfAnUnknownForm", [] { return with_rrc(rx(0, 0, 0, 0, 0, 0), 2); }, 64, kR2sBadType,
     "", ""},
    {"NoRoomForTheTrailingZeros", [] { return rx(1, 0, 0, 0, 0, 0); }, 3, kR2sTooShort, "", ""},
    {"NoRoomForTheHeader", [] { return rx(1, 0, 0, 0, 0, 0); }, 1, kR2sTooShort, "", ""},
    {"NoRoomForAFeature", [] { return with_rrc(rx(0, 0, 0, 0, 0, 0), 1); }, 6, kR2sTooShort, "",
     ""},
    {"TypeNeitherTxNorRx",
     [] {
       r2s_proto p = rx(0, 0, 0, 0, 0, 0);
       r2s_proto_set_type(&p, 3);
       return p;
     },
     64, kR2sBadType, "", ""},
};

TEST(Ed137Pack, Packs) {
  for (const Pack& c : kPacks) {
    SCOPED_TRACE(c.name);
    r2s_proto p = c.make();
    unsigned char buf[72];
    std::fill(std::begin(buf), std::end(buf), 0x5A);
    const int n = r2s_proto_pack(&p, buf, c.size);
    EXPECT_EQ(n, c.result);
    if (n > 0) {
      EXPECT_EQ(hex_of(buf, n), c.hex);
    }
    for (int i = c.size; i < 72; ++i) ASSERT_EQ(buf[i], 0x5A) << "written past the size at " << i;
  }
}

struct Unpack {
  const char* name;
  uint32_t direction;
  const char* hex;
  int result;
  uint32_t count;
  const char* repacked;  // the record packed again
};

const Unpack kUnpacks[] = {
    {"TxHeaderAlone", kR2sTx, "8860", 0, 0, "88600000"},
    {"TxIgnoresSquSctAndReservedBits", kR2sTx, "987E", 0, 0, "88700000"},
    {"XSetButNoFeatures", kR2sTx, "2001", 0, 0, "20000000"},
    {"TxFeatures", kR2sTx, "2001" "21FF" "3101" "43800002", 0, 3, "2001" "21FF" "3101" "43800002"},
    {"RxFeatures", kR2sRx, "1081" "31A5" "112B" "34A5801234" "4CFFFFFF123456" "1234BCDE0007", 0,
     4, "1081" "31A5" "112B" "34A5801234" "4CFFFFFF123456" "1234BCDE0007"},
    {"UnknownAndOtherDirectionSkipped", kR2sRx, "0001" "2107" "5200FF" "1108", 0, 1,
     "0001" "1108"},
    {"ZeroPaddingIsWalkedOver", kR2sRx, "0001" "1108" "0000", 0, 1, "0001" "1108"},
    {"FeatureRunningPastTheEnd", kR2sRx, "0001" "1108" "4C0000", kR2sTooShort, 1, "0001" "1108"},
    {"FirstSixteenStored", kR2sRx,
     "0001" "1100" "1108" "1110" "1118" "1120" "1128" "1130" "1138" "1140" "1148" "1150" "1158"
     "1160" "1168" "1170" "1178" "11F8",
     0, 16,
     "0001" "1100" "1108" "1110" "1118" "1120" "1128" "1130" "1138" "1140" "1148" "1150" "1158"
     "1160" "1168" "1170" "1178"},
    {"OneByte", kR2sRx, "00", kR2sTooShort, 7, "00010000"},
};

TEST(Ed137Unpack, Unpacks) {
  for (const Unpack& c : kUnpacks) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> in = bytes_of(c.hex);
    r2s_proto p;
    r2s_proto_init(&p, 0);
    p.source_addr = 0x0100007F;
    p.count = 7;
    p.additionals[0].kind = kR2sRxSqi;
    const int size = static_cast<int>(in.size());
    const int result = c.direction == kR2sTx ? r2s_proto_unpack_tx(&p, in.data(), size)
                                             : r2s_proto_unpack_rx(&p, in.data(), size);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(p.count, c.count);
    EXPECT_EQ(p.source_addr, 0x0100007Fu);
    if (result == kR2sTooShort && in.size() < 2) continue;
    EXPECT_EQ(p.type, c.direction);
    unsigned char buf[64];
    const int n = r2s_proto_pack(&p, buf, sizeof buf);
    EXPECT_EQ(hex_of(buf, n), c.repacked);
  }
}

// RTP packet with the extension bit, profile 0x0167 and the ED-137 content padded to whole
// words, in hex.
std::string rtp_with_extension(const std::string& content, unsigned seq) {
  std::string padded = content;
  while (padded.size() % 8) padded += "00";
  char head[64];
  std::snprintf(head, sizeof head, "9008%04X0000000000000001" "0167%04X", seq,
                static_cast<unsigned>(padded.size() / 8));
  return head + padded + "D5D5D5D5";
}

TEST(Ed137Tshark, DissectorReadsThePackedHeaders) {
  if (output_of("command -v tshark text2pcap").empty()) GTEST_SKIP() << "tshark is missing";
  std::vector<std::string> packets;
  std::string expected;
  for (const Pack& c : kPacks) {
    if (!*c.tshark) continue;
    packets.push_back(rtp_with_extension(c.hex, unsigned(packets.size() + 1)));
    expected += std::string(c.tshark) + "\t\n";
  }
  EXPECT_EQ(tshark_of(packets, "-u 5004,5006",
                      "-d udp.port==5006,rtp -T fields -e rtp.ext.ed137a.ptt_type"
                      " -e rtp.ext.ed137a.squ -e rtp.ext.ed137a.ptt_id -e rtp.ext.ed137a.pm"
                      " -e rtp.ext.ed137a.ptts -e rtp.ext.ed137a.sct -e rtp.ext.ed137a.x"
                      " -e rtp.ext.ed137a.ft.type -e rtp.ext.ed137a.ft.len"
                      " -e rtp.ext.ed137a.ft.sqi.qidx -e rtp.ext.ed137a.ft.sqi.qidx-ml"
                      " -e _ws.malformed"),
            expected);
}

}  // namespace
