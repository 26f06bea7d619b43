// TEI management on a basic-rate user side (A), with the network's messages made up by the test,
// and the link's reports: management errors, status texts and link information.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "l2/isdn/lapd.h"
#include "tests/l2/lapd_fixture.h"
#include "tests/support/stream_capture.h"
#include "tests/support/temp_root.h"

namespace {

// A TEI management message from the network side.
std::string tei_frame(unsigned ri, unsigned type, unsigned ai) {
  std::string f = "\xFE\xFF\x03\x0F";
  f += char(ri & 0xFF);
  f += char(ri >> 8);
  f += char(type);
  f += char(ai << 1 | 1);
  return f;
}

class TeiTest : public LapdTest {
 protected:
  void SetUp() override {
    LapdTest::SetUp();
    a->lapd->change_to_bri();
    wire->b().notify = nullptr;
    wire->capture(capture_.path() + "/lapd.txt");
  }
  // Ri of A's last TEI message; a failure, and 0, when A sent none.
  unsigned last_ri() const {
    const std::string f = last_of(wire->a().sent);
    if (f.size() != 8 || f[3] != 0x0F) {
      ADD_FAILURE() << "no TEI message from A";
      return 0;
    }
    return static_cast<unsigned char>(f[4]) | static_cast<unsigned char>(f[5]) << 8;
  }
  void network_sends(const std::string& frame) {
    wire->inject(HdlcWire::kA, hex_frame(packet_of(frame).text()));
    settle();
  }
  // The wire's trace with every Ri written as "ri".
  Lines trace_without_ri() const {
    static const std::regex ri("\\+ 0F [0-9A-F]{2} [0-9A-F]{2}");
    Lines out;
    for (const std::string& l : wire->trace) out.push_back(std::regex_replace(l, ri, "+ 0F ri ri"));
    return out;
  }
  TempRoot capture_;
  int identity_requests() const {
    int n = 0;
    for (const std::string& f : wire->a().sent) n += f.size() == 8 && f[3] == 0x0F && f[6] == 1;
    return n;
  }
};

TEST_F(TeiTest, AssignmentCheckAndRemoval) {
  network_sends(tei_frame(0, 6, 5));  // removal of another TEI: ignored
  network_sends(tei_frame(0, 6, 127));
  const unsigned ri = last_ri();
  a->lapd->activate();
  settle();
  network_sends(tei_frame(ri + 1, 2, 64));  // not our request
  EXPECT_EQ(a->lapd->full_state().state, 2u);
  network_sends(tei_frame(ri, 2, 64));
  EXPECT_EQ(a->lapd->full_state().state, 4u);
  network_sends(std::string("\x00\x81\x73", 3));  // UA F 1 to TEI 64
  network_sends(tei_frame(0x1234, 4, 127));
  EXPECT_EQ(last_ri(), ri);
  network_sends(std::string("\x00\x83\x01\x00", 4));  // an RR to TEI 65: not ours
  network_sends(tei_frame(0, 6, 64));
  EXPECT_NE(last_ri(), ri);
  ORVEX_EXPECT_GOLDEN("tei_assignment", trace_without_ri());
  EXPECT_EQ(a->lapd->full_state().state, 1u);
  network_sends(tei_frame(0, 6, 64));
  network_sends(tei_frame(0, 6, 127));
  EXPECT_EQ(identity_requests(), 2) << "a request for the second removal or the group's";
  if (!have_tshark()) return;
  // tshark's TEI management dissector reads A's messages: request, check response, request.
  EXPECT_EQ(tshark_read(capture_.path() + "/lapd.txt", HdlcWire::kLinkLapd,
                        "-Y 'tei.msg && frame.p2p_dir == 0' -T fields -e tei.msg -e tei.action "
                        "-e _ws.malformed"),
            (Lines{"1\t127\t", "5\t64\t", "1\t127\t"}));
}

// With TEI 64 assigned, a check request for the group TEI or for TEI 64 gets one check response
// naming TEI 64; one for another TEI gets none.
TEST_F(TeiTest, CheckRequestsForOurTeiAreAnswered) {
  network_sends(tei_frame(0, 6, 127));
  network_sends(tei_frame(last_ri(), 2, 64));
  ASSERT_EQ(a->lapd->full_state().self_tei, 64u);
  const struct {
    unsigned ai;
    bool answered;
  } cases[] = {{127, true}, {64, true}, {65, false}, {0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ai);
    wire->a().sent.clear();
    network_sends(tei_frame(0x4321, 4, c.ai));
    if (!c.answered) {
      EXPECT_TRUE(wire->a().sent.empty());
      continue;
    }
    ASSERT_EQ(wire->a().sent.size(), 1u);
    const std::string& f = wire->a().sent[0];
    EXPECT_EQ(f.substr(0, 4), unhex("FC FF 03 0F"));
    EXPECT_EQ(f.substr(6), unhex("05 81"));
  }
}

TEST_F(TeiTest, DenialThenFiveRequestsFailAfterTenSeconds) {
  StreamCapture log(std::clog);
  network_sends(tei_frame(0, 6, 127));
  network_sends(tei_frame(last_ri(), 3, 127));
  EXPECT_EQ(last_of(events), "A: status Tei Assign - Tei denied");
  EXPECT_EQ(log.take().find("LAPD[0] : ASP returned: All TEI's used\n") != std::string::npos, true);
  for (int i = 0; i < 4; ++i) step(2000);
  EXPECT_EQ(a->lapd->full_state().state, 1u);
  EXPECT_EQ(identity_requests(), 5);
  step(2000);
  EXPECT_EQ(last_of(events), "A: down link error (T202 expired N202 times)");
  EXPECT_EQ(a->lapd->full_state().state, 0u);
  EXPECT_EQ(a->lapd->stats().t202, 5u);
  // A message in "TEI unassigned" starts a new assignment.
  send_numbered(*a, 1);
  settle();
  EXPECT_EQ(identity_requests(), 6);
  EXPECT_EQ(a->lapd->full_state().state, 1u);
}

TEST_F(TeiTest, UiFramesByRateAndSide) {
  struct Case {
    bool bri;
    ISDN::Side::type side;
    std::string frame;
    const char* expect;
  };
  const std::string setup("\x02\xFF\x03\x08\x01\x01\x05", 7);
  const Case cases[] = {
      {false, ISDN::Side::user, setup, ""},
      {true, ISDN::Side::user, setup, "L: rx 4 octets"},
      {true, ISDN::Side::network, setup, "L: rx 4 octets"},
      {true, ISDN::Side::network, tei_frame(0, 6, 127), ""},
      {true, ISDN::Side::user, "\x02\xFF\x03", ""},
      // An identity remove for the group TEI with another management entity: not TEI management.
      {true, ISDN::Side::user, std::string("\xFE\xFF\x03\x0E\x00\x00\x06\xFF", 8), ""},
  };
  for (const Case& c : cases) {
    events.clear();
    HdlcWire::End end;
    Layer3 l("L", c.side, end, &events);
    l.lapd->hdlc = nullptr;
    if (c.bri) l.lapd->change_to_bri();
    Packet p = packet_of(c.frame);
    l.lapd->receive(p);
    std::string seen;
    for (const std::string& e : events) seen += (e.rfind("L: rx", 0) == 0 ? e : "");
    EXPECT_EQ(seen, c.expect) << c.bri << " " << c.side << " " << describe_frame(c.frame);
    EXPECT_EQ(l.lapd->full_state().state, c.expect[0] && c.side == ISDN::Side::user ? 4u : 3u);
  }
}

TEST_F(LapdTest, ReportsAndLinkInformation) {
  a->lapd->on_error(12);
  a->lapd->on_error(1024);
  EXPECT_EQ(events, (std::vector<std::string>{"A: status Other - Unknown",
                                              "A: status Other - Receipt of FRMR response"}));
  ACP::IsdnLinkInfo info;
  EXPECT_TRUE(a->lapd->GetInfo(info));
  EXPECT_FALSE(a->lapd->GetInfo(info));
  a->lapd->activate();
  settle();
  send_numbered(*a, 3);
  EXPECT_TRUE(a->lapd->GetInfo(info));
  EXPECT_EQ(info.get_lapdState().getValue(), ACP::LAPDState::multiple_frame_established);
  EXPECT_EQ(info.get_queueAck().getValue(), 3);
  std::ostringstream text;
  a->lapd->status()->out(text);
  EXPECT_EQ(text.str().substr(0, 30), "current status\n   - state: Mul");
  StreamCapture out(std::cout);
  a->lapd->show_stat();
  ORVEX_EXPECT_GOLDEN("status_text", out.take_lines());
}

}  // namespace
