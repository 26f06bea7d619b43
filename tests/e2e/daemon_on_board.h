// DaemonOnBoard: orvexd as a child process on a fresh simulated board, and a controller that
// has been served by it: the fixture of the black-box tests of slot kinds.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/lgcp_test.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/loopback.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

inline std::string success(int seq, int slot) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu response : success : NULL }";
}

class DaemonOnBoard : public testing::Test {
 protected:
  static constexpr int wait_ms = OrvexdProcess::wait_ms;

  void SetUp() override {
    ASSERT_TRUE(board_.ok());
    port_ = free_port();
    ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
    attach();
  }
  // Connects and pings until the daemon serves this controller: while it still holds another
  // one, it closes a new connection at once.
  void attach() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    Ctl::Received r;
    while (!ctl_.connect("127.0.0.1", port_, wait_ms) || !ctl_.command("ping : NULL", r, 3000)) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << ctl_.error();
      ctl_.close();
      usleep(20000);
    }
  }
  // The payload of the response to `command`, in hex.
  std::string answer(const std::string& command) {
    Ctl::Received r;
    if (!ctl_.command(command, r, wait_ms)) return ctl_.error();
    return Ctl::to_hex(r.bytes);
  }
  // Sends each of `commands`, "{ slot N, pdu command : ... }", with the next sequence number;
  // each is to be answered success.
  void succeed(const std::vector<std::string>& commands) {
    for (const std::string& c : commands) {
      const int seq = ++seq_sent_;
      const int slot = std::stoi(c.substr(7));
      EXPECT_EQ(answer("{ seq " + std::to_string(seq) + ", " + c.substr(2)), wire(success(seq, slot)))
          << c;
    }
  }
  // The payload of the next signal named `name`, in hex.
  std::string signal(const std::string& name) {
    Ctl::Received r;
    if (!ctl_.wait_for(name, r, wait_ms)) return ctl_.error();
    return Ctl::to_hex(r.bytes);
  }
  // Waits (bounded) until the board's controller holds no channel; those still held.
  std::vector<std::string> held_channels() {
    std::vector<std::string> held;
    wait_until([&] { return (held = board_.command("mcc channels")).empty(); }, wait_ms);
    return held;
  }
  // The longest gap between two writes on the watchdog from `from_ms` on (the simulator's
  // time: ms since it started).
  unsigned longest_watchdog_gap(long from_ms) {
    long last = -1;
    unsigned longest = 0;
    for (const std::string& line : board_.command("watchdog")) {
      const long at = std::stol(line);
      if (last >= from_ms) longest = std::max<unsigned>(longest, unsigned(at - last));
      last = at;
    }
    return longest;
  }
  // Creates slot 1 as an RTP slot with G.711 A-law both ways, its far end on loopback: `rtcp` is
  // bound to the port above the far end's RTP port, and the local RTP port is one whose RTCP
  // port was free a moment ago. `more` goes into codecRTP after the hosts.
  std::string create_rtp(const Fd& rtcp, const std::string& more) {
    const std::string peer = std::to_string(local_port(rtcp) - 1);
    const std::string local = std::to_string(local_port(udp_loopback(0)) - 1);
    rtp_port_ = std::stoi(local);
    return answer("{ seq 1, slot 1, pdu command : create : rtp : { codecRTP { payload "
                  "ptG711-Alaw, dhost { iaddr \"127.0.0.1\", port " + peer +
                  " }, shost { iaddr \"127.0.0.1\", port " + local + " }" + more +
                  " }, txPayload ptG711-Alaw, rxPayload ptG711-Alaw } }");
  }
  // The frames the daemon sent on controller channel `channel`, once they are `expected`: the
  // board reads the channel's frames and its control socket in either order, so it is asked
  // again, for at most the usual wait.
  std::vector<std::string> mcc_sent(int channel, const std::vector<std::string>& expected) {
    const std::string ask = "mcc sent " + std::to_string(channel);
    std::vector<std::string> seen;
    for (int i = 0; i < wait_ms / 10 && (seen = board_.command(ask)) != expected; ++i)
      usleep(10000);
    return seen;
  }
  std::string output(int channel) {
    return board_.command("switch " + std::to_string(channel)).at(0);
  }

  BoardSim board_;
  unsigned short port_ = 0;
  int rtp_port_ = 0;  // the local RTP port of the last create_rtp
  int seq_sent_ = 0;  // the sequence number of the last command succeed() sent
  OrvexdProcess daemon_;
  Ctl::Controller ctl_;
};
