#include "tests/support/loop_turns.h"

#include "base/mux_clock.h"
#include "base/timer.h"
#include "tests/support/multiplexer_probe.h"

void turns(int n) {
  for (int i = 0; i < n; ++i) MultiplexerProbe::turn();
}

void advance(unsigned ms) {
  Mux::TestClock::advance_ms(ms);
  turns();
}

namespace {

struct PollLimit {
  void expired() {}
};

}  // namespace

void run_loop_turn() {
  // Bounds the poll; a loop with nothing else to wait for would take itself for hung.
  PollLimit owner;
  Timer limit;
  limit.set(20, &PollLimit::expired, &owner);
  const int timeout = MultiplexerProbe::prepare();
  if (timeout == MultiplexerProbe::kTerminating) return;
  MultiplexerProbe::poll(timeout);
  multiplexer.timers_schedule();
}
