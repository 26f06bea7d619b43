// Multiplexer: the daemon's one poll() loop, and its one instance `multiplexer`.
//
// Everything that waits registers here: descriptor events (EventHandler, base/event.h), one-shot
// timers (TimerEvent, base/timer.h), deferred calls (Dpc, base/dpc.h) and timer-pool plug-ins.
// Each turn of run():
//   1. fires the due timers in expiry order, then runs the deferred calls;
//   2. asks the plug-ins how long the loop may sleep;
//   3. moves the handlers attached since the last turn to the active list and lets each active
//      handler fill its poll-set entry;
//   4. runs the deferred calls again;
//   5. polls, no longer than the next timer, the plug-ins' wish and, with the watchdog open,
//      1000 ms, and not at all when work was left for the next turn (stay_awake); pings the
//      watchdog at most once per 1000 ms;
//   6. when anything is ready, serves every active handler in list order.
//
// Handlers, timers and deferred calls are linked intrusively and owned by their users; the loop
// allocates nothing per turn. Callbacks may attach, detach, arm, cancel and destroy any of them,
// their own included: a handler detached before its turn is not served, one attached during a
// turn is polled from the next turn on, and a handler detached after its poll-set entry was
// filled has that entry blanked, so its old descriptor is neither polled nor reported.
//
// `multiplexer` is usable from static initialisation on and is never destroyed, so objects with
// static storage may unregister in their destructors at exit.
#pragma once

#include <csignal>
#include <cstdint>
#include <iosfwd>
#include <list>
#include <poll.h>
#include <vector>

#include "base/f_dual_list.h"
#include "base/f_sorted_list.h"
#include "base/measure.h"
#include "base/watchdog.h"

class Dpc;
class EventHandler;
class TimerEvent;
class TimerPoolPlugin;

class Multiplexer {
 public:
  class TimerPollNotify {
   public:
    virtual ~TimerPollNotify() = default;
    virtual void removeTimerPoolPlugin(TimerPoolPlugin* plugin) = 0;
  };

  // The longest wait of the loop; a timer due further away means that the clock went back (or
  // that the timer is absurdly far ahead), and the loop moves every pending timer to fall due in
  // a second.
  static constexpr int32_t kMaxWaitMs = 7200000;

  Multiplexer();
  Multiplexer(const Multiplexer&) = delete;
  Multiplexer& operator=(const Multiplexer&) = delete;

  // The main loop, until terminate(). `watchdog` drives /dev/misc/gw-wd; `noTimeCache` false
  // caches the clock once per turn (Mux::mux_settimeofday).
  void run(bool watchdog, bool noTimeCache);
  // Ends run() at the end of the current turn; the rest of a dispatch in progress waits for the
  // next run(). Safe in a signal handler.
  void terminate() { terminate_ = 1; }
  // "PING" to the watchdog when it is open.
  void resetWD() { watchdog_.ping(); }
  // The number of the current turn; it goes up by one as each turn starts. Work that must be
  // spread over turns counts against it.
  uint32_t turn() const { return turn_; }
  // Work is left for the next turn (usually an active Dpc) and nothing may wake the loop for
  // it: the next poll does not wait.
  void stay_awake() { stay_awake_ = true; }

  void attach(EventHandler* handler);
  void detach(EventHandler* handler);
  bool event_exists(EventHandler* handler) const;
  // Re-reads the handler's poll-set entry when the current poll set has one for it.
  void refresh(EventHandler* handler);
  // The loop's part of the status dump: the three callback measures, the profiling points and a
  // table of the polled Events.
  void dump(std::ostream& os) const;

  // Timers.
  void set(TimerEvent* timer);
  void reset(TimerEvent* timer);
  // Fires the due timers and runs the deferred calls. Returns the milliseconds until the first
  // pending timer: 0 when one is due now, -1 when none is pending.
  int timers_schedule();

  // Deferred calls.
  void attach(Dpc* dpc);
  void dettach(Dpc* dpc);
  void execute_dpc();

  // Timer-pool plug-ins.
  void hook(TimerPoolPlugin* plugin);
  void unhook(TimerPoolPlugin* plugin);
  // The smallest non-negative wish of the hooked plug-ins, 0x7fffffff for none.
  int timerPoll_schedule();

 private:
  friend struct MultiplexerProbe;
  friend struct WatchdogProbe;
  using HandlerList = F_dual_list<EventHandler>;

  // Steps 1 to 4 of a turn; returns the poll timeout, or kTerminating when the turn ends here.
  int prepare_turn();
  // Steps 5 and 6.
  void poll_and_serve(int timeout);
  void serve();
  // Milliseconds until the first pending timer from `now`: 0 when due, -1 when none.
  int timer_wait(uint32_t now) const;
  void build_poll_set();
  void ping_watchdog();
  HandlerList& active() { return polled_[active_]; }
  HandlerList& served() { return polled_[active_ ^ 1]; }
  const HandlerList& active() const { return polled_[active_]; }
  const HandlerList& served() const { return polled_[active_ ^ 1]; }

  static constexpr int kTerminating = -2;

  F_sorted_list<TimerEvent> timers_;
  HandlerList new_;
  // The active list and the served list; they change roles after each dispatch.
  HandlerList polled_[2];
  unsigned active_ = 0;
  std::vector<pollfd> poll_set_;
  // Active deferred calls, ascending by address; the copy being run by the current pass.
  std::vector<Dpc*> dpcs_;
  std::vector<Dpc*> dpc_pass_;
  volatile std::sig_atomic_t terminate_ = 0;
  Measure dpc_measure_;
  Measure event_measure_;
  Measure timer_measure_;
  std::list<TimerPoolPlugin*> plugins_;
  TimerPollNotify* plugin_pass_ = nullptr;
  Watchdog watchdog_;
  // The handler being served, cleared when it is detached during its call.
  EventHandler* serving_ = nullptr;
  bool cache_time_ = false;
  bool pinged_ = false;
  uint32_t last_ping_ = 0;
  uint32_t turn_ = 0;
  bool stay_awake_ = false;
};

extern Multiplexer& multiplexer;

namespace mux_internal {
// Constructs `multiplexer` before the first static object of any file that includes this
// header, however the files are ordered.
struct Init {
  Init();
};
static Init init;
}  // namespace mux_internal
