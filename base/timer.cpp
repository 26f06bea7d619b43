#include "base/timer.h"

#include "base/multiplexer.h"
#include "base/mux_clock.h"

TimerEvent::~TimerEvent() { reset(); }

void TimerEvent::schedule(unsigned ms) {
  expiry_ = Mux::milliseconds() + ms;
  multiplexer.set(this);
}

void TimerEvent::reset() { multiplexer.reset(this); }

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
