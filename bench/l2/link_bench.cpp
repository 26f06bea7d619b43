// SS7 throughput: MSUs per second from one link to another on the link test kit's wire, clean and
// with 1 % of the signal units lost (recovered by negative acknowledgement; when the wire falls
// quiet each end sends a FISU, as the line would repeat it), and the peak of packet buffers held
// per link. Basic-rate network side: I frames per second to eight LAPD terminals on the
// in-process S0 bus, and the peak of packet buffers held per terminal.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <initializer_list>
#include <iostream>
#include <random>
#include <streambuf>
#include <vector>

#include "base/mux_clock.h"
#include "base/timer.h"
#include "tests/l2/s0_bus.h"
#include "bench/l2/slc_pair.h"
#include "tests/support/loop_turns.h"

namespace {

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
    SlcPair pair;
    pair.a.slc->activate();
    pair.pump();
    advance(8200);
    pair.pump();
    if (pair.b.slc->state() != SS7::SLC::State::worked) state.SkipWithError("no alignment");
    std::minstd_rand random(7);
    pair.wire.rule = [&](HdlcWire::Side, const Packet&) {
      return int(random() % 1000) < loss_per_mille ? HdlcWire::Fault::kLose
                                                   : HdlcWire::Fault::kNone;
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

void BM_LapdNtIFrames(benchmark::State& state) {
  static NullBuffer null_buffer;
  std::clog.rdbuf(&null_buffer);
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    Keepalive keepalive;
    S0Bus bus(8);
    bus.exchange.nt->activate();
    // Each terminal takes a TEI, brings its link up and sends a message of its own call.
    for (unsigned char t = 0; t < 8; ++t) {
      bus.terminals[t]->lapd->activate();
      for (int i = 0; i < 10; ++i) bus.pump();
      bus.terminals[t]->send({0x08, 0x01, static_cast<unsigned char>(0x80 | (t + 1)), 0x07});
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
          bus.exchange.send({0x08, 0x01, static_cast<unsigned char>(t + 1), 0x7B, 0x01, 0x02});
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
