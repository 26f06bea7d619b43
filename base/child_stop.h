// ChildStop: ends a child program and whatever it started, within a bound, without waiting for
// it on the loop.
//
// The programs it ends are started with ChildStop::spawn, as leaders of process groups of their
// own (the group's id is the leader's pid), and every signal goes to the whole group: a wrapper
// script's commands, or what the program forks, end with it, and the daemon's terminal does not
// reach them (a Ctrl-C ends the daemon, whose end ends them).
//
// start() asks the group to end with a signal that the program may catch to end in good order
// (SIGTERM, SIGHUP) and arms a timer: kGraceMs later, unless the owner has cancelled the stop,
// the owner's callback runs, which ends the group for good with kill() (SIGKILL, which no
// program can refuse) after whatever it has to do first. The owner learns of the leader's end
// through its own ChildWait and hands the stop to ended() there: members of the group still
// running then are asked to end (unless a stop has asked them already) and killed at the
// bound, apart from the owner, which may go. A group is signalled as a whole while its leader is
// an unreaped child of ours, whose pid no other process can take; once the leader is reaped, the
// id may pass to another group as soon as the last member ends, so only the members that
// ChildGroups proves the group's are signalled, one by one. Such a group is looked at every
// 100 ms, killed at each look from the bound on, and forgotten as soon as none is left.
//
// The group's record (ChildGroups) goes when the group is found with no member left or is sent
// SIGKILL as a whole.
//
// ChildStop::orphan() stops a child whose owner goes at once (a slot whose destroy does not
// wait for its program): the same signal and bound, with a ChildWait of its own; the stop is
// forgotten when the group is ended. A group still within its grace when the daemon exits is
// killed then, since nothing would end it later.
#pragma once

#include <memory>
#include <sstream>
#include <type_traits>
#include <utility>

#include "base/child_program.h"
#include "base/timer.h"

class ChildWait;

class ChildStop {
 public:
  // The time a child is given to end after the first signal.
  static constexpr unsigned kGraceMs = 5000;
  // What an owner keeps for its program's group while the group lives; dropped when it ends.
  using Held = std::shared_ptr<const void>;

  // Starts `program` as the leader of a process group of its own: spawn()'s result.
  static int spawn(ChildProgram program);
  // The same, a failure to run the program being reported under `owner`'s log header
  // (ChildProgram::fail_header).
  template <class Owner>
  static int spawn(ChildProgram program, const Owner* owner) {
    std::ostringstream header;
    owner->PutHeader(header);
    program.fail_header = header.str();
    return spawn(std::move(program));
  }

  // Sends `signal` to the group that `pid` leads and arms the timer that calls
  // (owner->*on_timeout)().
  template <class T>
  void start(int pid, int signal, void (T::*on_timeout)(), std::common_type_t<T>* owner) {
    ask(pid, signal);
    timer_.set(kGraceMs, on_timeout, owner);
  }
  // The leader `pid` has ended and was reaped: the stop is over for its owner. Members of its
  // group left running are asked to end with `signal`, unless this stop has asked them already,
  // and killed at the bound, which runs on; `held` (see orphan()) is kept until then.
  void ended(int pid, int signal, Held held = nullptr);
  // The same for an owner that has no stop running.
  static void end_rest(int pid, int signal, Held held = nullptr);
  // The timer is stopped; the group is left as it is.
  void cancel() { timer_.reset(); }
  // SIGKILL to the group that `pid` leads, and the stop is over.
  void kill(int pid);
  // Between start() and the timeout, unless over.
  bool stopping() const { return timer_.get() != nullptr; }

  // Stops the child that `wait` waits for as start() does, for an owner that is going: the
  // owner's wait is detached, and the stop waits for the child itself. `held`, what the owner
  // keeps for the child (a device, a claim on one), is kept until the group has ended.
  static void orphan(ChildWait& wait, int signal, Held held = nullptr);

 private:
  static void ask(int pid, int signal);
  // Hands the members of `pgid`'s group, if any, to a stop of their own: `signal` now (none
  // when 0), SIGKILL `bound_ms` later; `held` is dropped when the stop ends.
  static void end_rest(int pgid, int signal, unsigned bound_ms, Held held);

  Timer timer_;
};
