// The cost per received packet of the radio controls' receive loop: 1000 ED-137 TX packets
// queued on the simulated header-extension engine, read in one readable event (a packet-info
// request and a read each) from 1 source (one run: one packet processed) and from 10 sources in
// turn (every packet a new run, so every one becomes a report). The simulator's answer to each
// request is part of the cost, as the kernel engine's would be.
#include <benchmark/benchmark.h>
#include <poll.h>

#include <string>

#include "radio/ed137_radio_control.h"
#include "tools/simctl/board_sim.h"

namespace {

constexpr int kPackets = 1000;

class Control : public RTPSignalling::ED137RadioGWControl {
 public:
  using ED137RadioGWControl::ED137RadioGWControl;
  void Readable() { OnRtpExtEvent(ext_fd().get(), POLLIN); }
};

void BM_ReceiveLoop(benchmark::State& state) {
  BoardSim board;
  if (!board.ok()) {
    state.SkipWithError("no simulated board");
    return;
  }
  Control control(rtp_ext_init_params{0x0167, 0, 1, 123, 10, 1});
  const int sources = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < kPackets; ++i) {
      board.command("rtpext rx 0 " + std::to_string(i % sources + 1) + " 127.0.0." +
                    std::to_string(i % sources + 1) + " 2" + std::to_string(i % 10) + "400000");
    }
    state.ResumeTiming();
    control.Readable();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kPackets);
  state.counters["s_per_packet"] =
      benchmark::Counter(double(state.iterations()) * kPackets,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReceiveLoop)
    ->ArgName("sources")
    ->Arg(1)
    ->Arg(10)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
