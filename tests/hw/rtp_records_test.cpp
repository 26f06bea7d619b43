#include "hw/rtp_records.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>


namespace {

template <typename T>
std::string text(const T& value) {
  std::ostringstream os;
  os << std::hex << value;
  return os.str();
}

TEST(RtpRecords, CodecNames) {
  struct Case {
    int codec;
    const char* name;
  } cases[] = {{-1, "invalid"},
               {0, "unknown"},
               {1, "g711"},
               {2, "g723"},
               {3, "g729"},
               {4, "tonec"},
               {5, "g711-rtp"},
               {6, "g729-rtp"},
               {7, "g723-rtp"},
               {8, "conf"},
               {9, "invalid"},
               {-2147483647 - 1, "invalid"},
               {2147483647, "invalid"}};
  for (const Case& c : cases) EXPECT_STREQ(GetCodecAsStr(c.codec), c.name) << c.codec;
}

TEST(RtpRecords, ErrorTexts) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {
      {0, "No error"},
      {0x3000002, "Parameter out of range"},
      {0x300010c, "Invalid port specified"},
      {0x300010d, "Unknown RTP Error 50331917"},
      {0x300010e, "Unable to close session"},
      {0x3000100, "Unknown RTP Error 50331904"},
      {0x3000122, "Don't send this packet now"},
      {0x3000123, "Unknown RTP Error 50331939"},
      {-2147483647 - 1, "Unknown RTP Error -2147483648"},
  };
  for (const Case& c : cases) EXPECT_STREQ(RTPStrError(c.code), c.text) << c.code;
}

TEST(RtpRecords, PrintedForms) {
  rtp_connection_params conn = {};
  conn.packet_factor = 2;
  conn.rx_pt = 8;
  conn.tx_pt = 18;
  conn.ssrc = 4000000000u;
  conn.vad = 1;
  rtp_channel_info chan = {17, -1, 3, 0};
  rtp_attach_session_params att = {12, -1};
  rtp_ext_attach_session_params ext = {5, 4242};
  rtp_ext_init_params init = {};
  init.etype = 0x1337;

  EXPECT_EQ(text(conn),
            "  rtp_connection_params\n"
            "  {\n"
            "   packet_factor = 2\n"
            "   rx_pt = 8\n"
            "   tx_pt = 18\n"
            "   ssrc = 4000000000\n"
            "  }\n");
  EXPECT_EQ(text(chan), "rtp_channel_info { tdm=17 dev_no=-1 chn=3 }");
  EXPECT_EQ(text(att), "  rtp_attach_session_params\n  {\n   fd_rtp = 12\n   pid_rtp = -1\n  }\n");
  EXPECT_EQ(text(ext),
            "  rtp_ext_attach_session_params\n  {\n   fd_rtp = 5\n   pid_rtp = 4242\n  }\n");
  EXPECT_EQ(text(init), "  rtp_ext_init_params\n  {\n   etype = 4919\n  }\n");
}

TEST(RtpRecords, ErrorValueCapturesErrno) {
  errno = EBADF;
  const RtpErr e(0x3000104);
  errno = 0;
  EXPECT_EQ(e.code, 0x3000104);
  EXPECT_EQ(e.err, EBADF);
  EXPECT_EQ(text(e), std::strerror(EBADF));
}

}  // namespace
