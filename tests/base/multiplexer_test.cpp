#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "base/dpc.h"
#include "base/event.h"
#include "base/timer.h"
#include "base/timer_pool_plugin.h"
#include "tests/support/loop_test.h"

namespace {

using Probe = MultiplexerProbe;
using LoopDispatch = LoopTest;

struct Pipe {
  Pipe() {
    int p[2];
    EXPECT_EQ(::pipe2(p, O_CLOEXEC | O_NONBLOCK), 0);
    r = Fd(p[0]);
    w = Fd(p[1]);
  }
  void fill() { EXPECT_EQ(::write(w.get(), "x", 1), 1); }
  Fd r, w;
};

// An Event owner that logs each call into a shared trace and may act on the loop.
struct Watcher {
  Watcher(std::string* trace, char name, const Fd& fd, short events = POLLIN)
      : trace(trace), name(name) {
    event.Bind(std::string("Watcher::") + name, &Watcher::on_event, this);
    event.Schedule(fd, events);
  }
  void on_event(int fd, short revents) {
    *trace += name;
    ++calls;
    last_fd = fd;
    last_revents = revents;
    if (action) action();
  }
  std::string* trace;
  char name;
  int calls = 0;
  int last_fd = -1;
  short last_revents = -1;
  std::function<void()> action;
  Event event;
};

// A deferred call that acts in the second pass of the next turn, after the poll set is built.
struct SecondPass {
  explicit SecondPass(std::function<void()> act) : act(std::move(act)) {
    dpc.Bind(this, &SecondPass::run);
    dpc.Activate();
  }
  void run() {
    if (++runs < 2) return;
    dpc.Deactivate();
    act();
  }
  std::function<void()> act;
  int runs = 0;
  Dpc dpc;
};

TEST_F(LoopDispatch, ServesEveryHandlerWhenAnyIsReady) {
  std::string trace;
  Pipe p[3];
  Watcher a(&trace, 'a', p[0].r), b(&trace, 'b', p[1].r), c(&trace, 'c', p[2].r);
  p[1].fill();
  EXPECT_EQ(Probe::turn(), -1);
  EXPECT_EQ(trace, "abc");
  EXPECT_EQ(a.last_revents, 0);
  EXPECT_EQ(b.last_revents, POLLIN);
  EXPECT_EQ(c.last_revents, 0);
  EXPECT_EQ(b.last_fd, b.event.fd().get());
  EXPECT_EQ(a.event.hits() + b.event.hits() + c.event.hits(), 1u);
  EXPECT_EQ(b.event.hits(), 1u);

  char byte;
  ASSERT_EQ(::read(p[1].r.get(), &byte, 1), 1);
  Probe::turn();
  EXPECT_EQ(trace, "abc") << "nothing ready: nobody is served";
}

TEST_F(LoopDispatch, CallbacksMayDetachDestroyAndAttachOthers) {
  std::string trace;
  Pipe p[5];
  for (Pipe& q : p) q.fill();
  auto doomed = std::make_unique<Watcher>(&trace, 'b', p[1].r);
  Watcher first(&trace, 'a', p[0].r), released(&trace, 'c', p[2].r);
  auto self = std::make_unique<Watcher>(&trace, 's', p[3].r);
  std::unique_ptr<Watcher> late;
  // Order of service is order of attachment: b a c s.
  doomed->action = [&] {
    first.event.Release();
    released.event.Release();
    late = std::make_unique<Watcher>(&trace, 'l', p[4].r);
  };
  self->action = [&] { self.reset(); };
  Probe::turn();
  EXPECT_EQ(trace, "bs");
  EXPECT_EQ(self, nullptr);
  doomed->action = [&] { doomed.reset(); };
  Probe::turn();
  EXPECT_EQ(trace, "bsbl") << "attached in a dispatch, served from the next turn on";
  EXPECT_EQ(doomed, nullptr);
}

TEST_F(LoopDispatch, HandlerReleasedAfterThePollSetIsBuiltIsNeitherPolledNorServed) {
  std::string trace;
  Pipe gone, other;
  gone.fill();
  other.fill();
  Watcher x(&trace, 'x', gone.r), y(&trace, 'y', other.r);
  int old_fd = x.event.fd().get();
  std::unique_ptr<Pipe> reuse;
  SecondPass release([&] {
    x.event.Release();
    // The freed number is handed out again at once: a stale entry would poll the new pipe.
    reuse = std::make_unique<Pipe>();
    reuse->fill();
  });
  int timeout = Probe::prepare();
  EXPECT_EQ(timeout, -1);
  ASSERT_EQ(reuse->r.get(), old_fd);
  for (const pollfd& entry : Probe::poll_set()) EXPECT_NE(entry.fd, old_fd);
  Probe::poll_now();
  EXPECT_EQ(trace, "y");
}

TEST_F(LoopDispatch, MaskChangesReachThePollSet) {
  std::string trace;
  int sp[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sp), 0);
  Fd mine(sp[0]), peer(sp[1]);
  Watcher w(&trace, 'w', mine);
  int fd = w.event.fd().get();
  Probe::turn();
  EXPECT_EQ(w.calls, 0) << "a writable socket polled for POLLIN only";
  // Rescheduling with the Event's own descriptor keeps it.
  w.event.Schedule(w.event.fd(), POLLIN | POLLOUT);
  EXPECT_EQ(w.event.fd().get(), fd);
  Probe::turn();
  EXPECT_EQ(w.last_revents, POLLOUT);
  // A mask set after the poll set was built is polled in the same turn.
  w.event.set_events(POLLIN);
  Probe::turn();
  EXPECT_EQ(w.calls, 1);
  SecondPass flip([&] { w.event.set_events(POLLOUT); });
  Probe::turn();
  EXPECT_EQ(w.calls, 2);
  EXPECT_EQ(w.last_revents, POLLOUT);
}

// A terminate() in a dispatch leaves the handlers not yet served registered and polled from the
// next turn on, also when none of those still polled is ready.
TEST_F(LoopDispatch, TerminateInADispatchLosesNoHandler) {
  std::string trace;
  Pipe p[2];
  p[0].fill();
  Watcher a(&trace, 'a', p[0].r), b(&trace, 'b', p[1].r);
  a.action = [&] {
    char x;
    EXPECT_EQ(::read(p[0].r.get(), &x, 1), 1);
    multiplexer.terminate();
  };
  multiplexer.run(false, true);
  EXPECT_EQ(trace, "a");
  Probe::clear_terminate();
  a.action = nullptr;
  p[1].fill();
  Probe::turn();
  EXPECT_EQ(trace, "aab");
}

struct Wish : TimerPoolPlugin {
  int next_timeout() override { return 30; }
};

struct Ticker {
  Timer timer;
  void on_timer() {}
  void slow() {
    Mux::TestClock::advance_ms(300);
    timer.set(200, &Ticker::on_timer, this);
  }
  void stop() { multiplexer.terminate(); }
};

TEST_F(LoopDispatch, TimeoutFollowsTimersPluginsAndLateArrivals) {
  std::string trace;
  Pipe idle;
  Watcher w(&trace, 'w', idle.r);
  Ticker t;
  EXPECT_EQ(Probe::turn(), -1);
  t.timer.set(250, &Ticker::on_timer, &t);
  EXPECT_EQ(Probe::turn(), 250);
  {
    Wish wish;
    wish.timerHook();
    EXPECT_EQ(Probe::turn(), 30);
  }
  {
    SecondPass arm([&] { t.timer.set(0, &Ticker::on_timer, &t); });
    EXPECT_EQ(Probe::turn(), 0) << "a timer due now must not wait for traffic";
  }
  {
    Pipe fresh;
    std::unique_ptr<Watcher> late;
    SecondPass attach([&] { late = std::make_unique<Watcher>(&trace, 'l', fresh.r); });
    EXPECT_EQ(Probe::turn(), 0) << "a handler attached after the poll set was built";
  }
  // The wait counts from the clock after the callbacks, not from the start of the turn.
  t.timer.set(0, &Ticker::slow, &t);
  EXPECT_EQ(Probe::turn(), 200);
  t.timer.reset();
}

TEST_F(LoopDispatch, TerminateFromACallbackEndsTheTurnWithoutPolling) {
  // Nothing is ready and nothing is due: a loop that polled would wait forever.
  std::string trace;
  Pipe idle;
  Watcher w(&trace, 'w', idle.r);
  Ticker t;
  t.timer.set(0, &Ticker::stop, &t);
  testing::internal::CaptureStderr();
  multiplexer.run(true, true);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("Mux: fail to open watchdog: ", 0), 0u) << err;
}

TEST(LoopDeath, NothingToWaitForAborts) {
  EXPECT_DEATH(
      {
        SecondPass busy([] {});
        Probe::prepare();
      },
      "multiplexer: system hang detected!!!");
}

}  // namespace
