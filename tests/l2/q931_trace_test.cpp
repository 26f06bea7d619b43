// The Q.931 trace decoder: golden texts of a set of frames, its bounds on hostile frames, and
// agreement with tshark's LAPD and Q.931 dissectors on message type, call reference and cause.
#include "l2/isdn/q931_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/l2/l2_support.h"
#include "tests/support/golden.h"
#include "tests/support/hdlc_wire.h"
#include "tests/support/temp_root.h"

namespace {

struct Frame {
  const char* name;
  int direction;
  const char* hex;
  // Well-formed Q.931: tshark's reading is compared with the trace.
  bool check = false;
};

// LAPD headers: "02 FF 03" broadcast UI, "00 01 00 00" an I frame on TEI 0.
const Frame kFrames[] = {
    {"rr_tei65", 1, "00 83 01 04"},
    {"broadcast_setup", 0,
     "02 FF 03 08 01 81 05 A1 04 03 80 90 A3 18 01 89 6C 05 01 80 35 35 35 70 04 81 31 32 33 "
     "28 03 41 0A 43",
     true},
    {"bearer_rate_multiplier", 0, "00 01 00 00 08 01 01 05 04 05 88 18 05 21 01", true},
    {"bearer_layer1_extended", 0, "00 01 00 00 08 01 01 05 04 06 88 90 21 0F 42 65", true},
    {"status_shift", 1, "00 01 00 00 08 01 01 7D 96 A0 B3 D1 81", true},
    {"disconnect_normal", 1, "00 01 00 00 08 01 02 45 08 02 80 90", true},
    {"pri_disconnect_cause69", 0, "00 01 00 00 08 02 80 05 45 08 02 80 C5", true},
    {"release_complete_cause70_diag", 1, "00 01 00 00 08 02 00 05 5A 08 07 80 C6 01 02 03 84 05",
     true},
    {"unknown_cause_type", 1, "00 01 00 00 08 01 02 4D 08 02 82 F0"},
    {"facility", 0, "00 01 00 00 08 01 01 62 1C 0B 91 A1 08 02 01 05 02 01 07 05 00", true},
    {"general_octets", 0, "00 01 00 00 08 01 01 03 1E 04 02 88 03 84 7E 02 04 41", true},
    {"unknown_type_and_element", 0, "00 01 00 00 08 00 7F 55 02 01 02 7C 01 88"},
    {"element_past_frame", 0, "00 01 00 00 08 01 01 05 70 40 81 31 32"},
    {"element_id_only", 0, "00 01 00 00 08 01 01 05 70"},
    {"callref_length_3", 0, "00 01 00 00 08 03 01 02 03 05"},
    {"callref_past_frame", 0, "00 01 00 00 08 02 01"},
    {"callref_ends_frame", 0, "00 01 00 00 08 01 05"},
    {"unknown_protocol", 0, "00 01 00 00 41 01 01 05"},
    {"iframe_too_short", 0, "00 01 00"},
    {"ua_is_uframe", 1, "00 01 73"},
    {"disc_is_uframe", 0, "00 01 53"},
    {"tei_management", 0, "FE FF 03 0F 12 34 02 83"},
    {"no_ui_broadcast", 0, "02 FF 13"},
    {"unknown_sapi_broadcast", 0, "40 FF 03"},
    {"unknown_sapi", 0, "40 81 00 00 08"},
};

std::string trace(const std::string& frame, int direction) {
  char out[ISDN::kLogbufSize];
  ISDN::dlogframe(reinterpret_cast<const unsigned char*>(frame.data()),
                  static_cast<unsigned>(frame.size()), direction, out);
  return out;
}

TEST(Q931Trace, FramesMatchTheirGoldenTexts) {
  Lines all;
  for (const Frame& f : kFrames) {
    all.push_back("== " + std::string(f.name));
    std::istringstream text(trace(unhex(f.hex), f.direction));
    for (std::string line; std::getline(text, line);) all.push_back(line);
  }
  ORVEX_EXPECT_GOLDEN("q931_frames", all);
}

TEST(Q931Trace, ShortFramesGiveAnEmptyTextAndLongOnesAreCutToTheBuffer) {
  for (unsigned length : {0u, 1u, 2u}) {
    char out[ISDN::kLogbufSize] = "the previous frame's text";
    ISDN::dlogframe(reinterpret_cast<const unsigned char*>("\0\1"), length, 1, out);
    EXPECT_STREQ(out, "") << length;
  }
  // A frame whose hex dump alone is three times the buffer, then one whose elements are.
  std::vector<std::string> frames{std::string(1000, '\x42'), unhex("00 01 00 00 08 01 01 05")};
  for (int i = 0; i < 60; ++i) frames[1] += unhex("1E 04 02 88 03 84");
  for (const std::string& frame : frames) {
    std::vector<char> out(ISDN::kLogbufSize + 64, '#');
    ISDN::dlogframe(reinterpret_cast<const unsigned char*>(frame.data()),
                    static_cast<unsigned>(frame.size()), 0, out.data());
    EXPECT_EQ(std::strlen(out.data()), ISDN::kLogbufSize - 1);
    for (unsigned i = ISDN::kLogbufSize; i < out.size(); ++i) ASSERT_EQ(out[i], '#') << i;
  }
}

// "SETUP callref 5 called cause 69": what the trace shows of a frame's message.
std::string summary_of_trace(const std::string& text) {
  std::smatch m;
  static const std::regex line("callref (\\d+) (called|caller) size \\d+ message type ([A-Z ]+)\n");
  static const std::regex cause("cause value (\\d+) :");
  if (!std::regex_search(text, m, line)) return "(no message)";
  std::string out = m[3].str() + " callref " + m[1].str() + " " + m[2].str();
  if (std::regex_search(text, m, cause))
    out += " cause " + m[1].str();
  return out;
}

TEST(Q931Trace, AgreesWithTshark) {
  if (!have_tshark()) GTEST_SKIP() << "tshark is not installed";
  std::vector<std::string> frames;
  TempRoot dir;
  const std::string capture = dir.path() + "/frames.txt";
  {
    // The capture format of the link test kit's wire: each frame sent by the user side.
    std::ofstream text(capture);
    for (const Frame& f : kFrames) {
      if (!f.check) continue;
      frames.push_back(unhex(f.hex));
      text << "O 0.000000\n000000 " << f.hex << "\n";
    }
  }
  const Lines lines = tshark_read(
      capture, HdlcWire::kLinkLapd,
      "-T fields -E separator='|' -e q931.message_type -e q931.call_ref -e q931.call_ref_flag "
      "-e q931.cause_value -e _ws.malformed");
  ASSERT_EQ(lines.size(), frames.size());
  const std::map<unsigned, std::string> names{
      {0x05, "SETUP"},  {0x45, "DISCONNECT"}, {0x4D, "RELEASE"}, {0x5A, "RELEASE COMPLETE"},
      {0x7D, "STATUS"}, {0x62, "FACILITY"},   {0x03, "PROGRESS"}};
  for (size_t i = 0; i < frames.size(); ++i) {
    unsigned type, callref, flag;
    int cause = -1, used = 0;
    ASSERT_EQ(std::sscanf(lines[i].c_str(), "%x|%x|%u|%n", &type, &callref, &flag, &used), 3);
    std::sscanf(lines[i].c_str() + used, "%d", &cause);
    EXPECT_EQ(lines[i].find("alformed"), std::string::npos) << lines[i];
    std::string theirs =
        names.at(type) + " callref " + std::to_string(callref) + (flag ? " called" : " caller");
    if (cause >= 0) theirs += " cause " + std::to_string(cause);
    EXPECT_EQ(summary_of_trace(trace(frames[i], 0)), theirs) << lines[i];
  }
}

}  // namespace
