// Test helpers of the board front ends: a simulated board and the loop on the test clock
// (BoardTest), and for the control services a control server on loopback with a controller
// (orvex-ctl's Ctl::Controller) that writes down each answer and signal it receives as one
// line of text (ServiceTest).
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "control/ctrl_server.h"
#include "proto/acceptor_check.h"
#include "tests/support/loop_test.h"
#include "tests/support/loop_turns.h"
#include "tests/support/stream_capture.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

// "cas T/TS rx=R tx=X", "trunk T state=S slips=N bf=N carrier=N ais=N rai=N type=Y", or the
// alternative's name.
inline std::string describe(const LGCP::Signal& signal) {
  if (signal.is_cas()) {
    const LGCP::CasSignalling& c = signal.get_cas();
    return "cas " + std::to_string(c.get_channel().get_path().getValue()) + "/" +
           std::to_string(c.get_channel().get_timeslot().getValue()) +
           " rx=" + std::to_string(c.get_rx().getValue()) +
           " tx=" + std::to_string(c.get_tx().getValue());
  }
  if (signal.is_trunkStatus()) {
    const ACP::TrunkStatus& s = signal.get_trunkStatus();
    return "trunk " + std::to_string(s.get_trunk().getValue()) +
           " state=" + s.get_state().getName() +
           " slips=" + std::to_string(s.get_slips().getValue()) +
           " bf=" + std::to_string(s.get_lossBF().getValue()) +
           " carrier=" + std::to_string(s.get_lossCarrier().getValue()) +
           " ais=" + std::to_string(s.get_lossAIS().getValue()) +
           " rai=" + std::to_string(s.get_lossRAI().getValue()) +
           " type=" + s.get_type().getName() + (s.get_clockMaster().getValue() ? " master" : "");
  }
  const char* name = signal.getSelectionName();
  return name ? name : "none";
}

// "success", "error N", a signal as above, or the message in value notation.
inline std::string describe(const Ctl::Received& r) {
  if (r.is_signal()) return describe(r.message->get_pdu().get_signal());
  if (!r.is_response()) return r.text();
  const LGCP::Response& response = r.message->get_pdu().get_response();
  if (response.is_success()) return "success";
  return "error " + std::to_string(response.get_error().asInt());
}

// A simulated board, and the loop on the test clock.
class BoardTest : public AwakeLoopTest {
 protected:
  void SetUp() override {
    AwakeLoopTest::SetUp();
    ASSERT_TRUE(sim.ok());
  }
  // Runs one loop turn without waiting, after moving the clock by `ms`.
  static void turn(unsigned ms = 0) { advance(ms); }

  BoardSim sim;
};

// BoardTest with a control server and its controller.
class ServiceTest : public BoardTest {
 protected:
  void TearDown() override {
    controller.close();
    server.Deactivate();
    destroy();
    BoardTest::TearDown();
  }
  // Destroys what the test made, after the server let it go.
  virtual void destroy() = 0;

  // Binds `services`, in order, and connects the controller: each service hears OnConnect.
  void connect(std::initializer_list<CtrlSrv::Service*> services) {
    for (CtrlSrv::Service* s : services) server.Bind(s);
    auto* acceptor = new Control::AcceptorNetCheckConnection(0);
    ASSERT_TRUE(server.Activate(acceptor));
    port_ = acceptor->local_port();
    reconnect();
  }
  // A controller connects again after disconnect().
  void reconnect() {
    ASSERT_TRUE(controller.connect("127.0.0.1", port_, 2000)) << controller.error();
    turn();
    turn();
  }
  // The controller goes away: each service hears OnDisconnect.
  void disconnect() {
    controller.close();
    turn();
    turn();
  }
  // Sends `command` (value notation) and returns what the controller received meanwhile.
  Lines command(const std::string& text) {
    EXPECT_TRUE(controller.send(text)) << controller.error();
    return take();
  }
  // Everything the controller has received by now, after a loop turn that moved the clock by
  // `ms`.
  Lines take(unsigned ms = 0) {
    turn(ms);
    turn();
    Lines lines;
    Ctl::Received r;
    while (controller.receive(r, 0)) lines.push_back(describe(r));
    return lines;
  }

  CtrlSrv::Server server;
  Ctl::Controller controller;

 private:
  unsigned short port_ = 0;
};
