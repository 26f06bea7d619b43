#include "bench/l2/libpri_pair.h"

extern "C" {
#include <libpri.h>
}
#include <sys/time.h>

#include <algorithm>
#include <cstring>

#include "bench/l2/benchmark_message.h"
#include "bench/l2/peer_clock.h"
#include "tests/support/loop_turns.h"

// libpri's own functions, outside its public header.
extern "C" {
int q921_transmit_iframe(struct q921_link* link, void* buf, int len, int cr);
int __real_q931_receive(struct q921_link* link, void* h, int len);
void __real_q931_dl_event(struct q921_link* link, int event);
int __wrap_q931_receive(struct q921_link* link, void* h, int len);
void __wrap_q931_dl_event(struct q921_link* link, int event);
}

namespace {

// The end whose libpri runs now: callbacks from inside libpri belong to it. Each entry into
// libpri sets it; nothing runs libpri from inside libpri.
LibpriPair::End* g_running = nullptr;

struct Running {
  explicit Running(LibpriPair::End& end) { g_running = &end; }
};

// libpri's read and write callbacks run inside the end that called into it.
int wire_read(struct pri*, void* buf, int buflen) {
  return static_cast<int>(std::max(g_running->read(buf, static_cast<size_t>(buflen)), 0L));
}

int wire_write(struct pri*, void* buf, int buflen) {
  return g_running->write(static_cast<unsigned char*>(buf), static_cast<unsigned>(buflen)) ? buflen
                                                                                           : -1;
}

void quiet(struct pri*, char*) {}

void note(LibpriPair::End& end, pri_event* e) {
  if (e && e->e == PRI_EVENT_DCHAN_UP) end.up = true;
  if (e && e->e == PRI_EVENT_DCHAN_DOWN) end.up = false;
}

void run_due(LibpriPair::End& end, const timeval& now) {
  Running running(end);
  for (;;) {
    struct timeval* next = pri_schedule_next(end.pri);
    if (!next || timercmp(next, &now, >)) return;
    note(end, pri_schedule_run(end.pri));
  }
}

}  // namespace

extern "C" int __wrap_q931_receive(struct q921_link* link, void* h, int len) {
  if (g_running && g_running->link == link &&
      is_benchmark_message(static_cast<unsigned char*>(h), static_cast<unsigned>(len))) {
    ++g_running->received;
    return 0;
  }
  return __real_q931_receive(link, h, len);
}

extern "C" void __wrap_q931_dl_event(struct q921_link* link, int event) {
  if (g_running) g_running->link = link;
  __real_q931_dl_event(link, event);
}

void LibpriPair::End::receive(const unsigned char* octets, unsigned len) {
  Running running(*this);
  arrived = octets;
  arrived_len = len;
  note(*this, pri_check_event(pri));
  arrived = nullptr;
}

LibpriPair::LibpriPair(HdlcWire& wire) : line_(wire, a, b) { start(); }

LibpriPair::LibpriPair(FrameRing& ring) : line_(ring, a, b) { start(); }

void LibpriPair::start() {
  pri_set_message(quiet);
  pri_set_error(quiet);
  {
    Running running(a);
    a.pri = pri_new_cb(-1, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, wire_read, wire_write, &a);
  }
  {
    Running running(b);
    b.pri = pri_new_cb(-1, PRI_CPE, PRI_SWITCH_EUROISDN_E1, wire_read, wire_write, &b);
  }
}

// libpri has no call that frees a controller; the pair's two stay until the process ends.
LibpriPair::~LibpriPair() = default;

bool LibpriPair::establish() {
  for (int i = 0; i < 2000 && !up(); ++i) {
    turn();
    if (line_.wire->idle()) run_next_timer();
  }
  return up();
}

void LibpriPair::send(const unsigned char* octets, int len) {
  Running running(a);
  q921_transmit_iframe(a.link, const_cast<unsigned char*>(octets), len, 1);
}

void LibpriPair::run_timers() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  run_due(a, now);
  run_due(b, now);
}

void LibpriPair::turn() {
  turns();
  run_timers();
}

void LibpriPair::run_next_timer() {
  PeerClock::advance_to_first(pri_schedule_next(a.pri), pri_schedule_next(b.pri));
  run_timers();
}
