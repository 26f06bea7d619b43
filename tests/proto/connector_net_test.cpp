// The TCP connector on loopback: connection, retry delays by failure kind, reconnection.
#include "proto/connector_net.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/transport_test.h"

namespace {

using Strings = std::vector<std::string>;
using State = Control::Service::State;
using Control::ConnectorNet;

class ConnectorTest : public TransportTest {
 protected:
  void TearDown() override {
    connector_.reset();
    TransportTest::TearDown();
  }
  void make(ConnectorNet* c) {
    connector_.reset(c);
    connector_->service_name("snmpagent.test");
    connector_->Bind(&sink_);
    connector_->set_socket_calls(&calls_);
  }
  // Runs turns until the attempt in flight has ended.
  void settle() { turns(2); }

  std::unique_ptr<ConnectorNet> connector_;
};

}  // namespace

TEST_F(ConnectorTest, FailedAttemptsAreRetriedQuicklySevenTimesThenByFailureKind) {
  LoopbackListener listener;
  struct Case {
    const char* name;
    unsigned short port;
    int connect_errno, pending;
    unsigned slow_ms;
    std::string failure;
  } cases[] = {
      {"connect fails at once", listener.port(), ENETUNREACH, -1, 20000,
       "can't connect to 127.0.0.1:" + std::to_string(listener.port()) +
           " : Network is unreachable\n"},
      {"refused while connecting", free_port(), 0, -1, 15000, ""},
      {"completes with an error", listener.port(), 0, ECONNREFUSED, 12000, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    calls_ = ScriptedCalls();
    calls_.connect_errno = c.connect_errno;
    calls_.pending = c.pending;
    make(new ConnectorNet("127.0.0.1", c.port));
    const std::string failure =
        c.failure.empty() ? "fail to connect to 127.0.0.1:" + std::to_string(c.port) + "\n"
                          : c.failure;
    EXPECT_TRUE(connector_->Activate());
    settle();
    EXPECT_EQ(calls_.connects, 1u);
    EXPECT_EQ(logs_.err.take(), failure);
    std::vector<unsigned> delays(7, 1000);
    delays.push_back(c.slow_ms);
    delays.push_back(c.slow_ms);
    for (unsigned attempt = 2; attempt <= 10; ++attempt) {
      const unsigned delay = delays[attempt - 2];
      advance(delay - 1);
      EXPECT_EQ(calls_.connects, attempt - 1) << attempt;
      advance(1);
      settle();
      EXPECT_EQ(calls_.connects, attempt) << attempt;
      EXPECT_EQ(logs_.err.take(), failure) << attempt;
      EXPECT_EQ(connector_->state(), State::Connecting);
    }
    EXPECT_TRUE(sink_.take().empty());
    connector_->Deactivate();
    while (listener.accept()) {
    }
  }
}

TEST_F(ConnectorTest, LostConnectionIsReestablishedTenSecondsLater) {
  LoopbackListener listener;
  make(new ConnectorNet("127.0.0.1", listener.port()));
  connector_->Activate();
  settle();
  TcpPeer agent(listener.accept());
  agent = TcpPeer();
  turns(2);
  EXPECT_EQ(sink_.take(), (Strings{"connect", "disconnect"}));
  EXPECT_EQ(connector_->state(), State::Connecting);
  advance(9999);
  EXPECT_EQ(calls_.connects, 1u);
  // The attempt fails: the quick retries of the start are still there.
  calls_.connect_errno = ECONNREFUSED;
  advance(1);
  EXPECT_EQ(calls_.connects, 2u);
  calls_.connect_errno = 0;
  advance(1000);
  settle();
  EXPECT_EQ(calls_.connects, 3u);
  EXPECT_EQ(connector_->state(), State::Connected);
  EXPECT_EQ(sink_.take(), Strings{"connect"});
}

TEST_F(ConnectorTest, DisconnectReconnectsDeactivateDoesNot) {
  LoopbackListener listener;
  make(new ConnectorNet("127.0.0.1", listener.port()));
  connector_->Activate();
  settle();
  TcpPeer agent(listener.accept());
  connector_->Disconnect();
  EXPECT_TRUE(agent.eof());
  turns();
  EXPECT_EQ(sink_.take(), (Strings{"connect", "disconnect"}));
  advance(10000);
  settle();
  EXPECT_EQ(connector_->state(), State::Connected);
  EXPECT_EQ(sink_.take(), Strings{"connect"});

  agent = TcpPeer(listener.accept());
  connector_->Deactivate();
  EXPECT_EQ(connector_->state(), State::Idle);
  EXPECT_TRUE(agent.eof());
  EXPECT_EQ(MultiplexerProbe::timer_count(), 0u);
  EXPECT_TRUE(sink_.take().empty());
}

TEST_F(ConnectorTest, AttachedConnectionCancelsAPendingRetry) {
  LoopbackListener listener;
  make(new ConnectorNet("127.0.0.1", listener.port()));
  connector_->Activate();
  // Disconnect while the attempt is in flight schedules a reconnection...
  connector_->Disconnect();
  settle();
  // ...which the completed attempt makes pointless.
  EXPECT_EQ(connector_->state(), State::Connected);
  advance(10000);
  settle();
  EXPECT_EQ(calls_.connects, 1u);
  EXPECT_EQ(connector_->state(), State::Connected);
  EXPECT_TRUE(listener.accept());
  EXPECT_FALSE(listener.accept());
}

