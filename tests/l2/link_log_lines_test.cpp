// The log lines that a link's far end or owner can repeat at any rate: a flood of one kind writes
// its first line, and a line of another kind in the middle of it is still written; a second
// later the next line of the flooded kind carries the count left out. One row per kind of line:
// a LAPD link (A of the LAPD fixture, B its peer), an SS7 link whose peer is played by injected
// units, and the network side of a basic-rate channel. A link destroyed writes the counts it
// still owes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "l2/isdn/lapd_nt.h"
#include "l2/ss7/slc.h"
#include "tests/l2/lapd_fixture.h"
#include "tests/support/loop_turns.h"
#include "tests/support/stream_capture.h"

namespace {

// An SS7 link on a wire of its own: the peer's units are injected, its own go nowhere.
struct Ss7Link : ProtocolsList {
  Ss7Link() : slc(new SS7::SLC) {
    slc->hdlc = &wire->a();
    wire->a().notify = slc;
    add_protocol_head(slc);
  }
  void send(unsigned length) {
    Packet p = packet_of(std::string(length, 0x11), 3);
    slc->message(p);
  }
  std::unique_ptr<HdlcWire> wire = std::make_unique<HdlcWire>(1000);
  SS7::SLC* slc;
};

// The network side, its frames to the terminals dropped.
struct Exchange : ProtocolsList {
  Exchange() : nt(new ISDN::LAPD_NT) { add_protocol_head(nt); }
  void transmit(Packet&) override {}
  void down(const std::string& hex) {
    Packet p = packet_of(unhex(hex), 4);
    nt->message(p);
  }
  ISDN::LAPD_NT* nt;
};

class LinkLogLinesTest : public LapdTest {
 protected:
  void TearDown() override {
    ss7.reset();
    nt.reset();
    LapdTest::TearDown();
  }
  // New links everywhere.
  void fresh() {
    ss7.reset();
    relink();
    ss7 = std::make_unique<Ss7Link>();
    nt = std::make_unique<Exchange>();
  }
  // A frame from the network side to A.
  void to_a(const std::string& hex) {
    wire->inject(HdlcWire::kA, hex_frame(hex));
    settle();
  }
  // TEI management to A for every TEI, with the Ri of A's last request: identity denied (3),
  // identity remove (6).
  void tei_to_a(unsigned type, unsigned ai = 127) {
    const std::string& request = wire->a().sent.back();
    char frame[32];
    std::snprintf(frame, sizeof frame, "FE FF 03 0F %02X %02X %02X %02X", request[4] & 0xFF,
                  request[5] & 0xFF, type, ai << 1 | 1);
    to_a(frame);
  }
  // TEI 64 assigned to A, then removed: a link asking for a TEI takes no removal.
  void removal_to_a() {
    tei_to_a(2, 64);
    tei_to_a(6, 64);
  }
  // The SS7 link in service: SIN, then a FISU, from its peer.
  void ss7_in_service() {
    ss7->slc->activate();
    for (const char* unit : {"FF FF 01 01", "FF FF 00"})
      ss7->wire->inject(HdlcWire::kA, hex_frame(unit));
    turns(4);
    ASSERT_EQ(ss7->slc->state(), SS7::SLC::State::worked);
  }

  // Every link destroyed.
  void end_links() {
    ss7.reset();
    nt.reset();
    a.reset();
    b.reset();
  }

  std::unique_ptr<Ss7Link> ss7;
  std::unique_ptr<Exchange> nt;
};

Lines sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(LinkLogLinesTest, AFloodWritesALineASecondAndHidesNoOtherKind) {
  const std::string slc = "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): ";
  const std::string refused = slc + "refuse msu of 2 octets";
  struct Flood {
    const char* what;
    std::function<void()> setup, repeat, other;
    Lines lines, other_lines;
    // What the link writes when it is destroyed three lines later.
    Lines flushed;
  };
  const Flood floods[] = {
      {"an MDL error among others: unsolicited UA F = 0, then DM F = 1",
       [&] { establish(); },
       [&] { to_a("00 01 63"); },
       [&] { to_a("00 01 1F"); },
       {"LAPD[0] : UA (F = 0)"},
       {"LAPD[0] : DM (F = 1)"},
       {"LAPD[0] : UA (F = 0) (2 similar lines left out)"}},
      {"frames refused by their address", [&] { establish(); }, [&] { to_a("14 01 03"); },
       [&] { to_a("00 01 63"); }, {"LAPD[0] : frame dropped: SAPI 5, TEI 0, control 0x03"},
       {"LAPD[0] : UA (F = 0)"}, {"LAPD[0] : frame dropped (2 similar lines left out)"}},
      {"messages beyond a full I queue",
       [&] { send_numbered(*a, 128); },
       [&] { send_numbered(*a, 1); },
       [&] { to_a("00 01 63"); },
       {"LAPD[0] : discard outgoing message: buffer overflow"},
       {"LAPD[0] : UA (F = 0)"},
       {"LAPD[0] : discard outgoing message: buffer overflow (2 similar lines left out)"}},
      {"a channel that refuses the answers to polls",
       [&] {
         establish();
         wire->a().refuse = 1000;
       },
       [&] { to_a("02 01 01 01"); },
       [&] { to_a("00 01 63"); },
       {"LAPD[0] : tx full"},
       {"LAPD[0] : UA (F = 0)"},
       {"LAPD[0] : tx full (2 similar lines left out)"}},
      {"identity removes on a basic-rate user side",
       [&] {
         a->lapd->change_to_bri();
         to_a("FE FF 03 0F 00 00 06 FF");
       },
       [&] { removal_to_a(); },
       [&] { tei_to_a(3); },
       {"LAPD[0] : MDL-REMOVE"},
       {"LAPD[0] : ASP returned: All TEI's used", "LAPD[0] : Tei Assign - Tei denied"},
       {"LAPD[0] : MDL-REMOVE (2 similar lines left out)"}},
      {"identity denials on a basic-rate user side",
       [&] {
         a->lapd->change_to_bri();
         to_a("FE FF 03 0F 00 00 06 FF");
       },
       [&] { tei_to_a(3); },
       [&] { removal_to_a(); },
       {"LAPD[0] : ASP returned: All TEI's used", "LAPD[0] : Tei Assign - Tei denied"},
       {"LAPD[0] : MDL-REMOVE"},
       {"LAPD[0] : ASP returned (2 similar lines left out)",
        "LAPD[0] : Tei Assign - Tei denied (2 similar lines left out)"}},
      {"MSUs beyond a full TB",
       [&] {
         ss7_in_service();
         for (unsigned n = 0; n < SS7::SLC::kRtbLimit + SS7::SLC::kTbLimit; ++n) ss7->send(3);
       },
       [&] { ss7->send(3); },
       [&] { ss7->send(2); },
       {slc + "no space in TB buffer, TB=200 RTB=127 ignoring msu: 11 11 11"},
       {refused},
       {slc + "no space in TB buffer (2 similar lines left out)"}},
      {"the channel ready again",
       [&] { ss7_in_service(); },
       [&] { ss7->slc->on_hdlc_ready(); },
       [&] { ss7->send(2); },
       {slc + "hdlc ready"},
       {refused},
       {slc + "hdlc ready (2 similar lines left out)"}},
      {"LSSUs that take the link out of service, then SIN and a FISU that bring it back",
       [&] { ss7_in_service(); },
       [&] {
         for (const char* unit : {"FF FF 01 03", "FF FF 01 01", "FF FF 00"})
           ss7->wire->inject(HdlcWire::kA, hex_frame(unit));
         turns(2);
       },
       [&] { ss7->send(2); },
       {slc + "receive lssu: out of service  BSN=127 BIB=1 FSN=127 FIB=1"},
       {refused},
       {slc + "receive lssu (2 similar lines left out)"}},
      {"messages from above dropped for two reasons",
       nullptr,
       [&] { nt->down("08 01"); },
       [&] { nt->down("08 03 01 02 03 01"); },
       {"LAPD(NT BRI):message dropped: shorter than a layer-3 header"},
       {"LAPD(NT BRI):message dropped: call reference longer than 2 octets"},
       {"LAPD(NT BRI):shorter than a layer-3 header (2 similar lines left out)"}},
  };
  for (const Flood& f : floods) {
    SCOPED_TRACE(f.what);
    fresh();
    {
      LogCapture setup_logs;
      if (f.setup) f.setup();
      step(1000);  // what the setup wrote does not hold back the first line
    }
    LogCapture logs;
    const auto taken = [&] {
      Lines lines = logs.log.take_lines();
      for (const std::string& l : logs.err.take_lines()) lines.push_back(l);
      return sorted(lines);
    };
    for (int i = 0; i < 5; ++i) f.repeat();
    f.other();
    for (int i = 0; i < 5; ++i) f.repeat();
    Lines expected = f.lines;
    expected.insert(expected.end(), f.other_lines.begin(), f.other_lines.end());
    EXPECT_EQ(taken(), sorted(expected));
    step(1000);
    f.repeat();
    expected.clear();
    for (const std::string& l : f.lines) expected.push_back(l + " (9 similar lines left out)");
    EXPECT_EQ(taken(), sorted(expected));
    for (int i = 0; i < 3; ++i) f.repeat();
    end_links();
    EXPECT_EQ(taken(), sorted(f.flushed));
  }
}

}  // namespace
