// The Q.931 trace decoder: golden texts of a set of frames, its bounds on hostile frames, and
// agreement with tshark's LAPD and Q.931 dissectors on message type, call reference and cause.
#include "l2/isdn/q931_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/l2/golden.h"
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
    {"unknown_protocol", 0, "00 01 00 00 41 01 01 05"},
    {"iframe_too_short", 0, "00 01 00"},
    {"ua_is_sframe", 1, "00 01 73"},
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
  std::string all;
  for (const Frame& f : kFrames)
    all += "== " + std::string(f.name) + "\n" + trace(unhex(f.hex), f.direction);
  expect_golden("q931_frames", all);
}

TEST(Q931Trace, FramesOfTwoOctetsOrFewerGiveAnEmptyText) {
  for (unsigned length : {0u, 1u, 2u}) {
    char out[ISDN::kLogbufSize];
    std::strcpy(out, "the previous frame's text");
    const unsigned char frame[] = {0x00, 0x01};
    ISDN::dlogframe(frame, length, 1, out);
    EXPECT_STREQ(out, "") << length;
  }
}

TEST(Q931Trace, LongFramesAreCutToTheBuffer) {
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

// tshark reads the frames from a capture with raw LAPD as user link type 147.
std::string run_tshark(const std::string& dir, const std::vector<std::string>& frames) {
  {
    std::ofstream text(dir + "/frames.txt");
    for (const std::string& f : frames) {
      text << "0000";
      for (unsigned char c : f) {
        char octet[4];
        std::snprintf(octet, sizeof octet, " %02x", c);
        text << octet;
      }
      text << "\n";
    }
  }
  const std::string command =
      "text2pcap -q -F pcap -l 147 " + dir + "/frames.txt " + dir + "/frames.pcap 2>&1 && " +
      "tshark -n -o 'uat:user_dlts:\"User 0 (DLT=147)\",\"lapd\",\"0\",\"\",\"0\",\"\"' -r " + dir +
      "/frames.pcap -T fields -E separator='|' -e q931.message_type -e q931.call_ref "
      "-e q931.call_ref_flag -e q931.cause_value -e _ws.malformed 2>/dev/null";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, p)) out += line;
    pclose(p);
  }
  return out;
}

// What tshark and the trace both show of one frame.
struct Fields {
  std::string type;  // message type name
  unsigned callref = 0;
  bool flag = false;
  int cause = -1;
  bool operator==(const Fields& o) const {
    return type == o.type && callref == o.callref && flag == o.flag && cause == o.cause;
  }
};

std::ostream& operator<<(std::ostream& os, const Fields& f) {
  return os << f.type << " callref " << f.callref << " flag " << f.flag << " cause " << f.cause;
}

Fields from_trace(const std::string& text) {
  Fields f;
  std::smatch m;
  static const std::regex line("callref (\\d+) (called|caller) size \\d+ message type ([A-Z ]+)\n");
  if (std::regex_search(text, m, line)) {
    f.callref = std::stoul(m[1]);
    f.flag = m[2] == "called";
    f.type = m[3];
  }
  static const std::regex cause("cause value ([0-9a-f]+) :");
  if (std::regex_search(text, m, cause)) f.cause = std::stoi(m[1], nullptr, 16);
  return f;
}

TEST(Q931Trace, AgreesWithTshark) {
  if (std::system("command -v tshark >/dev/null && command -v text2pcap >/dev/null") != 0)
    GTEST_SKIP() << "tshark is not installed";
  const std::map<unsigned, std::string> names{
      {0x05, "SETUP"},  {0x45, "DISCONNECT"}, {0x4D, "RELEASE"}, {0x5A, "RELEASE COMPLETE"},
      {0x7D, "STATUS"}, {0x62, "FACILITY"},   {0x03, "PROGRESS"}};
  std::vector<std::string> frames;
  for (const Frame& f : kFrames) {
    if (f.check) frames.push_back(unhex(f.hex));
  }
  ASSERT_EQ(frames.size(), 9u);
  TempRoot dir;
  std::string out = run_tshark(dir.path(), frames);
  std::vector<std::string> lines;
  // tshark closes with a line of dashes of its own.
  for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    if (out.find('|', start) < end) lines.push_back(out.substr(start, end - start));
  ASSERT_EQ(lines.size(), frames.size()) << out;
  for (size_t i = 0; i < frames.size(); ++i) {
    std::vector<std::string> col;
    for (size_t start = 0;;) {
      size_t bar = lines[i].find('|', start);
      col.push_back(lines[i].substr(start, bar - start));
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    ASSERT_EQ(col.size(), 5u) << lines[i];
    EXPECT_EQ(col[4], "") << "tshark finds frame " << i << " malformed";
    Fields theirs;
    theirs.type = names.count(std::stoul(col[0], nullptr, 16))
                      ? names.at(std::stoul(col[0], nullptr, 16))
                      : col[0];
    theirs.callref = std::stoul(col[1], nullptr, 16);
    theirs.flag = col[2] == "1";
    theirs.cause = col[3].empty() ? -1 : std::stoi(col[3]);
    EXPECT_EQ(from_trace(trace(frames[i], 0)), theirs) << "frame " << i;
  }
}

}  // namespace
