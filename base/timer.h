// One-shot millisecond timers on the loop clock (Mux::milliseconds).
//
// A TimerEvent is pending on the multiplexer's timer list, which is kept sorted by expiry (equal
// expiries in arming order; comparisons on the signed 32-bit difference, so ordering survives
// the 2^32 ms wrap while two times are less than 2^31 ms apart). A Timer, held as a member by
// the object that uses it, owns at most one pending event: Timer::set arms a new one and drops
// the old one, reset() and destruction cancel without firing.
//
// Firing takes the event off the list and out of its Timer before the callback runs, so the
// callback may re-arm or destroy its own Timer; the event deletes itself last.
//
// Each schedule takes the next arming number; the loop orders equal expiries by it, which is the
// order in which they were armed, also for an event that goes back on the list later with the
// expiry and number it was given earlier (SlotTimer).
#pragma once

#include <cstdint>
#include <type_traits>

#include "base/f_dual_list.h"
#include "base/mux_clock.h"

class TimerEvent : public F_dual_list_item<TimerEvent> {
 public:
  TimerEvent() = default;
  TimerEvent(const TimerEvent&) = delete;
  TimerEvent& operator=(const TimerEvent&) = delete;
  virtual ~TimerEvent();

  virtual void fire() = 0;

  // Expiry difference this - other as signed 32-bit.
  int compare(const TimerEvent* other) const { return int32_t(expiry_ - other->expiry_); }
  // Fires after `other`: a later expiry, or the same one armed later.
  bool fires_after(const TimerEvent* other) const {
    const int by_expiry = compare(other);
    return by_expiry > 0 || (by_expiry == 0 && int32_t(order_ - other->order_) > 0);
  }
  // Pending from now + ms (mod 2^32), replacing any earlier schedule of this event.
  void schedule(unsigned ms);
  // No longer pending. Inline: an owner stops its timer on every frame, mostly an idle one.
  void reset() {
    if (pending()) cancel();
  }
  bool pending() const { return listed(); }
  uint32_t expiry() const { return expiry_; }

 protected:
  // Pending at `expiry`, among equal expiries in the place of arming number `order`.
  void schedule_at(uint32_t expiry, uint32_t order);
  // The arming number of a schedule made now.
  static uint32_t take_order();
  // Takes the pending event off the loop's list.
  void cancel();

 private:
  friend class Multiplexer;
  uint32_t expiry_ = 0;
  uint32_t order_ = 0;
};

class Timer {
 public:
  Timer() = default;
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  ~Timer() { reset(); }

  // The pending event, null when the timer is idle.
  TimerEvent* get() const { return event_; }
  // Gives the event up without cancelling it.
  TimerEvent* release();
  // Takes ownership of `event` (may be null) and deletes the one held before, which cancels it.
  void reset(TimerEvent* event = nullptr);

  // Arms the timer to call (object->*member)() in `ms` milliseconds.
  template <class T>
  void set(unsigned ms, void (T::*member)(), std::common_type_t<T>* object);
  // Arms the timer to call (object->*member)(this timer) in `ms` milliseconds.
  template <class T>
  void set(unsigned ms, void (T::*member)(Timer*), std::common_type_t<T>* object);

 private:
  TimerEvent* event_ = nullptr;
};

// The event of a Timer: leaves its owner, runs its callback, deletes itself.
class OwnedTimerEvent : public TimerEvent {
 public:
  void fire() final;

 protected:
  explicit OwnedTimerEvent(Timer* owner) : owner_(owner) {}
  virtual void invoke(Timer* owner) = 0;

 private:
  Timer* owner_;
};

template <class T>
class ObjTimerEvent1 : public OwnedTimerEvent {
 public:
  using Member = void (T::*)();
  ObjTimerEvent1(Timer* owner, Member member, T* object, unsigned ms)
      : OwnedTimerEvent(owner), member_(member), object_(object) {
    schedule(ms);
  }

 private:
  void invoke(Timer*) override { (object_->*member_)(); }
  Member member_;
  T* object_;
};

template <class T>
class ObjTimerEvent2 : public OwnedTimerEvent {
 public:
  using Member = void (T::*)(Timer*);
  ObjTimerEvent2(Timer* owner, Member member, T* object, unsigned ms)
      : OwnedTimerEvent(owner), member_(member), object_(object) {
    schedule(ms);
  }

 private:
  void invoke(Timer* owner) override { (object_->*member_)(owner); }
  Member member_;
  T* object_;
};

template <class T>
void Timer::set(unsigned ms, void (T::*member)(), std::common_type_t<T>* object) {
  reset(new ObjTimerEvent1<T>(this, member, object, ms));
}

template <class T>
void Timer::set(unsigned ms, void (T::*member)(Timer*), std::common_type_t<T>* object) {
  reset(new ObjTimerEvent2<T>(this, member, object, ms));
}

// The event of a SlotTimer. Arming it for an expiry no earlier than the pending one leaves it
// where it is: it fires there, finds that it was armed for later, and goes back on the list at
// that expiry with the arming number it took when it was armed, so it fires when and in the order
// it would have, had it been moved. An owner that pushes its timer further away on every frame
// (a protocol's T200 or T7) moves it once per expiry instead of once per frame.
class LazyTimerEvent : public TimerEvent {
 protected:
  // Due in `ms` milliseconds. The clock is read inline, where a clock that stands is a load, and
  // arm_at calls nothing on its common path.
  void arm(unsigned ms) { arm_at(Mux::milliseconds() + ms); }
  // The expiry last armed has come.
  virtual void expired() = 0;

 private:
  // Due at `due`.
  void arm_at(uint32_t due);
  void fire() final;
  uint32_t due_ = 0;
  uint32_t due_order_ = 0;
  bool deferred_ = false;
};

// A timer that its owner arms again in place: the event lives as long as the owner, so arming
// allocates nothing, where a Timer makes an event each time. set() replaces the pending expiry
// and callback, reset() cancels; the callback may re-arm the timer or destroy its owner.
template <class T>
class SlotTimer : public LazyTimerEvent {
 public:
  void set(unsigned ms, void (T::*member)(), T* object) {
    member_ = member;
    object_ = object;
    arm(ms);
  }

 private:
  void expired() override { (object_->*member_)(); }
  void (T::*member_)() = nullptr;
  T* object_ = nullptr;
};
