// LAPD throughput: I frames from one link to another on the link test kit's wire, window 7, clean
// and with 1 % of the frames lost (recovered by REJ and, when the last frame of a burst or its
// acknowledgement is lost, by T200); the peak of packet buffers held per link; and the cost of
// tracing a SETUP with the Q.931 decoder.
//
// On the test clock a T200 expiry costs nothing: the figure is frames per unit of work (CPU time),
// what the code costs, and with loss it can exceed the clean one. On the real clock the link waits
// out each T200 (1 s) as it would on a D channel: frames per second of wall time, what a link
// delivers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "base/mux_clock.h"
#include "bench/l2/lapd_owner.h"
#include "base/timer.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/q931_trace.h"
#include "tests/l2/l2_support.h"
#include "tests/support/hdlc_wire.h"
#include "tests/support/loop_turns.h"

namespace {

void BM_LapdIFrames(benchmark::State& state) {
  const int loss_per_mille = static_cast<int>(state.range(0));
  const bool real_clock = state.range(1) != 0;
  if (!real_clock) Mux::TestClock::set(uint64_t(1000) * 1000000);
  state.SetLabel(real_clock ? "real clock: frames per second"
                            : "test clock: frames per unit of work");
  // One turn: on the test clock, when nothing is in flight, the clock jumps to the next T200; on
  // the real clock the turn waits for it.
  auto turn = [&](const HdlcWire& wire) {
    if (!wire.idle())
      turns();
    else if (real_clock)
      run_loop_turn();
    else
      advance(1000);
  };
  {
    HdlcWire wire(64);
    wire.tracing = false;
    std::minstd_rand random(7);
    wire.rule = [&](HdlcWire::Side, const Packet&) {
      return int(random() % 1000) < loss_per_mille ? HdlcWire::Fault::kLose
                                                   : HdlcWire::Fault::kNone;
    };
    LapdOwner a(ISDN::Side::user, wire.a());
    LapdOwner b(ISDN::Side::network, wire.b());
    Keepalive keepalive;
    a.lapd->activate();
    while (a.lapd->full_state().state != 6 || b.lapd->full_state().state != 6) turn(wire);
    const unsigned baseline = 1024 - packet_pool().free_count();
    unsigned peak = 0;
    const unsigned batch = 1000;
    for (auto _ : state) {
      const unsigned target = b.received + batch;
      unsigned sent = 0;
      while (b.received < target) {
        for (; sent < batch && a.lapd->out_queue_count() < 100; ++sent) {
          Packet p;
          a.lapd->prepare_head(p);
          std::memset(p.put(32), 0x5A, 32);
          a.lapd->message(p);
        }
        turn(wire);
        peak = std::max(peak, 1024 - packet_pool().free_count() - baseline);
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
    state.counters["peak_packets_per_link"] = peak / 2.0;
    state.counters["retransmitted"] = a.lapd->stats().retrains;
    state.counters["t200_expiries"] = a.lapd->stats().t200 + b.lapd->stats().t200;
  }
  if (!real_clock) Mux::TestClock::release();
}
BENCHMARK(BM_LapdIFrames)
    ->ArgNames({"loss_per_mille", "real_clock"})
    ->Args({0, 0})
    ->Args({10, 0});
// Wall time: the waits for T200 are the point.
BENCHMARK(BM_LapdIFrames)
    ->ArgNames({"loss_per_mille", "real_clock"})
    ->Args({0, 1})
    ->Args({10, 1})
    ->UseRealTime();

void BM_DlogframeSetup(benchmark::State& state) {
  const unsigned char setup[] = {0x00, 0x01, 0x00, 0x00, 0x08, 0x02, 0x00, 0x05, 0x05, 0xA1, 0x04,
                                 0x03, 0x80, 0x90, 0xA3, 0x18, 0x03, 0xA9, 0x83, 0x81, 0x6C, 0x06,
                                 0x01, 0x80, 0x35, 0x35, 0x35, 0x31, 0x70, 0x05, 0x81, 0x31, 0x32,
                                 0x33, 0x34, 0x28, 0x04, 0x4E, 0x61, 0x6D, 0x65};
  for (auto _ : state) {
    ISDN::dlogframe(setup, sizeof setup, 1, ISDN::logbuf);
    benchmark::DoNotOptimize(ISDN::logbuf[0]);
  }
}
BENCHMARK(BM_DlogframeSetup);

}  // namespace

BENCHMARK_MAIN();
