// Test access to the loop's turn, split at poll(), so tests check the computed timeout and then
// poll with timeout 0: no test waits on real time.
#pragma once

#include <poll.h>
#include <string>
#include <vector>

#include "base/multiplexer.h"
#include "base/timer.h"

struct MultiplexerProbe {
  static constexpr int kTerminating = Multiplexer::kTerminating;

  // Timer pass, plug-in pass, poll set, second deferred-call pass; returns the poll timeout.
  static int prepare() { return multiplexer.prepare_turn(); }
  // Polls, waiting at most `timeout` ms, and serves the handlers.
  static void poll(int timeout) { multiplexer.poll_and_serve(timeout); }
  // Polls without waiting and serves the handlers.
  static void poll_now() { poll(0); }
  // One whole turn that never waits; returns the timeout the loop would have used.
  static int turn() {
    int timeout = prepare();
    if (timeout != kTerminating) poll_now();
    return timeout;
  }
  // Runs turns that do not poll (timers and deferred calls only) while `pending()` holds, at most
  // `limit` of them; a far timer keeps the loop from taking itself for hung meanwhile. False
  // when the limit was reached.
  template <class Pending>
  static bool turns_while(Pending pending, unsigned limit = 1u << 20) {
    struct Awake {
      void expired() {}
    } owner;
    Timer awake;
    awake.set(3600 * 1000, &Awake::expired, &owner);
    for (unsigned n = 0; pending(); ++n) {
      if (n == limit) return false;
      prepare();
    }
    return true;
  }
  static const std::vector<pollfd>& poll_set() { return multiplexer.poll_set_; }
  static unsigned timer_count() { return multiplexer.timers_.count(); }
  // A run() that ended leaves the flag set; turns taken through this probe would all end at once.
  static void clear_terminate() { multiplexer.terminate_ = 0; }
  // What keeps the loop from being idle, e.g. "timers=1 handlers=2"; empty when it is idle.
  static std::string leftovers() {
    const Multiplexer& m = multiplexer;
    std::string what;
    const auto note = [&what](const char* name, size_t count) {
      if (count) what += (what.empty() ? "" : " ") + std::string(name) + "=" + std::to_string(count);
    };
    note("timers", m.timers_.count());
    note("handlers", m.new_.count() + m.polled_[0].count() + m.polled_[1].count());
    note("deferred", m.dpcs_.size());
    note("plugins", m.plugins_.size());
    note("terminating", m.terminate_ ? 1 : 0);
    return what;
  }
};
