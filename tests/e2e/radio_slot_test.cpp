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

// LEMZ radio flags with priority `prio` and push-to-talk `ptt`.
std::string lemz_flags(const std::string& prio, bool ptt) {
  return "flags { prio " + prio + ", ptt " + (ptt ? "TRUE" : "FALSE") +
         ", bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv FALSE, "
         "resv FALSE, selcall 0, li 0 }";
}

// A LEMZ radio status whose flags carry `prio` (and `ptt`) and whose channel and frequency are
// given.
std::string lemz_status(const std::string& prio, const std::string& channel,
                        const std::string& frequency, bool ptt = false) {
  return "lemz : { " + lemz_flags(prio, ptt) + ", freq { channel " + channel +
         ", frequency \"" + frequency +
         "\" }, remote { no 0, ch 0 }, squelshe off, "
         "rte n0n, standby-state-channel active, standby-group 0, standby-state-receiver active }";
}

std::string ed137(const std::string& ptt, const std::string& squ, const std::string& more = "") {
  return "ed-137 : { header { ptt " + ptt + ", squ " + squ +
         ", ptt-id 5, ptt-mute FALSE, ptt-summation FALSE, sct FALSE }" + more + " }";
}

// A LEMZ call keyed by push-to-talk with priority `prio` to `ip`: wm-trans, or with `cid`
// wm-selcall.
std::string lemz_call(const std::string& prio, const std::string& ip, const char* cid = nullptr) {
  return std::string(cid ? "wm-selcall" : "wm-trans") + " : { " + lemz_flags(prio, true) +
         ", ip \"" + ip + "\", ssrc 7" + (cid ? std::string(", cid \"") + cid + "\"" : "") + " }";
}

// An rtpExt ioctl on slot 1: `params` of the lemz or ed-137 alternative, from `addr`.
std::string radio_command(int seq, const std::string& alternative, const std::string& params,
                          const std::string& addr = "127.0.0.5") {
  return "{ seq " + std::to_string(seq) +
         ", slot 1, pdu command : ioctl : rtpExt : " + alternative + " : { addr { session-addr \"" +
         addr + "\", session-ssrc 7 }, params " + params + " } }";
}

std::string invalid_params(int seq) {
  return wire("{ seq " + std::to_string(seq) + ", slot 1, pdu response : error : invalidParams }");
}

// Each value that its field on the wire (or the DSP's record) cannot carry, or that is not what
// the field means, is refused with invalidParams and nothing of it is sent: a create opens no
// header-extension session; after a command only the timers' repeats go out before the next
// command's packet, which the slot still sends.
TEST_F(RadioSlot, ValuesTheRadioCannotCarryAreRefused) {
  const std::string lemz_ok = lemz_status("4", "1", "121.5");
  // The header of an ED-137 value, without "ed-137 : ".
  const std::string header_off = ed137("ptt-off", "squ-on").substr(9);
  const std::string keyed = ed137("normal-ptt-on", "squ-on").substr(9);
  struct Row {
    std::string name;
    std::string create;   // the create's radio request
    std::string command;  // empty: the create is refused; else this command after it
  };
  std::vector<Row> rows = {
      {"prio 16", lemz_status("16", "1", "121.5"), ""},
      {"prio -1", lemz_status("-1", "1", "121.5"), ""},
      {"frequency nan", lemz_status("4", "1", "nan"), ""},
      {"frequency -1", lemz_status("4", "1", "-1"), ""},
      {"frequency 1e40", lemz_status("4", "1", "1e40"), ""},
      {"frequency abc", lemz_status("4", "1", "abc"), ""},
      {"channel -1", lemz_status("4", "-1", "121.5"), ""},
      {"rx-delay -1", lemz_ok + ", rx-delay -1", ""},
      {"ptt 8", ed137("8", "squ-on"), ""},
      {"squ 2", ed137("ptt-off", "2"), ""},
      {"bss-method 4", ed137("ptt-off", "squ-on", ", sqi { bss-method 4, bss-quality 3 }"), ""},
      {"radio type 5",
       ed137("ptt-off", "squ-on", ", radio-response { type 5, txrxmode txrx, ptt-id 0 }"), ""},
      {"ip empty", lemz_ok, radio_command(2, "lemz", lemz_call("4", ""))},
      {"ip abc", lemz_ok, radio_command(2, "lemz", lemz_call("4", "abc"))},
      {"ip 999.1.1.1", lemz_ok, radio_command(2, "lemz", lemz_call("4", "999.1.1.1"))},
      {"ip of 10000 characters", lemz_ok,
       radio_command(2, "lemz", lemz_call("4", std::string(10000, '7')))},
      {"keyed to 0.0.0.0", lemz_ok, radio_command(2, "lemz", lemz_call("4", "0.0.0.0"))},
      {"selcall ip abc", lemz_ok, radio_command(2, "lemz", lemz_call("4", "abc", "12"))},
      {"cid of 256 characters", lemz_ok,
       radio_command(2, "lemz", lemz_call("4", "127.0.0.5", std::string(256, 'c').c_str()))},
      {"call prio 16", lemz_ok, radio_command(2, "lemz", lemz_call("16", "127.0.0.5"))},
      {"wm-chan frequency nan", lemz_ok,
       radio_command(2, "lemz",
                     "wm-chan : { freq { channel 1, frequency \"nan\" }, squelshe on, rte n0n }")},
      {"bss-val 1e40", lemz_ok, radio_command(2, "lemz", "wm-quality : { bss-val \"1e40\" }")},
      {"lemz session-addr abc", lemz_ok,
       radio_command(2, "lemz", "wm-quality : { bss-val \"1\" }", "abc")},
      {"tx ptt 8", ed137("ptt-off", "squ-on"),
       radio_command(2, "ed-137", "tx : " + ed137("8", "squ-off").substr(9))},
      {"rx ptt 9", ed137("ptt-off", "squ-on"),
       radio_command(2, "ed-137", "rx : " + ed137("9", "squ-off").substr(9))},
      {"rx squ 2", ed137("ptt-off", "squ-on"),
       radio_command(2, "ed-137", "rx : " + ed137("ptt-off", "2").substr(9))},
      {"rx bss-method 5", ed137("ptt-off", "squ-on"),
       radio_command(
           2, "ed-137",
           "rx : " +
               ed137("ptt-off", "squ-on", ", sqi { bss-method 5, bss-quality 3 }").substr(9))},
      {"ed-137 session-addr abc", ed137("ptt-off", "squ-on"),
       radio_command(2, "ed-137", "rx : " + header_off, "abc")},
      // Push-to-talk keyed to no single host, or with no session address given yet.
      {"lemz status keyed at create", lemz_status("4", "1", "121.5", true), ""},
      {"wm-flags keyed with no key", lemz_ok,
       radio_command(2, "lemz", "wm-flags : { " + lemz_flags("4", true) + " }")},
      {"gw-set-flags keyed with no key", lemz_ok,
       radio_command(2, "lemz", "gw-set-flags : { " + lemz_flags("4", true) + " }")},
      {"gw-set-ptt keyed with no key", lemz_ok,
       radio_command(2, "lemz", "gw-set-ptt : { " + lemz_flags("4", true) + " }")},
      {"tx keyed to 0.0.0.0", ed137("ptt-off", "squ-on"),
       radio_command(2, "ed-137", "tx : " + keyed, "0.0.0.0")},
  };
  for (const char* addr :
       {"255.255.255.255", "224.0.0.1", "239.255.255.255", "240.0.0.1", "0.0.0.1",
        "127.255.255.255"}) {
    const std::string to = std::string(" keyed to ") + addr;
    rows.push_back({"wm-trans" + to, lemz_ok, radio_command(2, "lemz", lemz_call("4", addr))});
    rows.push_back(
        {"wm-selcall" + to, lemz_ok, radio_command(2, "lemz", lemz_call("4", addr, "12"))});
    rows.push_back({"rx" + to, ed137("ptt-off", "squ-on"),
                    radio_command(2, "ed-137", "rx : " + keyed, addr)});
    rows.push_back({"tx" + to, ed137("ptt-off", "squ-on"),
                    radio_command(2, "ed-137", "tx : " + keyed, addr)});
  }
  int sessions = 0;  // the header-extension sessions the board has opened
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Fd rtcp = udp_loopback(0);
    const std::string create = create_rtp(rtcp, ", radio { status " + row.create + " }");
    const std::string session = std::to_string(sessions);
    if (row.command.empty()) {
      EXPECT_EQ(create, invalid_params(1));
      EXPECT_EQ(board_.command("rtpext session " + session).at(0), "error: no session " + session);
      continue;
    }
    ASSERT_EQ(create, wire(success(1, 1)));
    ++sessions;
    const bool lemz = row.command.find(": lemz :") != std::string::npos;
    // What the slot has sent so far, and what its timers repeat.
    Lines before = board_.command("rtpext sent " + session);
    const size_t seen = before.size();
    for (const char* repeat : {"81400000", "844000000000000142f3000001010000", "8640000000000000",
                               "8740000000000000", "11400000"})
      before.push_back(repeat);
    EXPECT_EQ(answer(row.command), invalid_params(2));
    const std::string filter = board_.command("rtpext session " + session).at(0);
    EXPECT_EQ(filter.substr(filter.rfind(' ') + 1), "filter=off");
    const std::string next = lemz ? radio_command(3, "lemz", lemz_call("2", "127.0.0.5"))
                                  : radio_command(3, "ed-137", "rx : " + keyed);
    EXPECT_EQ(answer(next), wire(success(3, 1)));
    const std::string marked = lemz ? "822400000500007f00000007" : "31400000";
    Lines after;
    for (int i = 0; i < wait_ms / 10; ++i) {
      after = board_.command("rtpext sent " + session);
      if (std::find(after.begin() + long(seen), after.end(), marked) != after.end()) break;
      usleep(10000);
    }
    for (size_t i = seen; i < after.size() && after[i] != marked; ++i)
      EXPECT_NE(std::find(before.begin(), before.end(), after[i]), before.end()) << after[i];
    EXPECT_NE(std::find(after.begin() + long(seen), after.end(), marked), after.end());
  }
}

// A burst of 100,000 packets on one radio slot (10,000 valid ones, each reported): the daemon reads
// them in batches and serves its other descriptors and timers between two, so that pings are
// answered within a second and the watchdog is fed on time throughout (its writes come a second
// apart; at most 1.5 s is allowed), and it reads every packet.
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
    EXPECT_LT(longest_watchdog_gap(from_ms), 1500u);
    // The last run is reported once the engine is found empty.
    Ctl::Received r;
    ASSERT_TRUE(ctl_.command("ping : NULL", r, 5000)) << ctl_.error();
    reports += take_reports();
    EXPECT_EQ(reports, row.reports);
  }
}

}  // namespace
