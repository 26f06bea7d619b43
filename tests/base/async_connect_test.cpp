#include "base/async_connect.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "tests/support/loop_test.h"

namespace {

using Probe = MultiplexerProbe;
using Status = ASync::Connect::Status;

// A TCP listener on 127.0.0.1 and an ephemeral port.
struct Listener {
  explicit Listener(int backlog) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd.get(), backlog), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    address = "127.0.0.1:" + std::to_string(port);
  }
  Fd fd;
  int port = 0;
  std::string address;
};

// A listener whose accept queue is full: it drops further connection requests unanswered.
struct FullListener : Listener {
  FullListener() : Listener(0), first(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    EXPECT_EQ(::connect(first.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  Fd first;
};

class AsyncConnect : public LoopTest {
 protected:
  // The loop refuses a turn with nothing to wait for: a far timer keeps it going.
  void SetUp() override {
    LoopTest::SetUp();
    keepalive_.set(1000000, &AsyncConnect::Never, this);
  }
  void TearDown() override {
    connect_.reset();
    keepalive_.reset();
    LoopTest::TearDown();
  }
  void Never() {}
  void OnConnect(Status::Type s, Fd fd) {
    results_.push_back(s);
    fd_ = std::move(fd);
  }
  ASync::Connect& make() {
    connect_.reset(new ASync::Connect);
    connect_->Bind(new ASync::Connect::THandler<AsyncConnect>(&AsyncConnect::OnConnect, this));
    return *connect_;
  }
  // Turns the loop until the connect has ended (at most n turns).
  void settle(int n) {
    for (int i = 0; i < n && results_.empty(); ++i) Probe::turn();
  }

  std::unique_ptr<ASync::Connect> connect_;
  std::vector<Status::Type> results_;
  Fd fd_;
  Timer keepalive_;
};

TEST_F(AsyncConnect, ConnectsAndHandsOverTheSocket) {
  Listener listener(4);
  ASync::Connect& c = make();
  c.Start(listener.address, 5000);
  settle(10);
  ASSERT_EQ(results_, std::vector<Status::Type>{Status::Connected});
  ASSERT_TRUE(fd_);
  Fd peer(::accept(listener.fd.get(), nullptr, nullptr));
  ASSERT_TRUE(peer);
  ASSERT_EQ(::write(fd_.get(), "hi", 2), 2);
  char buf[2];
  EXPECT_EQ(::read(peer.get(), buf, 2), 2);
  // The Connect kept nothing: closing the handler's socket ends the connection.
  fd_.close();
  EXPECT_EQ(::read(peer.get(), buf, 2), 0);
  c.Stop();
  EXPECT_EQ(results_.size(), 1u);
}

TEST_F(AsyncConnect, FailuresReportStatus2) {
  struct Case {
    const char* name;
    std::string address;
    bool at_once;  // refused inside Start, before any connection attempt
  };
  Listener closed(1);
  std::string refused = closed.address;
  closed.fd.close();
  // Every address below names the listener's port: none may reach it.
  Listener listener(4);
  const std::string port = std::to_string(listener.port);
  const Case cases[] = {
      {"NothingListens", refused, false},
      {"NotAnAddress", "nonsense:" + port, true},
      {"NoPort", "127.0.0.1", true},
      {"Empty", "", true},
      {"PortOutOfRange", "127.0.0.1:70000", true},
      {"NegativePort", "127.0.0.1:-1", true},
      {"PortZero", "127.0.0.1:0", true},
      {"ShortZero", "0:" + port, true},
      {"AnyAddress", "0.0.0.0:" + port, true},
      {"ShortLoopback", "127.1:" + port, true},
      {"TextAfterPort", "127.0.0.1:" + port + "abc", true},
      {"BlankBeforePort", "127.0.0.1: " + port, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    results_.clear();
    make().Start(c.address, 5000);
    if (c.at_once) {
      EXPECT_EQ(results_, std::vector<Status::Type>{Status::Failed});
    }
    settle(10);
    EXPECT_EQ(results_, std::vector<Status::Type>{Status::Failed});
    EXPECT_FALSE(fd_);
    pollfd pending{listener.fd.get(), POLLIN, 0};
    EXPECT_EQ(::poll(&pending, 1, 0), 0) << "the listener was reached";
  }
}

TEST_F(AsyncConnect, NoAnswerTimesOut) {
  FullListener full;

  ASync::Connect& c = make();
  c.Start(full.address, 3000);
  EXPECT_EQ(c.status(), Status::Connecting);
  EXPECT_EQ(Probe::turn(), 3000);
  Mux::TestClock::advance_ms(2999);
  Probe::turn();
  EXPECT_TRUE(results_.empty());
  Mux::TestClock::advance_ms(1);
  Probe::turn();
  EXPECT_EQ(results_, std::vector<Status::Type>{Status::Failed});
  EXPECT_EQ(c.status(), Status::Failed);
}

TEST_F(AsyncConnect, StopAndDestroy) {
  FullListener full;

  ASync::Connect& c = make();
  c.Start(full.address, 3000);
  ASSERT_EQ(c.status(), Status::Connecting);
  c.Stop();
  EXPECT_EQ(results_, std::vector<Status::Type>{Status::Stopped});
  c.Stop();
  EXPECT_EQ(results_.size(), 1u);

  // Destroying a connect in progress calls nobody and leaves nothing on the loop.
  make().Start(full.address, 3000);
  ASSERT_EQ(connect_->status(), Status::Connecting);
  connect_.reset();
  EXPECT_EQ(results_.size(), 1u);
}

}  // namespace
