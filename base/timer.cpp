#include "base/timer.h"

#include "base/multiplexer.h"
#include "base/mux_clock.h"

namespace {

uint32_t g_last_order = 0;

}  // namespace

TimerEvent::~TimerEvent() { reset(); }

uint32_t TimerEvent::take_order() { return ++g_last_order; }

void TimerEvent::schedule(unsigned ms) { schedule_at(Mux::milliseconds() + ms, take_order()); }

void TimerEvent::schedule_at(uint32_t expiry, uint32_t order) {
  expiry_ = expiry;
  order_ = order;
  multiplexer.set(this);
}

void TimerEvent::cancel() { multiplexer.reset(this); }

TimerEvent* Timer::release() {
  TimerEvent* e = event_;
  event_ = nullptr;
  return e;
}

void Timer::reset(TimerEvent* event) {
  if (event == event_) return;
  TimerEvent* old = event_;
  event_ = event;
  delete old;
}

void OwnedTimerEvent::fire() {
  Timer* owner = owner_;
  if (owner->get() == this) owner->release();
  invoke(owner);
  delete this;
}

void LazyTimerEvent::arm_at(uint32_t due) {
  const uint32_t order = take_order();
  deferred_ = pending() && int32_t(due - expiry()) >= 0;
  if (deferred_) {
    due_ = due;
    due_order_ = order;
  } else {
    schedule_at(due, order);
  }
}

void LazyTimerEvent::fire() {
  const bool move_on =
      deferred_ && int32_t(due_ - Mux::milliseconds()) <= Multiplexer::kMaxWaitMs;
  deferred_ = false;
  if (move_on) {
    schedule_at(due_, due_order_);
    return;
  }
  expired();
}
