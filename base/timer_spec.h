// TimerSpec: timers armed from a static record of the callback and its delay, for owners whose
// periodic work is described once (for example a 3000 ms statistics update).
#pragma once

#include "base/timer.h"

namespace TimerSpec {

template <class T>
struct Spec {
  void (T::*member)();
  unsigned delay_ms;
};

class SpecTimer : public Timer {
 public:
  using Timer::set;
  // Arms the timer to call (owner->*spec.member)() in spec.delay_ms milliseconds.
  template <class T>
  void set(std::common_type_t<T>* owner, const Spec<T>& spec) {
    Timer::set(spec.delay_ms, spec.member, owner);
  }
};

}  // namespace TimerSpec
