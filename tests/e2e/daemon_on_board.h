// DaemonOnBoard: orvexd as a child process on a fresh simulated board, and a controller that
// has been served by it: the fixture of the black-box tests of slot kinds.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/support/lgcp_test.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/loopback.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

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
  // The payload of the next signal named `name`, in hex.
  std::string signal(const std::string& name) {
    Ctl::Received r;
    if (!ctl_.wait_for(name, r, wait_ms)) return ctl_.error();
    return Ctl::to_hex(r.bytes);
  }
  std::string output(int channel) {
    return board_.command("switch " + std::to_string(channel)).at(0);
  }

  BoardSim board_;
  unsigned short port_ = 0;
  OrvexdProcess daemon_;
  Ctl::Controller ctl_;
};

inline std::string success(int seq, int slot) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu response : success : NULL }";
}
