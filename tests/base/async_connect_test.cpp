#include "base/async_connect.h"

#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/loop_test.h"
#include "tests/support/loopback.h"

namespace {

using Probe = MultiplexerProbe;
using Status = ASync::Connect::Status;

std::string address(const LoopbackListener& l) { return "127.0.0.1:" + std::to_string(l.port()); }

// A listener whose accept queue is full: it drops further connection requests unanswered.
struct FullListener : LoopbackListener {
  FullListener() : LoopbackListener(0), first(connect_loopback(port())) {}
  Fd first;
};

class AsyncConnect : public AwakeLoopTest {
 protected:
  void TearDown() override {
    connect_.reset();
    AwakeLoopTest::TearDown();
  }
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
};

TEST_F(AsyncConnect, ConnectsAndHandsOverTheSocket) {
  LoopbackListener listener(4);
  ASync::Connect& c = make();
  c.Start(address(listener), 5000);
  settle(10);
  ASSERT_EQ(results_, std::vector<Status::Type>{Status::Connected});
  ASSERT_TRUE(fd_);
  Fd peer = listener.accept();
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
  std::string refused = "127.0.0.1:" + std::to_string(free_port());
  // Every address below names the listener's port: none may reach it.
  LoopbackListener listener(4);
  const std::string port = std::to_string(listener.port());
  const Case cases[] = {
      {"NothingListens", refused, false},
      {"NotAnAddress", "nonsense:" + port, true},
      {"NoPort", "127.0.0.1", true},
      {"PortOutOfRange", "127.0.0.1:70000", true},
      {"AnyAddress", "0.0.0.0:" + port, true},
      {"TextAfterPort", "127.0.0.1:" + port + "abc", true},
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
    pollfd pending{listener.fd().get(), POLLIN, 0};
    EXPECT_EQ(::poll(&pending, 1, 0), 0) << "the listener was reached";
  }
}

TEST_F(AsyncConnect, NoAnswerTimesOut) {
  FullListener full;

  ASync::Connect& c = make();
  c.Start(address(full), 3000);
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
  c.Start(address(full), 3000);
  ASSERT_EQ(c.status(), Status::Connecting);
  c.Stop();
  EXPECT_EQ(results_, std::vector<Status::Type>{Status::Stopped});
  c.Stop();
  EXPECT_EQ(results_.size(), 1u);

  // Destroying a connect in progress calls nobody and leaves nothing on the loop.
  make().Start(address(full), 3000);
  ASSERT_EQ(connect_->status(), Status::Connecting);
  connect_.reset();
  EXPECT_EQ(results_.size(), 1u);
}

}  // namespace
