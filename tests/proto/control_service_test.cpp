// The control connection service, driven through the plain TCP acceptor on loopback.
#include <gtest/gtest.h>

#include <memory>

#include "proto/acceptor_net.h"
#include "tests/support/transport_test.h"

namespace {

using Strings = std::vector<std::string>;
using State = Control::Service::State;

class AcceptorTest : public TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    make_acceptor(0);
  }
  void TearDown() override {
    acceptor_.reset();
    TransportTest::TearDown();
  }
  void make_acceptor(unsigned short port) {
    acceptor_.reset(new Control::AcceptorNet(port));
    acceptor_->service_name("server");
    acceptor_->Bind(&sink_);
    acceptor_->set_socket_calls(&calls_);
  }
  unsigned short activate() {
    EXPECT_TRUE(acceptor_->Activate());
    return acceptor_->local_port();
  }
  // A controller connected and attached.
  TcpPeer attach_peer(unsigned short port) {
    TcpPeer peer = TcpPeer::connect(port);
    EXPECT_TRUE(peer.ok());
    turns();
    EXPECT_EQ(acceptor_->state(), State::Connected);
    EXPECT_EQ(sink_.take(), Strings{"connect"});
    return peer;
  }

  std::unique_ptr<Control::AcceptorNet> acceptor_;
};

}  // namespace

TEST_F(AcceptorTest, ServesOnePeerFrameByFrame) {
  unsigned short port = activate();
  ASSERT_NE(port, 0);
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  TcpPeer peer = attach_peer(port);
  EXPECT_EQ(logs_.out.take(), "new connection from " + peer.address() + "\n");
  EXPECT_EQ(acceptor_->peer(), peer.address());

  // Two frames, the second split over two reads.
  const std::string second = tpkt("second");
  peer.send(tpkt("first") + second.substr(0, 5));
  turns();
  peer.send(second.substr(5));
  turns();
  EXPECT_EQ(sink_.take(), (Strings{"message first", "message second"}));

  acceptor_->Send("reply", 5);
  acceptor_->Send(nullptr, 0);
  EXPECT_EQ(peer.read(), tpkt("reply") + tpkt(""));
  EXPECT_EQ(logs_.err.take(), "");
}

TEST_F(AcceptorTest, SendKeepsEveryMessageWithinOneFrame) {
  unsigned short port = activate();
  acceptor_->Send("early", 5);
  EXPECT_EQ(logs_.err.take(),
            "Control::Service::Send() ignore Send request in Connecting state.\n");
  TcpPeer peer = attach_peer(port);

  struct Case {
    const char* name;
    int length;
    bool sent;
  } cases[] = {{"largest", 65531, true}, {"one too long", 65532, false},
               {"far too long", 70000, false}, {"negative", -1, false}};
  const std::string body(70000, 'm');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    acceptor_->Send(body.data(), c.length);
    std::string got;
    for (int i = 0; i < 100 && got.size() < size_t(c.length > 0 ? c.length + 4 : 1); ++i)
      got += peer.read();
    if (c.sent) {
      EXPECT_EQ(got, tpkt(body.substr(0, c.length)));
      EXPECT_EQ(got.substr(0, 4), std::string("\x03\x00\xFF\xFF", 4));
      EXPECT_EQ(logs_.err.take(), "");
    } else {
      EXPECT_EQ(got, "");
      EXPECT_NE(logs_.err.take().find("refuse message of " + std::to_string(c.length)),
                std::string::npos);
    }
    EXPECT_EQ(acceptor_->state(), State::Connected);
  }
  acceptor_->Send("still", 5);
  EXPECT_EQ(peer.read(), tpkt("still"));
}

TEST_F(AcceptorTest, PeerClosingEndsTheConnectionThenTheNextOneIsServed) {
  unsigned short port = activate();
  TcpPeer first = attach_peer(port);
  const std::string first_address = first.address();
  first = TcpPeer();
  turns();
  EXPECT_EQ(logs_.err.take(), "control connection " + first_address + " closed.\n");
  // The sink hears of it from the deferred call of the next turn; meanwhile Send is silent.
  EXPECT_EQ(acceptor_->state(), State::Deactivating);
  EXPECT_TRUE(sink_.heard.empty());
  acceptor_->Send("lost", 4);
  EXPECT_EQ(logs_.err.take(), "");
  turns();
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  EXPECT_EQ(sink_.take(), Strings{"disconnect"});
  EXPECT_EQ(acceptor_->peer(), first_address);

  TcpPeer second = attach_peer(port);
  acceptor_->Send("hi", 2);
  EXPECT_EQ(second.read(), tpkt("hi"));
}

TEST_F(AcceptorTest, DisconnectClosesAtOnceAndReportsOnce) {
  // Before any peer: the log names an empty peer, and the deferred disconnect runs all the same.
  unsigned short port = activate();
  acceptor_->Disconnect();
  EXPECT_EQ(logs_.err.take(), "control connection  closed.\n");
  turns();
  EXPECT_EQ(sink_.take(), Strings{"disconnect"});
  EXPECT_EQ(acceptor_->state(), State::Connecting);

  TcpPeer peer = attach_peer(port);
  acceptor_->Disconnect();
  acceptor_->Disconnect();
  EXPECT_TRUE(peer.eof());
  EXPECT_EQ(logs_.err.take(), "control connection " + peer.address() + " closed.\n");
  turns(3);
  EXPECT_EQ(sink_.take(), Strings{"disconnect"});
  EXPECT_EQ(acceptor_->state(), State::Connecting);
}

TEST_F(AcceptorTest, FramesAfterTheSinkDisconnectsAreDropped) {
  unsigned short port = activate();
  TcpPeer peer = attach_peer(port);
  sink_.on_message = [this](const std::string&) { acceptor_->Disconnect(); };
  peer.send(tpkt("one") + tpkt("two"));
  turns(2);
  EXPECT_EQ(sink_.take(), (Strings{"message one", "disconnect"}));
  EXPECT_TRUE(peer.eof());
}

TEST_F(AcceptorTest, WithoutSinkTheStateMachineRunsAlone) {
  acceptor_->UnBind();
  unsigned short port = activate();
  TcpPeer peer = TcpPeer::connect(port);
  turns();
  EXPECT_EQ(acceptor_->state(), State::Connected);
  peer.send(tpkt("dropped"));
  turns();
  peer = TcpPeer();
  turns(2);
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  EXPECT_TRUE(sink_.heard.empty());
}

TEST_F(AcceptorTest, FurtherPeersAreRefusedWhileOneIsAttached) {
  unsigned short port = activate();
  TcpPeer first = attach_peer(port);
  logs_.out.take();
  TcpPeer second = TcpPeer::connect(port);
  turns();
  EXPECT_TRUE(second.eof());
  EXPECT_EQ(logs_.err.take(), "refuse connection from " + second.address() + "\n");
  acceptor_->Send("x", 1);
  EXPECT_EQ(first.read(), tpkt("x"));
  EXPECT_FALSE(first.eof());
}

TEST_F(AcceptorTest, PeerArrivingWhileTheOldConnectionEndsIsClosed) {
  unsigned short port = activate();
  TcpPeer first = attach_peer(port);
  acceptor_->Disconnect();
  // The next peer is accepted in the same turn, before the deferred call has run.
  TcpPeer second = TcpPeer::connect(port);
  MultiplexerProbe::poll_now();
  EXPECT_EQ(acceptor_->state(), State::Deactivating);
  EXPECT_TRUE(second.eof());
  turns();
  EXPECT_EQ(sink_.take(), Strings{"disconnect"});
  TcpPeer third = attach_peer(port);
}

TEST_F(AcceptorTest, PortInUseIsBoundAgainEveryFiveSeconds) {
  Fd busy(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ASSERT_EQ(::bind(busy.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(busy.get(), 1), 0);
  const unsigned short port = Control::LocalPort(busy);
  make_acceptor(port);
  EXPECT_TRUE(acceptor_->Activate());
  const std::string line = "can't bind to socket: \"Address already in use\"  waiting...\n";
  EXPECT_EQ(logs_.err.take(), line);
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  advance(4999);
  EXPECT_EQ(logs_.err.take(), "");
  advance(1);
  EXPECT_EQ(logs_.err.take(), line);
  busy.close();
  advance(5000);
  EXPECT_EQ(logs_.err.take(), "");
  EXPECT_EQ(acceptor_->local_port(), port);
  TcpPeer peer = attach_peer(port);
}

TEST_F(AcceptorTest, DeactivateStopsListeningButKeepsThePeer) {
  unsigned short port = activate();
  TcpPeer peer = attach_peer(port);
  acceptor_->Deactivate();
  EXPECT_EQ(acceptor_->state(), State::Idle);
  EXPECT_FALSE(TcpPeer::connect(port).ok());
  EXPECT_FALSE(peer.eof());
  // When that connection ends the acceptor stays stopped.
  peer = TcpPeer();
  turns(2);
  EXPECT_EQ(sink_.take(), Strings{"disconnect"});
  EXPECT_EQ(acceptor_->state(), State::Idle);
}

TEST_F(AcceptorTest, ActivateAgainRestartsTheListener) {
  activate();
  EXPECT_TRUE(acceptor_->Activate());
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  attach_peer(acceptor_->local_port());
}

TEST_F(AcceptorTest, NoSocketLeavesThePlainAcceptorIdle) {
  calls_.socket_errno = EMFILE;
  EXPECT_FALSE(acceptor_->Activate());
  calls_.socket_errno = 0;
  EXPECT_EQ(acceptor_->state(), State::Idle);
  EXPECT_EQ(logs_.err.take(), "can't create socket:Too many open files\n");
  EXPECT_EQ(MultiplexerProbe::timer_count(), 0u);  // nothing retries
}

TEST_F(AcceptorTest, OutOfDescriptorsOnAcceptBacksOff) {
  unsigned short port = activate();
  TcpPeer peer = TcpPeer::connect(port);
  calls_.accept_errno = EMFILE;
  turns(3);
  calls_.accept_errno = 0;
  EXPECT_EQ(calls_.accepts, 1u);
  EXPECT_EQ(logs_.err.take(), "can't accept connection: Too many open files  waiting...\n");
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  advance(999);
  EXPECT_EQ(calls_.accepts, 1u);
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  advance(1);
  turns();
  EXPECT_EQ(acceptor_->state(), State::Connected);
  EXPECT_EQ(sink_.take(), Strings{"connect"});
}
