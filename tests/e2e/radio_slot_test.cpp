// An ED-137 radio slot on orvexd and the simulated board: the controller creates it, the
// header-extension engine carries the creation's status out, a TX packet from the voice
// communication side comes back as an rtpExt signal, a controller command goes out as an RX
// packet and keys the source filter, which a codec change carries to the new engine session,
// and the destroy detaches and closes the engine session.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"
#include "tests/support/lgcp_test.h"

namespace {

using Lines = std::vector<std::string>;

class RadioSlot : public DaemonOnBoard {
 protected:
  // The rtpExt signals received and not taken yet; takes every message kept.
  size_t take_reports() {
    size_t n = 0;
    for (Ctl::Received r; ctl_.receive(r, 0);) n += r.signal_name() == "rtpExt";
    return n;
  }
  // What the daemon wrote on the header-extension session, once it holds `count` packets: the
  // daemon writes after it answered, so the test waits for it, bounded.
  Lines sent(size_t count) {
    Lines got;
    for (int i = 0; i < wait_ms / 10; ++i) {
      got = board_.command("rtpext sent 0");
      if (got.size() >= count) break;
      usleep(10000);
    }
    return got;
  }
};

TEST_F(RadioSlot, Ed137CreateSignalCommandAndDestroy) {
  const Fd rtcp = udp_loopback(0);
  EXPECT_EQ(create_rtp(rtcp, ", radio { status ed-137 : { header { ptt ptt-off, squ squ-on, "
                              "ptt-id 5, ptt-mute FALSE, ptt-summation FALSE, sct FALSE } } }"),
            wire(success(1, 1)));
  EXPECT_EQ(board_.command("rtpext session 0"),
            Lines{"open etype=0x0167 words=1,123,10,1 attached filter=off"});
  EXPECT_EQ(sent(1), Lines{"11400000"});

  EXPECT_EQ(board_.command("rtpext rx 0 77 127.0.0.5 22400000"), Lines{"ok"});
  Ctl::Received r;
  ASSERT_TRUE(ctl_.wait_for("rtpExt", r, wait_ms)) << ctl_.error();
  const std::string text = r.text();
  EXPECT_NE(text.find("session-addr \"127.0.0.5\""), std::string::npos) << text;
  EXPECT_NE(text.find("ptt-id 9"), std::string::npos) << text;

  EXPECT_EQ(answer("{ seq 2, slot 1, pdu command : ioctl : rtpExt : ed-137 : { addr { "
                   "session-addr \"127.0.0.5\", session-ssrc 77 }, params rx : { header { ptt "
                   "normal-ptt-on, squ squ-on, ptt-id 9, ptt-mute FALSE, ptt-summation FALSE, "
                   "sct FALSE } } } }"),
            wire(success(2, 1)));
  EXPECT_EQ(sent(2), (Lines{"11400000", "32400000"}));
  EXPECT_EQ(board_.command("rtpext session 0"),
            Lines{"open etype=0x0167 words=1,123,10,1 attached filter=127.0.0.5"});

  // A codec change attaches a new session, which filters as the old one did.
  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : ioctl : encoder-mode : ulaw }"),
            wire(success(3, 1)));
  EXPECT_EQ(board_.command("rtpext session 0"),
            Lines{"closed etype=0x0167 words=1,123,10,1 detached filter=127.0.0.5"});
  EXPECT_EQ(board_.command("rtpext session 1"),
            Lines{"open etype=0x0167 words=1,123,10,1 attached filter=127.0.0.5"});

  EXPECT_EQ(answer("{ seq 4, slot 1, pdu command : destroy : NULL }"), wire(success(4, 1)));
  EXPECT_EQ(board_.command("rtpext session 1"),
            Lines{"closed etype=0x0167 words=1,123,10,1 detached filter=127.0.0.5"});
}

// A LEMZ radio status whose flags carry `prio` and whose channel and frequency are given.
std::string lemz_status(const std::string& prio, const std::string& channel,
                        const std::string& frequency) {
  return "lemz : { flags { prio " + prio +
         ", ptt FALSE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, "
         "rv FALSE, resv FALSE, selcall 0, li 0 }, freq { channel " + channel +
         ", frequency \"" + frequency + "\" }, remote { no 0, ch 0 }, squelshe off, rte n0n, "
         "standby-state-channel active, standby-group 0, standby-state-receiver active }";
}

std::string ed137_header(const std::string& ptt, const std::string& squ) {
  return "header { ptt " + ptt + ", squ " + squ +
         ", ptt-id 5, ptt-mute FALSE, ptt-summation FALSE, sct FALSE }";
}

std::string lemz_flags(const std::string& prio, bool ptt) {
  return "flags { prio " + prio + ", ptt " + (ptt ? "TRUE" : "FALSE") +
         ", bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv FALSE, "
         "resv FALSE, selcall 0, li 0 }";
}

// An rtpExt ioctl on slot 1 of a LEMZ command from `addr`.
std::string lemz_command(int seq, const std::string& params,
                         const std::string& addr = "127.0.0.5") {
  return "{ seq " + std::to_string(seq) +
         ", slot 1, pdu command : ioctl : rtpExt : lemz : { addr { session-addr \"" + addr +
         "\", session-ssrc 7 }, params " + params + " } }";
}

std::string ed137_command(int seq, const std::string& params,
                          const std::string& addr = "127.0.0.5") {
  return "{ seq " + std::to_string(seq) +
         ", slot 1, pdu command : ioctl : rtpExt : ed-137 : { addr { session-addr \"" + addr +
         "\", session-ssrc 7 }, params " + params + " } }";
}

std::string invalid_params(int seq, int slot) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu response : error : invalidParams }";
}

// Each value that its field on the wire (or the DSP's record) cannot carry, or that is not what
// the field means, is refused with invalidParams and nothing of it is sent: a create opens no
// header-extension session; a command sends no packet, and the slot then carries the next
// command as before. The values that fit go out as they did.
TEST_F(RadioSlot, ValuesTheRadioCannotCarryAreRefused) {
  const std::string ed137_ok = "ed-137 : { " + ed137_header("ptt-off", "squ-on") + " }";
  const std::string lemz_ok = lemz_status("4", "1", "121.5");
  const std::string long_text(10000, '7');
  struct Row {
    const char* name;
    std::string status;   // the create's radio status; the value itself when `command` is empty
    std::string more;     // more of the create's radio request
    std::string command;  // an rtpExt ioctl after a create that succeeds
  };
  const Row rows[] = {
      {"lemz prio 16", lemz_status("16", "1", "121.5"), "", ""},
      {"lemz prio -1", lemz_status("-1", "1", "121.5"), "", ""},
      {"lemz frequency nan", lemz_status("4", "1", "nan"), "", ""},
      {"lemz frequency -1", lemz_status("4", "1", "-1"), "", ""},
      {"lemz frequency 1e40", lemz_status("4", "1", "1e40"), "", ""},
      {"lemz frequency abc", lemz_status("4", "1", "abc"), "", ""},
      {"lemz channel -1", lemz_status("4", "-1", "121.5"), "", ""},
      {"lemz rx-delay -1", lemz_ok, ", rx-delay -1", ""},
      {"ed-137 ptt 8", "ed-137 : { " + ed137_header("8", "squ-on") + " }", "", ""},
      {"ed-137 squ 2", "ed-137 : { " + ed137_header("ptt-off", "2") + " }", "", ""},
      {"ed-137 bss-method 4",
       "ed-137 : { " + ed137_header("ptt-off", "squ-on") + ", sqi { bss-method 4, bss-quality 3 } }",
       "", ""},
      {"ed-137 radio type 5",
       "ed-137 : { " + ed137_header("ptt-off", "squ-on") +
           ", radio-response { type 5, txrxmode txrx, ptt-id 0 } }",
       "", ""},
      {"wm-trans ip empty", lemz_ok, "",
       lemz_command(2, "wm-trans : { " + lemz_flags("4", true) + ", ip \"\", ssrc 7 }")},
      {"wm-trans ip abc", lemz_ok, "",
       lemz_command(2, "wm-trans : { " + lemz_flags("4", true) + ", ip \"abc\", ssrc 7 }")},
      {"wm-trans ip 999.1.1.1", lemz_ok, "",
       lemz_command(2, "wm-trans : { " + lemz_flags("4", true) + ", ip \"999.1.1.1\", ssrc 7 }")},
      {"wm-trans ip of 10000 characters", lemz_ok, "",
       lemz_command(2, "wm-trans : { " + lemz_flags("4", true) + ", ip \"" + long_text +
                           "\", ssrc 7 }")},
      {"wm-trans keyed to 0.0.0.0", lemz_ok, "",
       lemz_command(2, "wm-trans : { " + lemz_flags("4", true) + ", ip \"0.0.0.0\", ssrc 7 }")},
      {"wm-selcall ip abc", lemz_ok, "",
       lemz_command(2, "wm-selcall : { " + lemz_flags("4", true) +
                           ", ip \"abc\", ssrc 7, cid \"12\" }")},
      {"wm-selcall cid of 256 characters", lemz_ok, "",
       lemz_command(2, "wm-selcall : { " + lemz_flags("4", true) +
                           ", ip \"127.0.0.5\", ssrc 7, cid \"" + std::string(256, 'c') +
                           "\" }")},
      {"wm-flags prio 16", lemz_ok, "", lemz_command(2, "wm-flags : { " + lemz_flags("16", false) + " }")},
      {"wm-chan frequency nan", lemz_ok, "",
       lemz_command(2, "wm-chan : { freq { channel 1, frequency \"nan\" }, squelshe on, rte n0n }")},
      {"wm-quality 1e40", lemz_ok, "", lemz_command(2, "wm-quality : { bss-val \"1e40\" }")},
      {"lemz session-addr abc", lemz_ok, "",
       lemz_command(2, "wm-flags : { " + lemz_flags("3", false) + " }", "abc")},
      {"ed-137 tx ptt 8", ed137_ok, "",
       ed137_command(2, "tx : { " + ed137_header("8", "squ-off") + " }")},
      {"ed-137 rx ptt 9", ed137_ok, "",
       ed137_command(2, "rx : { " + ed137_header("9", "squ-off") + " }")},
      {"ed-137 rx squ 2", ed137_ok, "",
       ed137_command(2, "rx : { " + ed137_header("ptt-off", "2") + " }")},
      {"ed-137 rx bss-method 5", ed137_ok, "",
       ed137_command(2, "rx : { " + ed137_header("ptt-off", "squ-on") +
                            ", sqi { bss-method 5, bss-quality 3 } }")},
      {"ed-137 session-addr abc", ed137_ok, "",
       ed137_command(2, "rx : { " + ed137_header("normal-ptt-on", "squ-on") + " }", "abc")},
  };
  int sessions = 0;  // the header-extension sessions the board has opened
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Fd rtcp = udp_loopback(0);
    const std::string create = create_rtp(rtcp, ", radio { status " + row.status + row.more + " }");
    const std::string session = std::to_string(sessions);
    if (row.command.empty()) {
      EXPECT_EQ(create, wire(invalid_params(1, 1)));
      EXPECT_EQ(board_.command("rtpext session " + session).at(0), "error: no session " + session);
      continue;
    }
    ASSERT_EQ(create, wire(success(1, 1)));
    ++sessions;
    const bool lemz = row.command.find(": lemz :") != std::string::npos;
    // Before the command: what the slot has sent so far, and what its timers repeat.
    Lines before = board_.command("rtpext sent " + session);
    const Lines repeats = lemz ? Lines{"81400000", "844000000000000142f3000001010000",
                                       "8640000000000000", "8740000000000000"}
                               : Lines{"11400000"};
    before.insert(before.end(), repeats.begin(), repeats.end());
    EXPECT_EQ(answer(row.command), wire(invalid_params(2, 1)));
    // A command that fits sends its packet at once: every packet before it is a repeat.
    const std::string marker =
        lemz ? lemz_command(3, "wm-trans : { " + lemz_flags("2", true) +
                                   ", ip \"127.0.0.5\", ssrc 7 }")
             : ed137_command(3, "rx : { " + ed137_header("normal-ptt-on", "squ-on") + " }");
    EXPECT_EQ(answer(marker), wire(success(3, 1)));
    const std::string marked = lemz ? "822400000500007f00000007" : "31400000";
    const size_t seen = before.size() - repeats.size();
    Lines after;
    for (int i = 0; i < wait_ms / 10; ++i) {
      after = board_.command("rtpext sent " + session);
      if (std::find(after.begin() + long(seen), after.end(), marked) != after.end()) break;
      usleep(10000);
    }
    for (size_t i = seen; i < after.size() && after[i] != marked; ++i)
      EXPECT_NE(std::find(before.begin(), before.end(), after[i]), before.end())
          << "sent " << after[i];
    EXPECT_NE(std::find(after.begin() + long(seen), after.end(), marked), after.end());
  }
}

// A burst of 100,000 packets on one radio slot (10,000 valid ones, each reported): the daemon reads them in batches and serves its
// other descriptors and timers between two, so that pings are answered within a second and the
// watchdog is fed on time throughout (its writes come a second apart; at most 1.5 s is allowed),
// and it reads every packet.
TEST_F(RadioSlot, ABurstOfPacketsDoesNotHoldTheLoop) {
  struct Row {
    const char* name;
    const char* streams;  // SSRC ADDRESS HEX, one or more, taken in turn
    unsigned count;       // packets in the burst
    size_t reports;       // the rtpExt signals the burst brings
  };
  const Row rows[] = {
      {"bad LEMZ packets from one source", "5 127.0.0.5 ff", 100000, 0},
      // Each is reported: fewer, so that the controller's side of the test keeps up.
      {"valid LEMZ packets from two alternating sources",
       "5 127.0.0.5 01300000 6 127.0.0.6 01400000", 10000, 10000},
  };
  int session = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Fd rtcp = udp_loopback(0);
    ASSERT_EQ(create_rtp(rtcp, ", radio { status " + lemz_status("4", "1", "121.5") + " }"),
              wire(success(1, 1)));
    const std::string number = std::to_string(session++);
    const long from_ms = std::stol(board_.command("watchdog").back());
    ASSERT_EQ(board_.command("rtpext flood " + number + " " + std::to_string(row.count) + " " +
                             row.streams),
              Lines{"ok"});
    unsigned slowest = 0;
    size_t reports = 0;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      const auto sent = std::chrono::steady_clock::now();
      Ctl::Received r;
      ASSERT_TRUE(ctl_.command("ping : NULL", r, 5000)) << ctl_.error();
      const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - sent);
      slowest = std::max(slowest, unsigned(took.count()));
      reports += take_reports();
      if (board_.command("rtpext queued " + number) == Lines{"0"}) break;
      ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
      usleep(50000);
    }
    EXPECT_LT(slowest, 1000u);
    EXPECT_LT(longest_watchdog_gap(board_, from_ms), 1500u);
    // The last run is reported once the engine is found empty.
    Ctl::Received r;
    ASSERT_TRUE(ctl_.command("ping : NULL", r, 5000)) << ctl_.error();
    reports += take_reports();
    EXPECT_EQ(reports, row.reports);
  }
}

}  // namespace
