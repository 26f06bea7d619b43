// The road of the TDM slot kinds' tests: a controller (orvex-ctl's library) on loopback TCP
// drives the control server with the slot registry and every factory in the chain, and the
// simulated board (one for the whole executable) shows what the hardware carries. The loop runs
// on this thread on the test clock: the controller sends, the loop turns, the controller reads
// what has arrived.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "control/ctrl_server.h"
#include "proto/acceptor_check.h"
#include "slotbase/slot_factory.h"
#include "slotbase/slots.h"
#include "slots/tdm/mixer_factory.h"
#include "tests/support/board.h"
#include "tests/support/registry_test.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

class SlotRoad : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(board().ok());
    static bool bound = false;
    if (!bound) ctrlServer.Bind(&Slots::instance());
    bound = true;
  }
  void SetUp() override {
    // Each test starts an hour after the one before: the factories live as long as the
    // executable, and the log lines they throttle start afresh in every test.
    static uint64_t start_s = 1000;
    Mux::TestClock::set(start_s * 1000000);
    start_s += 3600;
    Slots::instance().SetDisconnectWait([] {});
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, true);
    ASSERT_TRUE(ctrlServer.Activate(acceptor));
    port_ = acceptor->local_port();
    ASSERT_TRUE(ctl_.connect("127.0.0.1", port_, 1000)) << ctl_.error();
    turns(3);
  }
  void TearDown() override {
    ctl_.close();
    ctrlServer.Deactivate();
    EXPECT_TRUE(Slots::instance().GetLive().empty());
    Mux::TestClock::release();
  }

  // Sends each command and returns every message that came back, in hex, one each.
  std::vector<std::string> run(const std::vector<std::string>& commands) {
    std::vector<std::string> got;
    for (const auto& c : commands) {
      EXPECT_TRUE(ctl_.send(c)) << c << ": " << ctl_.error();
      for (const auto& m : arrived()) got.push_back(m);
    }
    return got;
  }
  // Turns the loop and returns what arrived meanwhile, in hex.
  std::vector<std::string> arrived() {
    std::vector<std::string> got;
    for (const Ctl::Received& r : received()) got.push_back(Ctl::to_hex(r.bytes));
    return got;
  }
  // Turns the loop and returns the messages that arrived meanwhile.
  std::vector<Ctl::Received> received() {
    turns(3);
    std::vector<Ctl::Received> got;
    Ctl::Received r;
    while (ctl_.receive(r, 0)) got.push_back(r);
    return got;
  }
  // Turns the loop; each message that arrived meanwhile in short: its pdu in value notation up
  // to the first SEQUENCE ("signal : ioctl : hdlcLinkInfo", "response : success : NULL").
  std::vector<std::string> briefly() {
    std::vector<std::string> got;
    for (const Ctl::Received& r : received()) {
      std::string text;
      for (char c : r.text()) {
        const bool blank = c == '\n' || c == ' ';
        if (!blank || (!text.empty() && text.back() != ' ')) text += blank ? ' ' : c;
      }
      const size_t pdu = text.find("pdu ");
      if (pdu != std::string::npos) text = text.substr(pdu + 4);
      text = text.substr(0, std::min(text.find(" : {"), text.rfind(" }")));
      got.push_back(text);
    }
    return got;
  }
  // Runs the loop, waiting for other processes, until `done` holds (bounded); what the
  // controller received meanwhile, in hex.
  std::vector<std::string> until(const std::function<bool(const std::vector<std::string>&)>& done) {
    std::vector<std::string> got;
    for (int i = 0; i < 500 && !done(got); ++i) {
      run_loop_turn();
      for (const auto& m : arrived()) got.push_back(m);
    }
    return got;
  }
  // The controller goes away; the loop turns until the registry has destroyed every slot
  // (bounded). What the daemon logged meanwhile, on both streams.
  std::string controller_leaves() {
    StreamCapture err(std::cerr), log(std::clog);
    ctl_.close();
    for (int i = 0; i < 20 && !Slots::instance().GetLive().empty(); ++i) turns(3);
    EXPECT_TRUE(Slots::instance().GetLive().empty());
    return err.take() + log.take();
  }
  static std::string output(int channel) {
    return board().command("switch " + std::to_string(channel)).at(0);
  }
  static std::string sim(const std::string& line) { return board().command(line).at(0); }
  // A board command on its mixer units ("add 0 32 8", "remove 0"), then the mixer factory's
  // enumeration; the board's answer.
  static std::string mixers(const std::string& command) {
    const std::string answer = sim("mixer " + command);
    LGCP::Resources report;
    Mixer::MixerFactory::instance().Query(report);
    return answer;
  }

  unsigned short port_ = 0;
  Ctl::Controller ctl_;
};

inline std::string reply(int seq, int slot, const std::string& answer) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu response : " + answer + " }";
}
inline std::string stream(int slot, const std::string& side, int channel) {
  return "{ slot " + std::to_string(slot) + ", pdu signal : " + side +
         " : active : " + std::to_string(channel) + " }";
}
inline std::string signal(int slot, const std::string& body) {
  return "{ slot " + std::to_string(slot) + ", pdu signal : " + body + " }";
}
