// Our links beside independent stacks on the same in-process wire of the link test kit, driven
// alike: each loop turn tops up to 100 frames of 32 octets sent and not yet delivered to layer 3.
// ISDN LAPD runs against libpri's Q.921 (primary rate, window 7 on both), SS7 signalling link
// control against libss7's MTP2. Each reports frames (or MSUs) per second delivered to layer 3;
// after the runs the program prints ours against the peer's on the clean wire, with the ratio.
// Our SS7 link also runs with 1 % of the units lost (recovered by negative acknowledgement); ours
// report the peak of packet buffers each link held. (l2_bench has LAPD with loss and on the real
// clock.)
//
// For steady figures on a shared machine:
//   peer_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// Instructions per frame without the wire: bench/l2/instructions_per_frame.sh PEER_BENCH.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/mux_clock.h"
#include "bench/l2/lapd_owner.h"
#include "bench/l2/libpri_pair.h"
#include "bench/l2/libss7_pair.h"
#include "bench/l2/quiet_logs.h"
#include "bench/l2/slc_pair.h"
#include "l2/isdn/lapd.h"
#include "tests/l2/l2_support.h"
#include "tests/support/hdlc_wire.h"
#include "tests/support/loop_turns.h"

namespace {

constexpr unsigned kBatch = 1000;
constexpr unsigned kOutstanding = 100;
constexpr unsigned kPayload = 32;
constexpr unsigned kLapdWire = 64;
constexpr unsigned kSs7Wire = 1000;

// A wire rule losing about `per_mille` of the frames, the same sequence every run.
struct Loss {
  explicit Loss(int per_mille) : per_mille(per_mille) {}
  HdlcWire::Fault operator()(HdlcWire::Side, const Packet&) {
    return int(random() % 1000) < per_mille ? HdlcWire::Fault::kLose : HdlcWire::Fault::kNone;
  }
  int per_mille;
  std::minstd_rand random{7};
};

// Loss on `wire`; a clean wire has no rule at all, as the peers' wire has none.
void lose(HdlcWire& wire, int per_mille) {
  if (per_mille > 0) wire.rule = Loss(per_mille);
}

// One iteration: kBatch frames delivered, each loop turn topping up to kOutstanding sent and not
// yet delivered, the same for every link. `send` sends one frame, `received` counts the frames
// delivered so far, `turn` runs the wire once and is false when the link is lost; `total` counts
// the frames sent over all iterations. False when the link was lost.
template <class Send, class Received, class Turn>
bool deliver_batch(unsigned& total, Send send, Received received, Turn turn) {
  const unsigned target = received() + kBatch;
  unsigned sent = 0;
  while (received() < target) {
    for (; sent < kBatch && total - received() < kOutstanding; ++sent, ++total) send();
    if (!turn()) return false;
  }
  return true;
}

void BM_LapdIFrames(benchmark::State& state) {
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    HdlcWire wire(kLapdWire);
    wire.tracing = false;
    LapdOwner a(ISDN::Side::user, wire.a());
    LapdOwner b(ISDN::Side::network, wire.b());
    a.lapd->activate();
    while (a.lapd->full_state().state != 6 || b.lapd->full_state().state != 6) {
      turns();
      if (wire.idle()) Mux::TestClock::advance_ms(1000);
    }
    const unsigned baseline = 1024 - packet_pool().free_count();
    unsigned peak = 0;
    unsigned total = 0;
    for (auto _ : state) {
      deliver_batch(
          total,
          [&] {
            Packet p;
            a.lapd->prepare_head(p);
            std::memset(p.put(kPayload), 0x5A, kPayload);
            a.lapd->message(p);
          },
          [&] { return b.received; },
          [&] {
            turns();
            peak = std::max(peak, 1024 - packet_pool().free_count() - baseline);
            if (wire.idle()) Mux::TestClock::advance_ms(1000);
            return true;
          });
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    state.counters["peak_packets_per_link"] = peak / 2.0;
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_LapdIFrames);

void BM_LibpriIFrames(benchmark::State& state) {
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    quiet_logs();
    LibpriPair pair(kLapdWire);
    if (!pair.establish()) state.SkipWithError("libpri links did not come up");
    unsigned char payload[kPayload];
    std::memset(payload, 0x5A, sizeof payload);
    unsigned total = 0;
    for (auto _ : state) {
      const bool up = deliver_batch(
          total, [&] { pair.send(payload, kPayload); }, [&] { return pair.b.received; },
          [&] {
            pair.turn();
            if (pair.wire.idle()) pair.run_next_timer();
            return pair.a.up;
          });
      if (!up) {
        state.SkipWithError("libpri link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_LibpriIFrames);

void BM_Ss7Msus(benchmark::State& state) {
  quiet_logs();
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    SlcPair pair;
    pair.a.slc->activate();
    pair.pump();
    advance(8200);
    pair.pump();
    if (pair.b.slc->state() != SS7::SLC::State::worked) state.SkipWithError("no alignment");
    lose(pair.wire, static_cast<int>(state.range(0)));
    const Bytes msu = numbered(1, kPayload);
    const unsigned baseline = 1024 - packet_pool().free_count();
    unsigned peak = 0;
    unsigned total = 0;
    for (auto _ : state) {
      const bool up = deliver_batch(
          total, [&] { pair.send(pair.a, msu); }, [&] { return pair.b.received_count; },
          [&] {
            peak = std::max(peak, 1024 - packet_pool().free_count() - baseline);
            turns();
            if (pair.wire.idle()) {
              // Quiet wire: the line's repeated FISUs.
              pair.a.slc->on_hdlc_ready();
              pair.b.slc->on_hdlc_ready();
            }
            return pair.a.slc->state() == SS7::SLC::State::worked;
          });
      if (!up) {
        state.SkipWithError("link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    state.counters["peak_packets_per_link"] = peak;
    state.counters["retransmissions"] = pair.a.slc->statistics().retransmissions;
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_Ss7Msus)->Arg(0)->Arg(10)->ArgName("loss_per_mille");

void BM_Libss7Msus(benchmark::State& state) {
  quiet_logs();
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    Libss7Pair pair(kSs7Wire);
    if (!pair.establish()) state.SkipWithError("libss7 links did not come into service");
    const Bytes msu = numbered(1, kPayload);
    unsigned total = 0;
    for (auto _ : state) {
      const bool up = deliver_batch(
          total, [&] { pair.send(msu.data(), static_cast<int>(msu.size())); },
          [&] { return pair.b.received; },
          [&] {
            pair.turn();
            return pair.a.up;
          });
      if (!up) {
        state.SkipWithError("libss7 link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_Libss7Msus);

// The console's report, then the clean-wire rates of ours against the peer's: the median of the
// runs of each (--benchmark_repetitions=N gives N of them; with
// --benchmark_enable_random_interleaving the load of a shared machine falls on both alike).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("items_per_second");
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && it != run.counters.end())
        rates_[run.run_name.str()].push_back(it->second.value);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    ratio("LAPD I frames/s", "BM_LapdIFrames", "libpri Q.921",
          "BM_LibpriIFrames");
    ratio("SS7 MSUs/s", "BM_Ss7Msus/loss_per_mille:0", "libss7 MTP2", "BM_Libss7Msus");
  }

 private:
  double median(const std::string& name) const {
    auto it = rates_.find(name);
    if (it == rates_.end()) return 0;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  }
  void ratio(const char* what, const std::string& ours, const char* peer_name,
             const std::string& peer) const {
    const double o = median(ours), p = median(peer);
    if (o <= 0 || p <= 0) return;
    std::printf("%s: ours %.3g, %s %.3g, ratio %.2f\n", what, o, peer_name, p, o / p);
  }

  std::map<std::string, std::vector<double>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
