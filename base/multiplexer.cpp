#include "base/multiplexer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <new>


#include "base/dpc.h"
#include "base/event.h"
#include "base/ext_table.h"
#include "base/mux_clock.h"
#include "base/profile.h"
#include "base/timer.h"
#include "base/timer_pool_plugin.h"

namespace {

// Static storage that is never destroyed: the reference below is bound at compile time, the
// object is built by the first mux_internal::Init.
union Storage {
  constexpr Storage() : none() {}
  ~Storage() {}
  char none;
  Multiplexer mux;
};
Storage storage;
unsigned init_count = 0;

constexpr int kNoLimit = 0x7fffffff;

}  // namespace

Multiplexer& multiplexer = storage.mux;

mux_internal::Init::Init() {
  if (init_count++ == 0) new (&storage.mux) Multiplexer();
}

Multiplexer::Multiplexer() = default;

void Multiplexer::run(bool watchdog, bool noTimeCache) {
  terminate_ = 0;
  if (watchdog) watchdog_.start();
  cache_time_ = !noTimeCache;
  if (cache_time_) Mux::mux_settimeofday();
  pinged_ = false;
  while (!terminate_) {
    int timeout = prepare_turn();
    if (timeout != kTerminating) poll_and_serve(timeout);
  }
  std::clog << "Mux: terminating..." << std::endl;
  watchdog_.stop();
  if (cache_time_) Mux::mux_cleartimeofday();
  cache_time_ = false;
}

int Multiplexer::prepare_turn() {
  ++turn_;
  timers_schedule();
  int plugin_wait = timerPoll_schedule();
  build_poll_set();
  execute_dpc();
  if (terminate_) return kTerminating;
  // Timers and handlers may have been added by the deferred calls just run.
  int timeout = timer_wait(Mux::milliseconds());
  if (plugin_wait != kNoLimit && (timeout < 0 || plugin_wait < timeout)) timeout = plugin_wait;
  if (!new_.empty() || stay_awake_) timeout = 0;
  stay_awake_ = false;
  if (timeout < 0 && active().empty()) {
    std::cerr << "multiplexer: system hang detected!!!" << std::endl;
    std::abort();
  }
  if (watchdog_.is_open() && unsigned(timeout) > 1000) timeout = 1000;
  return timeout;
}

void Multiplexer::build_poll_set() {
  while (EventHandler* h = new_.remove_from_head()) active().push_back(h);
  if (poll_set_.size() != active().count()) poll_set_.resize(active().count());
  int i = 0;
  for (EventHandler* h = active().first(); h; h = h->next_item(), ++i) {
    h->poll_index_ = i;
    pollfd& entry = poll_set_[i];
    entry.revents = 0;
    h->shedule_event(entry);
  }
}

void Multiplexer::poll_and_serve(int timeout) {
  int n = ::poll(poll_set_.data(), poll_set_.size(), timeout);
  int error = errno;
  if (cache_time_) Mux::mux_settimeofday();
  ping_watchdog();
  if (n > 0) {
    serve();
  } else if (n < 0 && error != EINTR) {
    std::cerr << "multiplexer poll failed: " << std::strerror(error) << std::endl;
    std::abort();
  }
}

void Multiplexer::serve() {
  for (EventHandler* h = active().first(); h; h = h->next_item())
    h->revents_ = h->poll_index_ >= 0 ? poll_set_[h->poll_index_].revents : 0;
  // One clock read per call: each call's end is the next one's start.
  uint32_t start = Mux::microseconds();
  while (!terminate_) {
    EventHandler* h = active().remove_from_head();
    if (!h) break;
    served().push_back(h);
    serving_ = h;
    h->svc_event();
    uint32_t end = Mux::microseconds();
    unsigned us = end - start;
    start = end;
    event_measure_.sample(us);
    if (serving_ == h) h->served(us);
  }
  serving_ = nullptr;
  // Handlers left unserved by terminate() stay registered, behind the served ones.
  while (EventHandler* h = active().remove_from_head()) served().push_back(h);
  active_ ^= 1;
}

void Multiplexer::ping_watchdog() {
  if (!watchdog_.is_open()) return;
  uint32_t now = Mux::milliseconds();
  if (pinged_ && now >= last_ping_ && now - last_ping_ <= 999) return;
  pinged_ = true;
  last_ping_ = now;
  resetWD();
}

void Multiplexer::attach(EventHandler* handler) {
  if (event_exists(handler)) {
    std::cerr << "duplicate multiplexer attach " << std::flush << '"' << handler->event_name()
              << '"' << " ignored." << std::endl;
    return;
  }
  handler->poll_index_ = -1;
  new_.push_back(handler);
  handler->attached_ = true;
}

void Multiplexer::detach(EventHandler* handler) {
  if (!new_.remove(handler) && !served().remove(handler) && !active().remove(handler)) {
    std::cerr << "indvalid Multiplexer::detach " << std::flush << handler->event_name()
              << std::endl;
    return;
  }
  handler->attached_ = false;
  if (handler->poll_index_ >= 0) {
    pollfd& entry = poll_set_[handler->poll_index_];
    entry.fd = -1;
    entry.revents = 0;
    handler->poll_index_ = -1;
  }
  if (serving_ == handler) serving_ = nullptr;
}

bool Multiplexer::event_exists(EventHandler* handler) const {
  return handler->on(new_) || handler->on(polled_[0]) || handler->on(polled_[1]);
}

void Multiplexer::refresh(EventHandler* handler) {
  if (handler->attached_ && handler->poll_index_ >= 0)
    handler->shedule_event(poll_set_[handler->poll_index_]);
}

void Multiplexer::set(TimerEvent* timer) {
  reset(timer);
  // After the last timer that does not fire after it: equal expiries in arming order.
  timers_.insert_to_tail_by_grown(timer);
}

void Multiplexer::reset(TimerEvent* timer) { timers_.remove(timer); }

int Multiplexer::timer_wait(uint32_t now) const {
  const TimerEvent* first = timers_.first();
  if (!first) return -1;
  int32_t wait = int32_t(first->expiry_ - now);
  return wait > 0 ? wait : 0;
}

int Multiplexer::timers_schedule() {
  uint32_t now = Mux::milliseconds();
  while (TimerEvent* t = timers_.first()) {
    if (int32_t(now - t->expiry_) < 0) break;
    timer_measure_.begin();
    timers_.remove(t);
    t->fire();
    timer_measure_.end();
  }
  execute_dpc();
  if (timer_wait(now) > kMaxWaitMs) {
    std::cerr << "******** RUNTIME ERROR CONDITION *************" << std::endl
              << "Multiplexer::timers_schedule() invalid wait time detected!" << std::endl
              << "now = " << now << std::endl
              << "first = " << timers_.first()->expiry_ << std::endl
              << "count = " << timers_.count() << std::endl;
    for (TimerEvent* t = timers_.first(); t; t = t->next_item()) t->expiry_ = now + 1000;
  }
  return timer_wait(now);
}

void Multiplexer::attach(Dpc* dpc) {
  auto at = std::lower_bound(dpcs_.begin(), dpcs_.end(), dpc, std::less<Dpc*>());
  if (at == dpcs_.end() || *at != dpc) dpcs_.insert(at, dpc);
}

void Multiplexer::dettach(Dpc* dpc) {
  auto at = std::lower_bound(dpcs_.begin(), dpcs_.end(), dpc, std::less<Dpc*>());
  if (at != dpcs_.end() && *at == dpc) dpcs_.erase(at);
  auto pending = std::find(dpc_pass_.begin(), dpc_pass_.end(), dpc);
  if (pending != dpc_pass_.end()) *pending = nullptr;
}

void Multiplexer::execute_dpc() {
  dpc_pass_.assign(dpcs_.begin(), dpcs_.end());
  for (size_t i = 0; i < dpc_pass_.size(); ++i) {
    Dpc* dpc = dpc_pass_[i];
    if (!dpc) continue;
    dpc_pass_[i] = nullptr;
    dpc_measure_.begin();
    dpc->invoke();
    dpc_measure_.end();
  }
  dpc_pass_.clear();
}

void Multiplexer::hook(TimerPoolPlugin* plugin) { plugins_.push_back(plugin); }

void Multiplexer::unhook(TimerPoolPlugin* plugin) {
  if (plugin_pass_)
    plugin_pass_->removeTimerPoolPlugin(plugin);
  else
    plugins_.remove(plugin);
}

int Multiplexer::timerPoll_schedule() {
  if (plugins_.empty()) return kNoLimit;
  // The plug-ins still to ask in this pass; one unhooked meanwhile is not asked.
  struct TimerPollGuard : TimerPollNotify {
    explicit TimerPollGuard(std::list<TimerPoolPlugin*>& hooked) : hooked(hooked) {}
    void removeTimerPoolPlugin(TimerPoolPlugin* plugin) override {
      hooked.remove(plugin);
      pending.remove(plugin);
    }
    std::list<TimerPoolPlugin*>& hooked;
    std::list<TimerPoolPlugin*> pending;
  } guard(plugins_);
  guard.pending.splice(guard.pending.end(), plugins_);
  plugin_pass_ = &guard;
  int result = kNoLimit;
  while (!guard.pending.empty()) {
    TimerPoolPlugin* plugin = guard.pending.front();
    plugins_.splice(plugins_.end(), guard.pending, guard.pending.begin());
    int wish = plugin->next_timeout();
    if (wish >= 0 && wish < result) result = wish;
  }
  plugin_pass_ = nullptr;
  return result;
}

void Multiplexer::dump(std::ostream& os) const {
  os << "dpc transition measurement (min/max/cur/counter): " << dpc_measure_ << std::endl
     << "event transition measurement (min/max/cur/counter): " << event_measure_ << std::endl
     << "timer transition measurement (min/max/cur/counter): " << timer_measure_ << std::endl;
  Profile::dump(os);
  ext::Table table(40, 30, 10, 10, 5, 60);
  ext::Table::Sentry(os, table) << ext::delimeter;
  ext::Table::Sentry(os, table) << ext::beginrow << "name" << ext::nextrow << "events"
                                << ext::nextrow << "count" << ext::nextrow << "handler"
                                << ext::nextrow << "fd" << ext::nextrow << "measure"
                                << ext::nextrow << ext::delimeter;
  for (const EventHandler* h = active().first(); h; h = h->next_item()) {
    const Event* e = h->is_named() ? dynamic_cast<const Event*>(h) : nullptr;
    if (!e) continue;
    ext::Table::Sentry(os, table) << ext::beginrow << e->event_name() << ext::nextrow
                                  << PollEventAsText(e->events()) << ext::nextrow << e->hits()
                                  << ext::nextrow << (e->bound() ? "attached" : "unattached")
                                  << ext::nextrow << e->fd().get() << ext::nextrow
                                  << e->measure() << ext::nextrow;
  }
  ext::Table::Sentry(os, table) << ext::delimeter;
  os << std::endl;
}
