// Signalling links on orvexd and the simulated board, driven as a controller drives them: a
// primary-rate link between a pstn slot and an isdn slot carries a SETUP, and a flood of MDL
// errors from its far end leaves a few lines in the log, and a DISC to another TEI leaves it up;
// two SS7 links on E1 trunks come into service while the board's BRI lines report no carrier,
// carry MSUs both ways and go down with their E1 trunk; activate, right after the connections
// or on a link in service, leaves them carrying MSUs; units that no link takes reach nobody; a
// busy terminal on a basic-rate network side gets every message answered success. tshark reads
// the board's captures of the links.
#include <functional>
#include <sstream>
#include <tuple>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/command_output.h"

namespace {

// The signal `name` of `slot`.
bool is(const Ctl::Received& r, const std::string& name, int slot) {
  return r.signal_name() == name && r.message->has_slot() &&
         static_cast<int>(r.message->get_slot().getValue()) == slot;
}

std::string user_data(int slot, const std::string& spaced) {
  return wire("{ slot " + std::to_string(slot) + ", pdu signal : userData : '" + spaced + "'H }");
}

class SignallingLinks : public DaemonOnBoard {
 protected:
  // Waits for the activated signal of `slot`; those of other slots are passed over.
  bool activated(int slot, int timeout_ms = wait_ms) {
    const std::string mine = wire("{ slot " + std::to_string(slot) + ", pdu signal : activated : NULL }");
    Ctl::Received r;
    for (int i = 0; i < 4; ++i) {
      if (!ctl_.wait_for("activated", r, timeout_ms)) return false;
      if (Ctl::to_hex(r.bytes) == mine) return true;
    }
    return false;
  }
  // Everything that arrives in the next `ms` milliseconds, or until `done` holds for one message.
  std::vector<Ctl::Received> during(int ms, const std::function<bool(const Ctl::Received&)>& done =
                                                [](const Ctl::Received&) { return false; }) {
    std::vector<Ctl::Received> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      Ctl::Received r;
      if (left.count() <= 0 || !ctl_.receive(r, static_cast<int>(left.count()))) return got;
      got.push_back(r);
      if (done(r)) return got;
    }
  }
  // Slots 1 and 2, SS7 links on E1 trunks 2 and 3 (1 and 2 counted from 0), fed by trunk slots
  // 3 and 4 on time slot 16; channels 1024 and 1025. `more` follows the connections.
  void ss7_pair(const char* emergency, const std::vector<std::string>& more = {}) {
    std::vector<std::string> commands{
        "{ slot 1, pdu command : create : pstn : ss7 : { trunk 2, slc 0, dpc 1, opc 2, "
        "emergency " + std::string(emergency) + " } }",
        "{ slot 2, pdu command : create : pstn : ss7 : { trunk 3, slc 0, dpc 2, opc 1, "
        "emergency " + std::string(emergency) + " } }",
        "{ slot 3, pdu command : create : trunk : { trunk 1, timeslot 16 } }",
        "{ slot 4, pdu command : create : trunk : { trunk 2, timeslot 16 } }",
        "{ slot 3, pdu command : connect : 1 }", "{ slot 4, pdu command : connect : 2 }"};
    commands.insert(commands.end(), more.begin(), more.end());
    for (const std::string& c : commands) {
      ++seq_;
      const int slot = c[7] - '0';
      EXPECT_EQ(answer("{ seq " + std::to_string(seq_) + ", " + c.substr(2)),
                wire(success(seq_, slot)));
    }
  }
  // Waits up to `ms` for the activated signals of slots 1 and 2; false when either is missing or
  // a deactivated signal comes first.
  bool both_up(int ms) {
    bool up[3] = {}, down = false;
    during(ms, [&](const Ctl::Received& r) {
      for (int slot : {1, 2}) {
        up[slot] = up[slot] || is(r, "activated", slot);
        down = down || is(r, "deactivated", slot);
      }
      return down || (up[1] && up[2]);
    });
    return !down && up[1] && up[2];
  }
  // MSUs both ways: traffic restart allowed, DPC 1 from OPC 2 and back.
  void msus_both_ways() {
    for (const auto& [from, to, msu] : {std::tuple{1, 2, std::string("800100800017")},
                                        std::tuple{2, 1, std::string("800200400017")}}) {
      ++seq_;
      EXPECT_EQ(answer("{ seq " + std::to_string(seq_) + ", slot " + std::to_string(from) +
                       ", pdu command : userData : '" + msu + "'H }"),
                wire(success(seq_, from)));
      EXPECT_EQ(signal("userData"), user_data(to, msu));
    }
  }

  // A primary-rate link up: slot 1 (isdn, network side) takes channel 1024; slot 2 (pstn, user
  // side) gets 1025 on trunk slot 3's time slot. Slot 1's frames are the network's on the board.
  void primary_rate_link() {
    EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : isdn : { type pri, trunk 1, log 0, "
                     "side network : NULL } }"),
              wire(success(1, 1)));
    EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : pstn : isdn : { type pri, trunk 1, "
                     "log 0, side user : NULL } }"),
              wire(success(2, 2)));
    EXPECT_EQ(answer("{ seq 3, slot 3, pdu command : create : trunk : { trunk 0, timeslot 5 } }"),
              wire(success(3, 3)));
    EXPECT_EQ(answer("{ seq 4, slot 3, pdu command : connect : 2 }"), wire(success(4, 3)));
    EXPECT_EQ(board_.command("mcc side 1024 network").at(0), "ok");
    EXPECT_EQ(board_.command("mcc join 1024 1025").at(0), "ok");
    ASSERT_TRUE(activated(2)) << ctl_.error();
    seq_ = 4;
  }
  // A SETUP from slot 2 reaches the controller from slot 1.
  void setup_crosses() {
    const std::string setup = "080101050403808890";
    ++seq_;
    EXPECT_EQ(answer("{ seq " + std::to_string(seq_) + ", slot 2, pdu command : userData : '" +
                     setup + "'H }"),
              wire(success(seq_, 2)));
    EXPECT_EQ(signal("userData"), user_data(1, setup));
  }

  // The lines the daemon wrote since it had written `from` octets that hold one of `texts`.
  int lines_since(size_t from, const std::vector<std::string>& texts) {
    std::istringstream grown(daemon_.output().substr(from));
    int n = 0;
    for (std::string line; std::getline(grown, line);)
      for (const std::string& t : texts) n += line.find(t) != std::string::npos;
    return n;
  }
  // The frames the board has carried from `channel` so far, in hex.
  std::vector<std::string> sent_on(int channel) {
    return board_.command("mcc sent " + std::to_string(channel));
  }

  int seq_ = 0;
};

std::string hex_byte(unsigned v) {
  static const char digits[] = "0123456789abcdef";
  return std::string{digits[(v >> 4) & 15], digits[v & 15]};
}

TEST_F(SignallingLinks, PrimaryRateSetupOnTheWire) {
  const std::string capture = std::string(std::getenv("ORVEXD_ROOT")) + "/var/links.pcapng";
  ASSERT_EQ(board_.command("mcc capture " + capture).at(0), "ok");
  ASSERT_NO_FATAL_FAILURE(primary_rate_link());
  setup_crosses();

  ASSERT_EQ(board_.command("mcc capture off").at(0), "ok");
  const std::string dissected = output_of("tshark -r " + capture + " -V");
  EXPECT_NE(dissected.find("Q.931"), std::string::npos);
  EXPECT_EQ(dissected.find("Malformed"), std::string::npos);
  // Both ends of the cable see the user side's SABME as a command and the network side's UA as
  // a response.
  const std::string frames = output_of("tshark -r " + capture + " -T fields -e _ws.col.Info");
  EXPECT_NE(frames.find("U P, func=SABME"), std::string::npos) << frames;
  EXPECT_NE(frames.find("U F, func=UA"), std::string::npos) << frames;
  EXPECT_EQ(frames.find("U F, func=SABME"), std::string::npos) << frames;
  EXPECT_EQ(frames.find("U P, func=UA"), std::string::npos) << frames;
}

// The far end sends an established primary-rate link 10,000 unsolicited UA responses (F = 0),
// each an MDL error: the daemon's log grows by a few lines, which account for every one of them
// (written, or counted among those left out, the last count when the link is destroyed), and the
// link keeps carrying messages.
TEST_F(SignallingLinks, FloodOfMdlErrorsWritesAFewLines) {
  ASSERT_NO_FATAL_FAILURE(primary_rate_link());
  const size_t before = daemon_.output().size();
  constexpr int kFlood = 10000;
  for (int i = 0; i < kFlood; ++i) ASSERT_EQ(board_.command("mcc rx 1025 000163").at(0), "ok");
  // The lines since the flood began, and the UAs they account for.
  int lines = 0, accounted = 0;
  const auto count = [&] {
    std::istringstream grown(daemon_.output().substr(before));
    lines = accounted = 0;
    for (std::string line; std::getline(grown, line); ++lines) {
      if (line.find("UA (F = 0)") == std::string::npos) continue;
      const size_t left_out = line.rfind(" (");
      accounted += 1 + (line.find("similar lines left out", left_out) == std::string::npos
                            ? 0
                            : std::stoi(line.substr(left_out + 2)));
    }
    return accounted >= kFlood;
  };
  // The link still carries calls; destroyed, it writes the count it still owes.
  setup_crosses();
  ++seq_;
  EXPECT_EQ(answer("{ seq " + std::to_string(seq_) + ", slot 2, pdu command : destroy : NULL }"),
            wire(success(seq_, 2)));
  ASSERT_TRUE(wait_until(count, OrvexdProcess::wait_ms)) << daemon_.output().substr(before, 2000);
  EXPECT_EQ(accounted, kFlood) << daemon_.output().substr(before, 2000);
  EXPECT_LE(lines, 12) << daemon_.output().substr(before, 2000);
}

TEST_F(SignallingLinks, Ss7LinksInServiceBesideBriLinesWithoutCarrier) {
  const std::string capture = std::string(std::getenv("ORVEXD_ROOT")) + "/var/ss7.pcapng";
  ASSERT_EQ(board_.command("mcc capture " + capture).at(0), "ok");
  ss7_pair("FALSE");
  ASSERT_EQ(board_.command("mcc join 1024 1025").at(0), "ok");
  // Normal proving takes 8.2 s.
  ASSERT_TRUE(both_up(15000));

  // Four seconds of status reports, the eight BRI lines without carrier, the E1 trunks normal.
  int bri_without_carrier = 0;
  for (const Ctl::Received& r : during(4000)) {
    EXPECT_NE(r.signal_name(), "deactivated") << r.text();
    const std::string text = r.text();
    if (r.signal_name() == "trunkStatus" && text.find("type bri") != std::string::npos &&
        text.find("state lossCarrier") != std::string::npos)
      ++bri_without_carrier;
  }
  EXPECT_GE(bri_without_carrier, 8);

  msus_both_ways();

  // E1 trunk 1 loses its carrier: slot 1's link goes to idle.
  ASSERT_EQ(board_.command("maintenance status 1 2").at(0), "ok");
  const auto down = during(3000, [](const Ctl::Received& r) { return is(r, "deactivated", 1); });
  ASSERT_FALSE(down.empty());
  EXPECT_TRUE(is(down.back(), "deactivated", 1));

  ASSERT_EQ(board_.command("mcc capture off").at(0), "ok");
  const std::string dissected = output_of("tshark -r " + capture + " -V");
  EXPECT_NE(dissected.find("Message Transfer Part Level 3"), std::string::npos);
  EXPECT_EQ(dissected.find("Malformed"), std::string::npos);
}

// Activate right after the connections: the links align on the channels the connections opened
// (emergency proving, 0.5 s), once the board joins them.
TEST_F(SignallingLinks, Ss7ActivateAfterConnectAligns) {
  ss7_pair("TRUE", {"{ slot 1, pdu command : activate : empty : NULL }",
                    "{ slot 2, pdu command : activate : empty : NULL }"});
  ASSERT_EQ(board_.command("mcc join 1024 1025").at(0), "ok");
  ASSERT_TRUE(both_up(5000));
  msus_both_ways();
}

// Activate on a link in service: it reports itself activated again and keeps carrying MSUs.
TEST_F(SignallingLinks, Ss7ActivateInServiceKeepsTheLink) {
  ss7_pair("TRUE");
  ASSERT_EQ(board_.command("mcc join 1024 1025").at(0), "ok");
  ASSERT_TRUE(both_up(5000));
  EXPECT_EQ(answer("{ seq 20, slot 1, pdu command : activate : empty : NULL }"),
            wire(success(20, 1)));
  const auto again = during(2000, [](const Ctl::Received& r) {
    return is(r, "activated", 1) || is(r, "deactivated", 1) || is(r, "deactivated", 2);
  });
  ASSERT_FALSE(again.empty());
  EXPECT_TRUE(is(again.back(), "activated", 1)) << again.back().text();
  msus_both_ways();
}

// A DISC to TEI 5 reaches the user side of an established primary-rate link: its TEI is 0, so
// the link stays up and answers nothing.
TEST_F(SignallingLinks, PrimaryRateDiscToAnotherTeiLeavesTheLinkUp) {
  ASSERT_NO_FATAL_FAILURE(primary_rate_link());
  const size_t sent = sent_on(1025).size();
  ASSERT_EQ(board_.command("mcc rx 1025 020b53").at(0), "ok");
  for (const Ctl::Received& r : during(500))
    EXPECT_NE(r.signal_name(), "deactivated") << r.text();
  EXPECT_EQ(sent_on(1025).size(), sent);
  setup_crosses();
}

// 300 units longer than an MSU and 300 whose LI does not fit what follows, each with the FSN the
// link expects next, arrive at a link in service: none reaches the controller, a few lines
// account for them, and the link goes on carrying MSUs.
TEST_F(SignallingLinks, Ss7UnitsNoLinkTakesReachNobody) {
  ss7_pair("TRUE");
  ASSERT_EQ(board_.command("mcc join 1024 1025").at(0), "ok");
  ASSERT_TRUE(both_up(5000));
  const size_t before = daemon_.output().size();
  for (int i = 0; i < 600; ++i) {
    const bool long_unit = i < 300;
    // BSN 127 and BIB 1, FSN i and FIB 1; LI 63 before SIO and 280 octets, or LI 10 before 297.
    std::string unit = "ff" + hex_byte(0x80 | (i % 128)) + (long_unit ? "3f" : "0a") + "83";
    for (int n = 0; n < (long_unit ? 280 : 296); ++n) unit += "5a";
    ASSERT_EQ(board_.command("mcc rx 1025 " + unit).at(0), "ok");
  }
  for (const Ctl::Received& r : during(500)) {
    EXPECT_NE(r.signal_name(), "userData") << r.text();
    EXPECT_NE(r.signal_name(), "deactivated") << r.text();
  }
  const int lines = lines_since(before, {"signal unit too long", "invalid packet length"});
  EXPECT_GE(lines, 2) << daemon_.output().substr(before, 2000);
  EXPECT_LE(lines, 12) << daemon_.output().substr(before, 2000);
  msus_both_ways();
}

// A terminal on a basic-rate network side sets up a call and turns busy (RNR); the controller
// sends 200 messages for that call. Those answered success (as many as the terminal's queue
// takes) all reach the terminal, in order, once it is ready again; the rest are refused.
TEST_F(SignallingLinks, BasicRateBusyTerminalGetsEveryMessageAnsweredSuccess) {
  for (const std::string c :
       {"{ seq 1, slot 1, pdu command : create : pstn : isdn : { type bri, trunk 1, log 0, "
        "side network : NULL } }",
        "{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 0, timeslot 1 } }",
        "{ seq 3, slot 2, pdu command : connect : 1 }",
        "{ seq 4, slot 1, pdu command : connect : 2 }"}) {
    const int seq = c[6] - '0', slot = c[14] - '0';
    ASSERT_EQ(answer(c), wire(success(seq, slot))) << c;
  }
  // The terminal gets TEI 64 and answers the SABME; its SETUP for call 5, acknowledged; then an
  // RNR poll, answered once the terminal counts as busy.
  ASSERT_EQ(board_.command("mcc rx 1024 fcff030f123401ff").at(0), "ok");
  const auto last_sent = [&](const std::string& frame) {
    return wait_until([&] {
      const std::vector<std::string> sent = sent_on(1024);
      return !sent.empty() && sent.back() == frame;
    }, wait_ms);
  };
  ASSERT_TRUE(last_sent("02817f"));
  ASSERT_EQ(board_.command("mcc rx 1024 028173").at(0), "ok");
  ASSERT_EQ(board_.command("mcc rx 1024 0081000008010505040380" "90a3").at(0), "ok");
  EXPECT_EQ(signal("userData"), user_data(1, "0801050504038090a3"));
  ASSERT_TRUE(last_sent("00810102"));
  ASSERT_EQ(board_.command("mcc rx 1024 00810501").at(0), "ok");
  ASSERT_TRUE(last_sent("00810103"));

  std::vector<std::string> taken;
  int refused = 0;
  for (int i = 0; i < 200; ++i) {
    const std::string message = "080185" "7b" "2c02" + hex_byte(i >> 8) + hex_byte(i & 0xFF);
    const int seq = 10 + i;
    const std::string got = answer("{ seq " + std::to_string(seq) +
                                   ", slot 1, pdu command : userData : '" + message + "'H }");
    if (got == wire(success(seq, 1)))
      taken.push_back(message);
    else
      ++refused;
  }
  EXPECT_EQ(taken.size(), 128u);
  EXPECT_EQ(refused, 200 - static_cast<int>(taken.size()));

  // RR, then each time more I frames came, an RR acknowledging them, until all have come.
  std::vector<std::string> delivered;
  size_t mark = sent_on(1024).size();
  ASSERT_EQ(board_.command("mcc rx 1024 02810100").at(0), "ok");
  const auto more = [&] {
    const std::vector<std::string> sent = sent_on(1024);
    const size_t had = delivered.size();
    for (size_t i = mark; i < sent.size(); ++i) {
      const std::string& f = sent[i];
      // An I frame to TEI 64 with the next N(S): a repeat after T200 is passed over.
      if (f.size() > 8 && f.compare(0, 4, "0281") == 0 &&
          (std::stoi(f.substr(4, 2), nullptr, 16) & 1) == 0 &&
          std::stoi(f.substr(4, 2), nullptr, 16) >> 1 == static_cast<int>(delivered.size() % 128))
        delivered.push_back(f.substr(8));
    }
    mark = sent.size();
    return delivered.size() > had;
  };
  while (delivered.size() < taken.size() && wait_until(more, 3000)) {
    ASSERT_EQ(board_.command("mcc rx 1024 0281" "01" + hex_byte((delivered.size() % 128) << 1))
                  .at(0),
              "ok");
  }
  EXPECT_EQ(delivered, taken);
}

}  // namespace
