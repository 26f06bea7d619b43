// The control acceptor over TCP.
#include <gtest/gtest.h>

#include <memory>

#include "proto/acceptor_net.h"
#include "tests/proto/proto_testlib.h"

namespace {

using Strings = std::vector<std::string>;
using State = Control::Service::State;

class AcceptorTest : public TransportTest {
 protected:
  void TearDown() override {
    acceptor_.reset();
    TransportTest::TearDown();
  }
  void make(unsigned short port = 0) {
    acceptor_.reset(new Control::AcceptorNet(port));
    acceptor_->set_socket_calls(&calls_);
    acceptor_->Bind(&sink_);
  }
  void activate() {
    make();
    EXPECT_TRUE(acceptor_->Activate());
  }
  TcpPeer connect() { return TcpPeer::connect(acceptor_->local_port()); }
  TcpPeer attach_peer() {
    TcpPeer peer = connect();
    EXPECT_TRUE(peer.ok());
    turns();
    EXPECT_EQ(acceptor_->state(), State::Connected);
    EXPECT_EQ(sink_.take(), Strings{"connect"});
    return peer;
  }

  std::unique_ptr<Control::AcceptorNet> acceptor_;
};

TEST_F(AcceptorTest, ServesOnePeerFrameByFrameAndRefusesOthers) {
  activate();
  EXPECT_EQ(acceptor_->state(), State::Connecting);
  TcpPeer peer = attach_peer();
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

  TcpPeer other = connect();
  turns();
  EXPECT_TRUE(other.eof());
  EXPECT_EQ(logs_.err.take(), "refuse connection from " + other.address() + "\n");
  EXPECT_FALSE(peer.eof());
}

TEST_F(AcceptorTest, FramesAfterTheSinkDisconnectsAreDropped) {
  activate();
  TcpPeer peer = attach_peer();
  sink_.on_message = [this](const std::string&) { acceptor_->Disconnect(); };
  peer.send(tpkt("one") + tpkt("two"));
  turns(2);
  EXPECT_EQ(sink_.take(), (Strings{"message one", "disconnect"}));
  EXPECT_TRUE(peer.eof());
}

TEST_F(AcceptorTest, PeerArrivingAsTheOldConnectionEndsIsServed) {
  // The old connection's end and the newcomer reach the loop in the same turn.
  activate();
  for (bool peer_closes : {true, false}) {
    SCOPED_TRACE(peer_closes ? "the old peer closed" : "this end disconnected");
    TcpPeer first = attach_peer();
    if (peer_closes) {
      first = TcpPeer();
    } else {
      acceptor_->Disconnect();
      acceptor_->Disconnect();  // closes at once, reports once
      EXPECT_TRUE(first.eof());
    }
    TcpPeer second = connect();
    turns(3);
    EXPECT_EQ(sink_.take(), (Strings{"disconnect", "connect"}));
    EXPECT_EQ(acceptor_->state(), State::Connected);
    EXPECT_FALSE(second.eof());
    acceptor_->Send("x", 1);
    EXPECT_EQ(second.read(), tpkt("x"));
    EXPECT_EQ(logs_.err.take().find("refuse"), std::string::npos);
    acceptor_->Disconnect();
    turns();
    sink_.take();
    logs_.err.take();
  }
}

TEST_F(AcceptorTest, BusyAddressIsBoundAgainEveryFiveSeconds) {
  Fd busy(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ASSERT_EQ(::bind(busy.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(busy.get(), 1), 0);
  make(Control::LocalPort(busy));
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
  attach_peer();
}

TEST_F(AcceptorTest, DeactivateStopsListeningButKeepsThePeer) {
  activate();
  TcpPeer peer = attach_peer();
  acceptor_->Deactivate();
  EXPECT_EQ(acceptor_->state(), State::Idle);
  EXPECT_FALSE(connect().ok());
  EXPECT_FALSE(peer.eof());
  // When that connection ends the acceptor stays stopped.
  peer = TcpPeer();
  turns(2);
  EXPECT_EQ(sink_.take(), Strings{"disconnect"});
  EXPECT_EQ(acceptor_->state(), State::Idle);
  EXPECT_EQ(MultiplexerProbe::timer_count(), 0u);
}

using AcceptorNetTest = TransportTest;

TEST_F(AcceptorNetTest, SendKeepsEveryMessageWithinOneFrame) {
  Control::AcceptorNet acceptor(0);
  acceptor.Bind(&sink_);
  ASSERT_TRUE(acceptor.Activate());
  acceptor.Send("early", 5);
  EXPECT_EQ(logs_.err.take(),
            "Control::Service::Send() ignore Send request in Connecting state.\n");
  TcpPeer peer = TcpPeer::connect(acceptor.local_port());
  turns();

  struct Case {
    const char* name;
    int length;
    bool sent;
  } cases[] = {{"largest", 65531, true}, {"one too long", 65532, false},
               {"far too long", 70000, false}, {"negative", -1, false}};
  const std::string body(70000, 'm');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    advance(1000);  // past the interval of the refusal logged before
    acceptor.Send(body.data(), c.length);
    std::string got;
    for (int i = 0; i < 100 && got.size() < size_t(c.length > 0 ? c.length + 4 : 1); ++i)
      got += peer.read();
    EXPECT_EQ(got, c.sent ? tpkt(body.substr(0, c.length)) : "");
    EXPECT_EQ(logs_.err.take().find("refuse message of " + std::to_string(c.length)) !=
                  std::string::npos,
              !c.sent);
    EXPECT_EQ(acceptor.state(), State::Connected);
  }
}

// Refusals that peers can repeat at any rate: one line a second per kind, and the count owed
// when the series ends (a connection is attached, or ends).
TEST_F(AcceptorTest, RepeatedRefusalsAreLoggedOnceASecondPerKind) {
  activate();
  for (int i = 0; i < 5; ++i) acceptor_->Send("early", 5);
  const std::string ignored = "Control::Service::Send() ignore Send request in Connecting state.";
  EXPECT_EQ(logs_.err.take_lines(), Lines{ignored});
  TcpPeer peer = attach_peer();
  EXPECT_EQ(logs_.err.take_lines(), Lines{ignored + " (3 similar lines left out)"});

  const std::string body(70000, 'm');
  const std::string refused = "Control::Service::Send() refuse message of 70000 bytes: at most "
                              "65531 fit in a frame.";
  std::vector<TcpPeer> others;
  for (int i = 0; i < 3; ++i) {
    acceptor_->Send(body.data(), 70000);
    others.push_back(connect());
    turns();
    acceptor_->Send(body.data(), 70000);
  }
  EXPECT_EQ(logs_.err.take_lines(),
            (Lines{refused, "refuse connection from " + others[0].address()}));
  advance(1000);
  acceptor_->Send(body.data(), 70000);
  EXPECT_EQ(logs_.err.take_lines(), Lines{refused + " (5 similar lines left out)"});
  acceptor_->Send(body.data(), 70000);
  acceptor_->Send(body.data(), 70000);
  peer = TcpPeer();
  turns(2);
  EXPECT_EQ(logs_.err.take_lines(),
            (Lines{refused + " (1 similar lines left out)",
                   "control connection " + acceptor_->peer() + " closed.",
                   "refuse connection from " + others[2].address() + " (1 similar lines left out)"}));
  EXPECT_EQ(sink_.take(), Strings{"disconnect"});
}

TEST_F(AcceptorNetTest, OutOfDescriptorsOnAcceptBacksOff) {
  Control::AcceptorNet acceptor(0);
  acceptor.Bind(&sink_);
  acceptor.set_socket_calls(&calls_);
  ASSERT_TRUE(acceptor.Activate());
  TcpPeer peer = TcpPeer::connect(acceptor.local_port());
  calls_.accept_errno = EMFILE;
  turns(3);
  calls_.accept_errno = 0;
  EXPECT_EQ(calls_.accepts, 1u);
  EXPECT_EQ(logs_.err.take(), "can't accept connection: Too many open files  waiting...\n");
  advance(999);
  EXPECT_EQ(calls_.accepts, 1u);
  advance(1);
  turns();
  EXPECT_EQ(acceptor.state(), State::Connected);
  EXPECT_EQ(sink_.take(), Strings{"connect"});
}

}  // namespace
