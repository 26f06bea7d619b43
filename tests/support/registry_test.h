// The slot registry bound to the daemon's control server on a real acceptor, a loopback
// controller, and an observer service bound after it that writes down every signal it is shown
// in value notation. The wait of a controller disconnect is counted, not slept.
#pragma once

#include <gtest/gtest.h>
#include <netinet/tcp.h>

#include "proto/acceptor_check.h"
#include "control/ctrl_server.h"
#include "slotbase/slots.h"
#include "tests/support/lgcp_test.h"
#include "tests/support/transport_test.h"
#include "tests/support/test_slot.h"

// The payloads, in hex, of messages in value notation.
inline std::vector<std::string> wires(const std::vector<std::string>& messages) {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(wire(m));
  return out;
}

class RegistryTest : public TransportTest {
 protected:
  static void SetUpTestSuite() {
    static bool bound = false;
    if (bound) return;
    bound = true;
    ctrlServer.Bind(&Slots::instance());
    ctrlServer.Bind(&observer());
    observer().on_signal = [](TestService&, const LGCP::Signal& s) {
      signals().push_back(text_of(s));
    };
  }
  void SetUp() override {
    TransportTest::SetUp();
    waits() = 0;
    Slots::instance().SetDisconnectWait([] { ++waits(); });
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, true);
    ASSERT_TRUE(ctrlServer.Activate(acceptor));
    peer_ = TcpPeer::connect(acceptor->local_port());
    ASSERT_TRUE(peer_.ok());
    // A command without a response must not hold the next one back (Nagle against delayed ACK).
    const int one = 1;
    ::setsockopt(peer_.fd().get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    turns(2);
    signals().clear();
  }
  void TearDown() override {
    peer_ = TcpPeer();
    ctrlServer.Deactivate();
    EXPECT_TRUE(Slots::instance().GetLive().empty());
    TransportTest::TearDown();
  }

  // Sends each message (value notation) as one frame; the payloads that come back, in hex.
  std::vector<std::string> exchange(const std::vector<std::string>& messages) {
    for (const auto& m : messages) peer_.send(tpkt(bytes_of(wire(m))));
    turns(2);
    return frames(peer_.read());
  }
  std::vector<std::string> exchange(const std::string& message) {
    return exchange(std::vector<std::string>{message});
  }

  static TestService& observer() {
    static std::vector<std::string> log;
    static TestService o("observer", &log);
    return o;
  }
  static std::vector<std::string>& signals() {
    static std::vector<std::string> s;
    return s;
  }
  static int& waits() {
    static int n = 0;
    return n;
  }

  ChainGuard chain_;
  TcpPeer peer_;
};
