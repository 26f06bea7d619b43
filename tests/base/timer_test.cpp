#include <ctime>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "base/dpc.h"
#include "base/timer.h"
#include "base/timer_spec.h"
#include "tests/support/loop_test.h"

namespace {

using Probe = MultiplexerProbe;
using TimerTest = LoopTest;

// Records the order in which its timers fire.
struct Recorder {
  std::vector<std::string> fired;
  Timer a, b, c, d;
  void on_a() { fired.push_back("a"); }
  void on_b() { fired.push_back("b"); }
  void on_c() { fired.push_back("c"); }
  void on_d() { fired.push_back("d"); }
};

TEST_F(TimerTest, FireInExpiryOrderThenArmingOrder) {
  Recorder r;
  r.a.set(100, &Recorder::on_a, &r);
  r.b.set(100, &Recorder::on_b, &r);
  r.c.set(100, &Recorder::on_c, &r);
  r.d.set(50, &Recorder::on_d, &r);
  EXPECT_EQ(multiplexer.timers_schedule(), 50);
  Mux::TestClock::advance_ms(49);
  EXPECT_EQ(multiplexer.timers_schedule(), 1);
  EXPECT_TRUE(r.fired.empty());
  Mux::TestClock::advance_ms(51);
  EXPECT_EQ(multiplexer.timers_schedule(), -1);
  EXPECT_EQ(r.fired, (std::vector<std::string>{"d", "a", "b", "c"}));
  EXPECT_EQ(r.a.get(), nullptr);

  // An expiry past the clock wrap is ahead.
  Mux::TestClock::set(uint64_t(0xFFFFFFF0) * 1000);
  r.a.set(21, &Recorder::on_a, &r);
  EXPECT_EQ(r.a.get()->expiry(), 5u);
  EXPECT_EQ(multiplexer.timers_schedule(), 21);
  EXPECT_EQ(r.fired.size(), 4u);
  Mux::TestClock::advance_ms(21);
  multiplexer.timers_schedule();
  EXPECT_EQ(r.fired, (std::vector<std::string>{"d", "a", "b", "c", "a"}));
}

TEST_F(TimerTest, WaitsBeyondTwoHoursAreReportedAndPulledIn) {
  struct Case {
    unsigned delay;
    int wait;
    bool reported;
  };
  for (const Case& k : {Case{7200000, 7200000, false}, Case{7200001, 1000, true}}) {
    SCOPED_TRACE(k.delay);
    Recorder r;
    r.a.set(k.delay, &Recorder::on_a, &r);
    r.b.set(k.delay + 5, &Recorder::on_b, &r);
    testing::internal::CaptureStderr();
    EXPECT_EQ(multiplexer.timers_schedule(), k.wait);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("******** RUNTIME ERROR CONDITION *************\n"
                       "Multiplexer::timers_schedule() invalid wait time detected!\n") == 0,
              k.reported)
        << err;
    if (k.reported) {
      EXPECT_NE(err.find("count = 2\n"), std::string::npos) << err;
      Mux::TestClock::advance_ms(1000);
      multiplexer.timers_schedule();
      EXPECT_EQ(r.fired, (std::vector<std::string>{"a", "b"}));
    }
  }
}

struct Spec {
  TimerSpec::SpecTimer timer;
  int updates = 0;
  void update() { ++updates; }
};

TEST_F(TimerTest, RearmingReplacesAndDestroyingCancels) {
  {
    static const TimerSpec::Spec<Spec> kUpdate = {&Spec::update, 3000};
    Spec s;
    s.timer.set(&s, kUpdate);
    s.timer.set(&s, kUpdate);
    Recorder r;
    r.a.set(10, &Recorder::on_a, &r);
    r.a.set(30, &Recorder::on_a, &r);
    EXPECT_EQ(Probe::timer_count(), 2u);
    EXPECT_EQ(multiplexer.timers_schedule(), 30);
    r.b.set(5, &Recorder::on_b, &r);
    r.b.reset();
    EXPECT_EQ(r.b.get(), nullptr);
    r.b.reset();
    EXPECT_EQ(Probe::timer_count(), 2u);
    Mux::TestClock::advance_ms(3000);
    multiplexer.timers_schedule();
    EXPECT_EQ(s.updates, 1);
    EXPECT_EQ(r.fired, std::vector<std::string>{"a"});
  }
  EXPECT_EQ(Probe::timer_count(), 0u);
}

// Callbacks that re-arm their own timer, destroy their owner, and cancel or destroy timers that
// are due in the same pass.
struct Periodic {
  Timer timer;
  int runs = 0;
  void tick(Timer* t) {
    EXPECT_EQ(t, &timer);
    EXPECT_EQ(timer.get(), nullptr) << "a firing timer reads as idle";
    if (++runs < 3) t->set(100, &Periodic::tick, this);
  }
};

struct SelfDestroying {
  Timer timer;
  std::unique_ptr<SelfDestroying>* holder = nullptr;
  void fire() { holder->reset(); }
};

struct Canceller {
  Timer first, second;
  std::unique_ptr<Recorder> victim;
  int seconds = 0;
  void on_first() {
    second.reset();
    victim.reset();
  }
  void on_second() { ++seconds; }
};

TEST_F(TimerTest, CallbacksMayRearmDestroyAndCancel) {
  Periodic p;
  p.timer.set(100, &Periodic::tick, &p);
  for (int i = 0; i < 5; ++i) {
    Mux::TestClock::advance_ms(100);
    multiplexer.timers_schedule();
  }
  EXPECT_EQ(p.runs, 3);
  EXPECT_EQ(p.timer.get(), nullptr);

  auto self = std::make_unique<SelfDestroying>();
  self->holder = &self;
  self->timer.set(10, &SelfDestroying::fire, self.get());

  Canceller c;
  c.victim = std::make_unique<Recorder>();
  c.first.set(10, &Canceller::on_first, &c);
  c.second.set(10, &Canceller::on_second, &c);
  c.victim->a.set(10, &Recorder::on_a, c.victim.get());
  Mux::TestClock::advance_ms(10);
  EXPECT_EQ(multiplexer.timers_schedule(), -1);
  EXPECT_EQ(self, nullptr);
  EXPECT_EQ(c.seconds, 0);
}

// A timer armed again in place: one pending entry, at the last expiry set, in arming order among
// equal expiries; its callback may re-arm it or destroy its owner.
struct Slotted {
  SlotTimer<Slotted> timer;
  std::vector<std::string>* fired = nullptr;
  std::unique_ptr<Slotted>* holder = nullptr;
  int rearms = 0;
  void on_first() { fired->push_back("first"); }
  void on_second() {
    fired->push_back("second");
    if (rearms-- > 0) timer.set(50, &Slotted::on_second, this);
    if (holder) holder->reset();
  }
};

// Every read follows whichever of the cache and the test clock stands, and is live again once
// neither does.
TEST_F(TimerTest, ClockReadsFollowTheCacheAndTheTestClock) {
  const uint32_t ms = 1000 * 1000;
  const uint32_t us = ms * 1000;
  const uint64_t later = uint64_t(5) << 32;
  struct Step {
    const char* what;
    void (*act)();
    uint32_t ms;
    uint32_t us;
  };
  const Step steps[] = {
      {"the test clock moves", [] { Mux::TestClock::advance_us(2500); }, ms + 2, us + 2500},
      {"the loop caches it", [] { Mux::mux_settimeofday(); }, ms + 2, us + 2500},
      {"the cache stands", [] { Mux::TestClock::advance_ms(7); }, ms + 2, us + 2500},
      {"the cache is dropped", [] { Mux::mux_cleartimeofday(); }, ms + 9, us + 9500},
      {"a new test time", [] { Mux::TestClock::set(uint64_t(5) << 32); }, uint32_t(later / 1000),
       uint32_t(later)},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(Mux::milliseconds(), step.ms) << step.what;
    EXPECT_EQ(Mux::microseconds(), step.us) << step.what;
  }
  Mux::TestClock::release();
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t system_ms = uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
  EXPECT_LE(Mux::milliseconds() - uint32_t(system_ms), 1000u) << "live again once released";
}

TEST_F(TimerTest, SlotTimerRearmsInPlace) {
  Recorder r;
  Slotted s;
  s.fired = &r.fired;
  s.timer.set(10, &Slotted::on_first, &s);
  r.a.set(100, &Recorder::on_a, &r);
  s.timer.set(100, &Slotted::on_second, &s);  // replaces the first, and now follows a
  EXPECT_EQ(Probe::timer_count(), 2u);
  s.rearms = 1;
  for (int i = 0; i < 4; ++i) {
    Mux::TestClock::advance_ms(50);
    multiplexer.timers_schedule();
  }
  EXPECT_EQ(r.fired, (std::vector<std::string>{"a", "second", "second"}));
  EXPECT_FALSE(s.timer.pending());

  s.timer.set(10, &Slotted::on_first, &s);
  s.timer.reset();
  auto owned = std::make_unique<Slotted>();
  owned->fired = &r.fired;
  owned->holder = &owned;
  owned->timer.set(10, &Slotted::on_second, owned.get());
  {
    Slotted gone;
    gone.timer.set(10, &Slotted::on_first, &gone);
  }
  EXPECT_EQ(Probe::timer_count(), 1u);
  Mux::TestClock::advance_ms(10);
  EXPECT_EQ(multiplexer.timers_schedule(), -1);
  EXPECT_EQ(owned, nullptr);
  EXPECT_EQ(r.fired.size(), 4u);
}

// A slot timer armed for later than it is pending stays put, yet fires at the last expiry set and
// in the order of that arming among equal expiries; armed for earlier, it moves at once.
TEST_F(TimerTest, SlotTimerArmedLaterFiresInItsArmingOrder) {
  Recorder r;
  Slotted s;
  s.fired = &r.fired;
  s.timer.set(10, &Slotted::on_first, &s);
  r.a.set(100, &Recorder::on_a, &r);
  s.timer.set(100, &Slotted::on_first, &s);  // stays at 10 for now
  r.b.set(100, &Recorder::on_b, &r);
  EXPECT_EQ(s.timer.expiry(), Mux::milliseconds() + 10);
  EXPECT_EQ(multiplexer.timers_schedule(), 10);
  Mux::TestClock::advance_ms(10);
  EXPECT_EQ(multiplexer.timers_schedule(), 90);  // nothing fired: it moved on to 100
  EXPECT_TRUE(r.fired.empty());
  Mux::TestClock::advance_ms(90);
  multiplexer.timers_schedule();
  EXPECT_EQ(r.fired, (std::vector<std::string>{"a", "first", "b"}));

  r.fired.clear();
  s.timer.set(100, &Slotted::on_first, &s);
  s.timer.set(20, &Slotted::on_second, &s);
  EXPECT_EQ(multiplexer.timers_schedule(), 20);
  Mux::TestClock::advance_ms(20);
  multiplexer.timers_schedule();
  EXPECT_EQ(r.fired, (std::vector<std::string>{"second"}));
  EXPECT_FALSE(s.timer.pending());
}

// Deferred calls log their runs into a shared trace.
struct Deferred {
  Deferred(std::string* trace, char name) : trace(trace), name(name) {
    dpc.Bind(this, &Deferred::run);
  }
  void run() {
    *trace += name;
    if (once) dpc.Deactivate();
    if (stop) stop->Deactivate();
    if (destroy) destroy->reset();
  }
  std::string* trace;
  char name;
  bool once = false;
  Dpc* stop = nullptr;
  std::unique_ptr<Deferred>* destroy = nullptr;
  Dpc dpc;
};

TEST_F(TimerTest, DeferredCallsRunInAddressOrderAndMayStopThemselvesAndOthers) {
  std::string trace;
  Deferred pair[2] = {{&trace, 'a'}, {&trace, 'b'}};
  pair[1].dpc.Activate();
  pair[0].dpc.Activate();
  pair[0].dpc.Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ(trace, "ab") << "address order, once per pass";

  pair[0].once = true;
  pair[0].stop = &pair[1].dpc;
  // The timer pass runs the deferred calls once, a whole turn twice.
  multiplexer.timers_schedule();
  multiplexer.execute_dpc();
  EXPECT_EQ(trace, "aba");

  trace.clear();
  auto victim = std::make_unique<Deferred>(&trace, 'z');
  Deferred killer(&trace, 'k');
  killer.once = true;
  killer.destroy = &victim;
  victim->dpc.Activate();
  killer.dpc.Activate();
  multiplexer.execute_dpc();
  multiplexer.execute_dpc();
  EXPECT_EQ(victim, nullptr);
  // The victim runs once when its address sorts before the killer's, else never.
  EXPECT_TRUE(trace == "k" || trace == "zk") << trace;
}

}  // namespace
