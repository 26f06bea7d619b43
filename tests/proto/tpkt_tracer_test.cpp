#include "proto/tpkt_tracer.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/transport_test.h"

namespace {

using Strings = std::vector<std::string>;

class Bodies : public TPKTTracer::Receiver {
 public:
  Strings got;
  std::function<void(const std::string&)> reply;
  void OnMessage(const char* data, unsigned length) override {
    got.emplace_back(data, length);
    if (reply) reply(got.back());
  }
};

class TracerTest : public TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    tracer_.reset(new TPKTTracer);
    tracer_->set_receiver(&bodies_);
    ASSERT_TRUE(tracer_->Listen(0));
  }
  void TearDown() override {
    tracer_.reset();
    TransportTest::TearDown();
  }
  TcpPeer client() {
    TcpPeer c = TcpPeer::connect(tracer_->local_port());
    turns();
    EXPECT_EQ(logs_.log.take(), "ACP connection open from " + c.address() + "\n");
    return c;
  }

  Bodies bodies_;
  std::unique_ptr<TPKTTracer> tracer_;
};

}  // namespace

TEST_F(TracerTest, SendFromOutsideReachesEveryClient) {
  TcpPeer a = client(), b = client(), c = client();
  EXPECT_EQ(tracer_->connection_count(), 3u);
  tracer_->Send("trace", 5);
  EXPECT_EQ(a.read(), tpkt("trace"));
  EXPECT_EQ(b.read(), tpkt("trace"));
  // A client that leaves is forgotten.
  c = TcpPeer();
  turns();
  EXPECT_EQ(tracer_->connection_count(), 2u);
}

TEST_F(TracerTest, FramesFromAClient) {
  const std::string largest(512, 'L');
  struct Case {
    const char* name;
    Strings pieces;
    Strings bodies;
    bool closed;
  } cases[] = {
      {"empty frame delivers nothing", {tpkt("") + tpkt("x")}, {"x"}, false},
      {"largest body", {tpkt(largest)}, {largest}, false},
      {"body one too long", {tpkt(largest + "L")}, {}, true},
      {"bad reserved byte", {std::string("\x03\x01\x00\x05x", 5)}, {}, true},
      {"body in pieces, delivered once", {"\x03", std::string("\x00\x00\x09", 3) + "ab", "cd", "e"},
       {"abcde"}, false},
      {"two frames in one piece", {tpkt("one") + tpkt("two")}, {"one", "two"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TcpPeer peer = client();
    bodies_.got.clear();
    for (const std::string& piece : c.pieces) {
      peer.send(piece);
      turns();
    }
    EXPECT_EQ(bodies_.got, c.bodies);
    EXPECT_EQ(peer.eof(), c.closed);
    EXPECT_EQ(tracer_->connection_count(), c.closed ? 0u : 1u);
  }
}

TEST_F(TracerTest, ReplyFromTheReceiverGoesOnlyToTheSender) {
  TcpPeer a = client(), b = client();
  bodies_.reply = [this](const std::string& body) {
    const std::string r = "re:" + body;
    tracer_->Send(r.data(), unsigned(r.size()));
  };
  b.send(tpkt("q1") + tpkt("q2"));
  turns();
  EXPECT_EQ(b.read(), tpkt("re:q1") + tpkt("re:q2"));
  EXPECT_EQ(a.read(), "");
}

TEST_F(TracerTest, MessageTooLongForTheLengthFieldIsRefused) {
  TcpPeer a = client();
  const std::string big(65532, 'b');
  tracer_->Send(big.data(), unsigned(big.size()));
  EXPECT_EQ(a.read(), "");
  EXPECT_NE(logs_.err.take().find("65532"), std::string::npos);
  EXPECT_EQ(tracer_->connection_count(), 1u);
}
