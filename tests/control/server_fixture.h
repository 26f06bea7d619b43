// The control server on a real acceptor, driven by loop turns on the test clock, with a
// loopback controller and scripted services.
#pragma once

#include <gtest/gtest.h>

#include "control/ctrl_server.h"
#include "proto/acceptor_check.h"
#include "tests/support/lgcp_test.h"
#include "tests/support/transport_test.h"

using Script = TestService::OnCommandScript;

class CtrlServerTest : public TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    bind();
  }
  void TearDown() override {
    peer_ = TcpPeer();
    server_.Deactivate();
    TransportTest::TearDown();
  }

  // Binds the services of the test; a and b unless a test says otherwise.
  virtual void bind() {
    server_.Bind(&a_);
    server_.Bind(&b_);
  }
  // Starts listening (once) and attaches a controller.
  void connect() {
    if (port_ == 0) {
      auto* acceptor = new Control::AcceptorNetCheckConnection(0, true);
      ASSERT_TRUE(server_.Activate(acceptor));
      port_ = acceptor->local_port();
    }
    peer_ = TcpPeer::connect(port_);
    ASSERT_TRUE(peer_.ok());
    turns(2);
    bool up = false;
    ASSERT_TRUE(server_.CheckServerConnection(up));
    ASSERT_TRUE(up);
    log_.clear();
  }
  // Sends one frame with `payload_hex` and returns the payloads that come back.
  std::vector<std::string> exchange(const std::string& payload_hex) {
    peer_.send(tpkt(bytes_of(payload_hex)));
    turns(2);
    return frames(peer_.read());
  }

  std::vector<std::string> log_;
  TestService a_{"a", &log_};
  TestService b_{"b", &log_};
  TestService c_{"c", &log_};
  CtrlSrv::Server server_;
  TcpPeer peer_;
  unsigned short port_ = 0;
};

