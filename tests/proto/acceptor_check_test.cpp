// The controller's acceptor: connection checks, refusals and the congestion watch on loopback,
// with the TCP_INFO and SO_ERROR answers scripted where loopback cannot produce them.
#include "proto/acceptor_check.h"

#include <gtest/gtest.h>
#include <netinet/tcp.h>

#include <memory>

#include "tests/support/transport_test.h"

namespace {

using Strings = std::vector<std::string>;
using State = Control::Service::State;
using CheckState = Control::AcceptorNetCheckConnection::CheckState;

class CheckingAcceptor : public Control::AcceptorNetCheckConnection {
 public:
  using AcceptorNetCheckConnection::AcceptorNetCheckConnection;
  using Service::socket;
  int keepalive_idle() const {
    int v = -1;
    socklen_t len = sizeof v;
    ::getsockopt(socket().get(), IPPROTO_TCP, TCP_KEEPIDLE, &v, &len);
    return v;
  }
};

class CheckTest : public TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    acceptor_.reset(new CheckingAcceptor(0, true));
    acceptor_->Bind(&sink_);
    acceptor_->set_socket_calls(&calls_);
  }
  void TearDown() override {
    acceptor_.reset();
    TransportTest::TearDown();
  }
  unsigned short activate() {
    EXPECT_TRUE(acceptor_->Activate());
    return acceptor_->local_port();
  }
  TcpPeer attach_peer(unsigned short port) {
    TcpPeer peer = TcpPeer::connect(port);
    turns();
    EXPECT_EQ(acceptor_->state(), State::Connected);
    EXPECT_EQ(sink_.take(), Strings{"connect"});
    logs_.out.take();
    return peer;
  }
  // A second controller, refused.
  TcpPeer refused_peer(unsigned short port) {
    TcpPeer peer = TcpPeer::connect(port);
    turns();
    EXPECT_TRUE(peer.eof());
    return peer;
  }

  std::unique_ptr<CheckingAcceptor> acceptor_;
};

}  // namespace

// Each case attaches a new controller: a dropped connection makes room for the next one.
TEST_F(CheckTest, FailedChecksDropTheConnectionAndThePeerSeesItClosed) {
  struct Case {
    const char* name;
    bool refuse;
    int tcp_state, ca_state, pending;
    int checks;  // the check that drops it; 0: none of five
    std::string reason;
  } cases[] = {
      {"pending error", false, -1, -1, ECONNRESET, 1, "Connection reset by peer"},
      {"pending error while watched", true, -1, 4, ETIMEDOUT, 1, "Connection timed out"},
      {"closed by a reset", false, 7 /* CLOSE */, -1, -1, 1, "tcp socket change state."},
      {"not established", false, 4 /* FIN_WAIT1 */, -1, -1, 1, "tcp socket change state."},
      // The peer has only finished sending: it still reads its answers.
      {"half-closed by the peer", false, 8 /* CLOSE_WAIT */, -1, -1, 0, ""},
      {"congested twice after a refusal", true, -1, 4 /* Loss */, -1, 2,
       "tcp socket change ca_state."},
      {"congested without a refusal", false, -1, 4, -1, 0, ""},
  };
  const unsigned short port = activate();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TcpPeer peer = attach_peer(port);
    std::string expect_log;
    if (c.refuse) {
      TcpPeer other = refused_peer(port);
      expect_log = "refuse connection from " + other.address() +
                   "\nCheckConnectionState CheckConnection\n";
      EXPECT_EQ(acceptor_->check_state(), CheckState::CheckConnection);
      EXPECT_EQ(acceptor_->keepalive_idle(), 1);
    }
    calls_.tcp_state = c.tcp_state;
    calls_.ca_state = c.ca_state;
    calls_.pending = c.pending;
    for (int check = 1; check <= (c.checks ? c.checks : 5); ++check) {
      EXPECT_FALSE(peer.eof()) << check;
      advance(1000);
    }
    calls_ = ScriptedCalls();
    if (c.checks == 0) {
      EXPECT_FALSE(peer.eof());
      EXPECT_EQ(logs_.err.take(), expect_log);
      acceptor_->Disconnect();
      logs_.err.take();
    } else {
      EXPECT_TRUE(peer.eof());
      EXPECT_EQ(logs_.err.take(), expect_log + "connection from " + peer.address() +
                                      " closed: " + c.reason + "\ncontrol connection " +
                                      peer.address() + " closed.\nCheckConnectionState Idle\n");
      EXPECT_EQ(acceptor_->check_state(), CheckState::Idle);
    }
    turns();
    EXPECT_EQ(sink_.take(), Strings{"disconnect"});
  }
}

TEST_F(CheckTest, OpenCongestionStateEndsTheWatch) {
  const unsigned short port = activate();
  TcpPeer peer = attach_peer(port);
  TcpPeer other = refused_peer(port);
  logs_.err.take();
  calls_.ca_state = 0;
  advance(1000);
  EXPECT_EQ(logs_.err.take(), "CheckConnectionState Idle\n");
  EXPECT_EQ(acceptor_->check_state(), CheckState::Idle);
  EXPECT_EQ(acceptor_->keepalive_idle(), 7200);
  // The refused controller stays refused; a new refusal starts a new watch.
  TcpPeer again = refused_peer(port);
  EXPECT_EQ(logs_.err.take(), "refuse connection from " + again.address() +
                                  "\nCheckConnectionState CheckConnection\n");
  EXPECT_FALSE(peer.eof());
}

TEST_F(CheckTest, SocketCreationIsRetriedEveryFiveSeconds) {
  calls_.socket_errno = EMFILE;
  EXPECT_TRUE(acceptor_->Activate());
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  EXPECT_EQ(logs_.err.take(), "can't create socket:Too many open files\n");
  advance(4999);
  EXPECT_EQ(logs_.err.take(), "");
  advance(1);
  EXPECT_EQ(logs_.err.take(), "can't create socket:Too many open files\n");
  calls_.socket_errno = 0;
  advance(5000);
  EXPECT_EQ(logs_.err.take(), "");
  ASSERT_NE(acceptor_->local_port(), 0);
  attach_peer(acceptor_->local_port());
}
