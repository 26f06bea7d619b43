#include "base/async_connect.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
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
  void OnConnect(Status::Type s, Fd) { results_.push_back(s); }
  ASync::Connect& make() {
    connect_.reset(new ASync::Connect);
    connect_->Bind(new ASync::Connect::THandler<AsyncConnect>(&AsyncConnect::OnConnect, this));
    return *connect_;
  }
  std::unique_ptr<ASync::Connect> connect_;
  std::vector<Status::Type> results_;
};

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
