// Basic-rate network side: I frames per second to eight LAPD terminals on the in-process S0 bus,
// and the peak of packet buffers held per terminal. (SS7 throughput, beside libss7's, is in
// peer_bench.)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "base/mux_clock.h"
#include "base/timer.h"
#include "bench/l2/quiet_logs.h"
#include "tests/l2/s0_bus.h"

namespace {

void BM_LapdNtIFrames(benchmark::State& state) {
  quiet_logs();
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    Keepalive keepalive;
    S0Bus bus(8);
    bus.exchange.nt->activate();
    // Each terminal takes a TEI, brings its link up and sets up a call of its own, to which the
    // exchange then sends its messages.
    for (unsigned char t = 0; t < 8; ++t) {
      bus.terminals[t]->lapd->activate();
      for (int i = 0; i < 10; ++i) bus.pump();
      bus.terminals[t]->send({0x08, 0x01, static_cast<unsigned char>(t + 1), 0x05});
      for (int i = 0; i < 3; ++i) bus.pump();
    }
    const unsigned baseline = 1024 - packet_pool().free_count();
    unsigned peak = 0;
    const unsigned batch = 1000;
    auto received = [&] {
      size_t n = 0;
      for (auto& t : bus.terminals) n += t->received.size();
      return n;
    };
    for (auto _ : state) {
      const size_t target = received() + batch;
      while (received() < target) {
        for (unsigned char t = 0; t < 8; ++t)
          bus.exchange.send({0x08, 0x01, static_cast<unsigned char>(0x80 | (t + 1)), 0x7B, 0x01, 0x02});
        peak = std::max(peak, 1024 - packet_pool().free_count() - baseline);
        bus.pump();
        bus.pump();
      }
      state.PauseTiming();
      for (auto& t : bus.terminals) t->received.clear();
      state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
    state.counters["peak_packets_per_terminal"] = peak / 8.0;
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_LapdNtIFrames);

}  // namespace

BENCHMARK_MAIN();
