// ChildStop: ends a child process within a bound, without waiting for it on the loop.
//
// start() asks the child to end with a signal that the program may catch to end in good order
// (SIGTERM, SIGHUP) and arms a timer: kGraceMs later, unless the owner has cancelled the stop,
// the owner's callback runs, which ends the child for good with kill() (SIGKILL, which no
// program can refuse) after whatever it has to do first. The owner learns of the child's end
// through its own ChildWait and cancels the stop there: a reaped pid may soon be another
// process's, so it is never signalled again. Nor is a pid that anything else has reaped: each
// signal first checks that the pid still names an unreaped child of ours.
//
// ChildStop::orphan() stops a child whose owner goes at once (a slot whose destroy does not
// wait for its program): the same signal and bound, with a ChildWait of its own; the stop is
// forgotten when the child is reaped or killed. A child still within its grace when the daemon
// exits is killed then, since nothing would end it later.
#pragma once

#include <type_traits>

#include "base/timer.h"

class ChildWait;

class ChildStop {
 public:
  // The time a child is given to end after the first signal.
  static constexpr unsigned kGraceMs = 5000;

  // Sends `signal` to `pid` and arms the timer that calls (owner->*on_timeout)().
  template <class T>
  void start(int pid, int signal, void (T::*on_timeout)(), std::common_type_t<T>* owner) {
    ask(pid, signal);
    timer_.set(kGraceMs, on_timeout, owner);
  }
  // The child has ended, or was killed: the timer is stopped.
  void cancel() { timer_.reset(); }
  // SIGKILL to `pid`, and the stop is over.
  void kill(int pid);
  // Between start() and the timeout, unless cancelled.
  bool stopping() const { return timer_.get() != nullptr; }

  // Stops the child that `wait` waits for as start() does, for an owner that is going: the
  // owner's wait is detached, and the stop waits for the child itself.
  static void orphan(ChildWait& wait, int signal);

 private:
  static void ask(int pid, int signal);

  Timer timer_;
};
