// The event loop's cost per turn and per timer operation, each beside a bare poll() loop over the
// same descriptors.
//
// LoopTurn/N: one turn of Multiplexer::run with N registered Events (eventfds, one of them
// always readable so poll() returns at once and every handler is served, as in a real turn)
// and N pending timers. BarePoll/N: poll() over the same N descriptors and a scan of the
// returned events. TimerArmCancel/P: Timer::set then reset among 1000 pending timers, the new
// expiry last (P=0), in the middle (P=1) or first (P=2) of the list.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <vector>

#include "base/dpc.h"
#include "base/event.h"
#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "base/timer.h"

namespace {

struct Idle {
  Idle(unsigned delay_ms, bool ready) {
    Fd fd(::eventfd(ready ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK));
    event.Bind("Idle::on_event", &Idle::on_event, this);
    event.Schedule(std::move(fd), POLLIN);
    timer.set(delay_ms, &Idle::on_timer, this);
  }
  void on_event(int, short revents) {
    if (revents & POLLIN) ++hits;
  }
  void on_timer() {}
  Event event;
  Timer timer;
  unsigned hits = 0;
};

// N descriptors, one of them ready, and N timers an hour or more ahead.
struct Load {
  explicit Load(int n) {
    for (int i = 0; i < n; ++i) idle.push_back(std::make_unique<Idle>(3600000 + i, i == n / 2));
  }
  std::vector<std::unique_ptr<Idle>> idle;
};

// Counts turns: the first of each turn's two deferred-call passes asks the benchmark for one
// more iteration and ends the loop when there is none.
struct Driver {
  explicit Driver(benchmark::State& state) : state(state) {
    dpc.Bind(this, &Driver::pass);
    dpc.Activate();
  }
  void pass() {
    if ((first = !first) && !state.KeepRunning()) multiplexer.terminate();
  }
  benchmark::State& state;
  bool first = false;
  Dpc dpc;
};

void LoopTurn(benchmark::State& state) {
  Load load(int(state.range(0)));
  Driver driver(state);
  multiplexer.run(false, true);
}

void BarePoll(benchmark::State& state) {
  Load load(int(state.range(0)));
  std::vector<pollfd> set;
  for (const auto& i : load.idle) set.push_back(pollfd{i->event.fd().get(), POLLIN, 0});
  unsigned hits = 0;
  for (auto _ : state) {
    int n = ::poll(set.data(), set.size(), -1);
    for (const pollfd& p : set)
      if (p.revents & POLLIN) ++hits;
    benchmark::DoNotOptimize(n);
  }
  benchmark::DoNotOptimize(hits);
}

void TimerArmCancel(benchmark::State& state) {
  // A still clock keeps the new expiry at the same place among the others.
  Mux::TestClock::set(uint64_t(1) << 40);
  Load load(1000);
  static const unsigned kDelay[] = {7000000, 3600500, 1};
  Idle& probe = *load.idle.front();
  unsigned delay = kDelay[state.range(0)];
  for (auto _ : state) {
    probe.timer.set(delay, &Idle::on_timer, &probe);
    probe.timer.reset();
  }
  Mux::TestClock::release();
}

BENCHMARK(LoopTurn)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BarePoll)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(TimerArmCancel)->Arg(0)->Arg(1)->Arg(2);

// Keeps each result's time per iteration for the comparison printed at the end.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration)
        ns[r.benchmark_name()] = r.GetAdjustedRealTime() *
                                 benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                 benchmark::GetTimeUnitMultiplier(r.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ns;
};

}  // namespace

int main(int argc, char** argv) {
  rlimit files;
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  // Each run of the loop ends with a progress line; keep the table readable.
  std::clog.rdbuf(nullptr);
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  std::printf("\n%-34s %12s %12s %8s\n", "", "loop (ns)", "bare poll", "ratio");
  for (const char* n : {"10", "100", "1000"}) {
    double loop = collector.ns["LoopTurn/" + std::string(n)];
    double bare = collector.ns["BarePoll/" + std::string(n)];
    if (loop > 0 && bare > 0)
      std::printf("one turn, %4s descriptors+timers   %12.0f %12.0f %8.2f\n", n, loop, bare,
                  loop / bare);
  }
  static const char* const kWhere[] = {"last", "middle", "first"};
  double bare = collector.ns["BarePoll/1000"];
  for (int p = 0; p < 3; ++p) {
    double arm = collector.ns["TimerArmCancel/" + std::to_string(p)];
    if (arm > 0 && bare > 0)
      std::printf("arm+cancel among 1000, %-6s      %12.0f %12.0f %8.4f\n", kWhere[p], arm, bare,
                  arm / bare);
  }
  benchmark::Shutdown();
  return 0;
}
