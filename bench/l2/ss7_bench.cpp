// SS7 throughput: MSUs per second from one link to another on the in-process wire, clean and
// with 1 % of the signal units lost (recovered by negative acknowledgement; when the wire falls
// quiet each end sends a FISU, as the line would repeat it), and the peak of packet buffers held
// per link.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <streambuf>

#include "base/mux_clock.h"
#include "base/timer.h"
#include "tests/l2/slc_pair.h"
#include "tests/support/loop_turns.h"

namespace {

struct Keepalive {
  Keepalive() { timer.set(3600 * 1000, &Keepalive::none, this); }
  void none() {}
  Timer timer;
};

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

void BM_Ss7Msus(benchmark::State& state) {
  // The links' log lines are not what is measured.
  static NullBuffer null_buffer;
  std::clog.rdbuf(&null_buffer);
  std::cerr.rdbuf(&null_buffer);
  const int loss_per_mille = static_cast<int>(state.range(0));
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    Keepalive keepalive;
    SlcPair pair;
    pair.a.count_only = pair.b.count_only = true;
    pair.a.slc->activate();
    pair.pump();
    advance(8200);
    pair.pump();
    if (pair.b.slc->state() != SS7::SLC::State::worked) state.SkipWithError("no alignment");
    std::minstd_rand random(7);
    pair.lose = [&](const SlcEnd&, const Bytes&) {
      return int(random() % 1000) < loss_per_mille;
    };
    const Bytes msu = numbered(1, 32);
    const unsigned baseline = 1024 - packet_pool().free_count();
    unsigned peak = 0;
    const unsigned batch = 1000;
    for (auto _ : state) {
      const unsigned target = pair.b.received_count + batch;
      unsigned sent = 0;
      while (pair.b.received_count < target) {
        for (; sent < batch && pair.a.slc->tb_count() < 100; ++sent) pair.send(pair.a, msu);
        peak = std::max(peak, 1024 - packet_pool().free_count() - baseline);
        pair.pump();
        if (pair.b.received_count < target) {
          // Quiet wire: the line's repeated FISUs.
          pair.a.slc->on_hdlc_ready();
          pair.b.slc->on_hdlc_ready();
          pair.pump();
        }
        if (pair.a.slc->state() != SS7::SLC::State::worked) break;
      }
      if (pair.a.slc->state() != SS7::SLC::State::worked) {
        state.SkipWithError("link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
    state.counters["peak_packets_per_link"] = peak;
    state.counters["retransmissions"] = pair.a.slc->statistics().retransmissions;
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_Ss7Msus)->Arg(0)->Arg(10)->ArgName("loss_per_mille");

}  // namespace

BENCHMARK_MAIN();
