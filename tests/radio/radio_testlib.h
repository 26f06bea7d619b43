// Helpers of the radio tests: hex text of byte buffers, and the radio controls' view of the
// simulated header-extension engine.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/modules/term.h"
#include "radio/radio_control.h"
#include "tests/support/board.h"
#include "tests/support/command_output.h"
#include "tools/orvex-ctl/lib/hex.h"

inline std::string hex_of(const unsigned char* bytes, int n) {
  return n <= 0 ? std::string() : hex(std::string(bytes, bytes + n));
}

inline std::vector<unsigned char> bytes_of(const std::string& hex) {
  std::vector<char> b;
  Ctl::from_hex(hex, b);
  return std::vector<unsigned char>(b.begin(), b.end());
}

// What a slot would send for its controller: rtpExt reports (value notation on one line) and
// abort causes.
struct RadioNotify : RTPSignalling::IRadioControlNotify {
  void RadioControlNotify(const TERM::RtpRadioRequest& r) override {
    std::ostringstream text;
    text << r;
    reports.push_back(std::regex_replace(text.str(), std::regex("\\s+"), " "));
  }
  void RadioControlNotify(int cause) override { aborts.push_back(cause); }
  Lines reports;
  std::vector<int> aborts;
};

// The newest /dev/rtp_ext session of the simulator (sessions are numbered in order of opening):
// the packets the daemon wrote on it, and packets queued for it.
class EngineSession {
 public:
  EngineSession() : number_(newest_ext_session()) {}

  std::string state() { return board().command("rtpext session " + number_).at(0); }

  // The packets written since the last call, in hex.
  Lines sent() {
    Lines all = board().command("rtpext sent " + number_);
    Lines fresh(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }

  // Queues `count` copies of `packet` (hex) from one stream at once.
  void flood(unsigned count, const std::string& packet, const char* addr = "127.0.0.2",
             unsigned ssrc = 5) {
    board().command("rtpext flood " + number_ + " " + std::to_string(count) + " " +
                    std::to_string(ssrc) + " " + addr + " " + packet);
  }
  // The packets queued that the controller has not read.
  int queued() { return std::stoi(board().command("rtpext queued " + number_).at(0)); }

  // Holds `packet` (hex) back until a packet info request finds none; then it is there to read.
  void late(const std::string& packet, const char* addr, unsigned ssrc) {
    board().command("rtpext late " + number_ + " " + std::to_string(ssrc) + " " + addr + " " +
                    packet);
  }

  // Queues `packets` (hex) from one stream; with `turn`, runs a loop turn that reads them.
  void receive(const std::vector<std::string>& packets, const char* addr = "127.0.0.2",
               unsigned ssrc = 5, bool turn = true) {
    for (const auto& p : packets)
      board().command("rtpext rx " + number_ + " " + std::to_string(ssrc) + " " + addr + " " + p);
    if (turn) run_loop_turn();
  }

 private:
  std::string number_;
  size_t seen_ = 0;
};

// Packets `a` and `b` (hex; SSRC 5 and 6) take turns 10 times, `b` arriving between a failed
// packet info request and the read after it: the reports since must each name its own sender.
inline void expect_turns(EngineSession& engine, RadioNotify& notify, const std::string& a,
                         const char* a_addr, const std::string& b, const char* b_addr) {
  notify.reports.clear();
  Lines expected;
  for (size_t i = 1; i <= 10; ++i) {
    engine.late(b, b_addr, 6);
    engine.receive({a}, a_addr, 5, false);
    turn_until([&] { return notify.reports.size() >= 2 * i && engine.queued() == 0; }, 50);
    expected.insert(expected.end(), {a_addr, b_addr});
  }
  turns(3);
  Lines senders;
  for (const std::string& r : notify.reports)
    senders.push_back(std::regex_replace(r, std::regex(".*session-addr \"([^\"]*)\".*"), "$1"));
  EXPECT_EQ(senders, expected);
}
