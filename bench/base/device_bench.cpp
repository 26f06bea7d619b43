// One device request through the seam on the simulated board: the daemon's send and receive, the
// simulator's answer and its request log. BM_DeviceRequest/echo is a value request on the seam's
// diagnostic device; BM_DeviceRequest/switch_disable is the switch's disable request, the one its
// background refresh makes, and BM_DeviceRequest/switch_refresh is 128 of those in a row, one
// run of that refresh (HwMux) on a board that has nothing else to do. BM_BareRoundTrip is the
// floor they stand on: a message of the same size to a child process that sends it straight back
// over a SOCK_SEQPACKET socket pair, the two process wake-ups alone. Counters: p50 and p99 of one
// iteration in microseconds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "bench/proto/loopback_bench.h"
#include "tools/simctl/board_sim.h"

namespace {

template <class Exchange>
void time_round_trips(benchmark::State& state, Exchange exchange) {
  std::vector<double> us;
  us.reserve(size_t(state.max_iterations));
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = exchange();
    us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    if (!ok) {
      state.SkipWithError("no answer");
      return;
    }
  }
  state.counters["p50_us"] = bench::percentile(us, 0.5);
  state.counters["p99_us"] = bench::percentile(us, 0.99);
}

void BM_BareRoundTrip(benchmark::State& state) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    state.SkipWithError("no socket pair");
    return;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ends[0]);
    char message[64];
    for (ssize_t n; (n = ::recv(ends[1], message, sizeof message, 0)) > 0;) {
      ::send(ends[1], message, size_t(n), MSG_NOSIGNAL);
    }
    ::_exit(0);
  }
  Fd ours(ends[0]);
  ::close(ends[1]);
  char message[28] = {};
  time_round_trips(state, [&] {
    return ::send(ours.get(), message, sizeof message, MSG_NOSIGNAL) == sizeof message &&
           ::recv(ours.get(), message, sizeof message, 0) > 0;
  });
  ours.close();
  ::waitpid(child, nullptr, 0);
}

// `count` requests in a row an iteration.
void BM_DeviceRequest(benchmark::State& state, const char* device, uint32_t request, bool record,
                      unsigned count) {
  static BoardSim board;
  Fd fd(Device::open(device, O_RDWR));
  if (!board.ok() || !fd) {
    state.SkipWithError("no simulated board");
    return;
  }
  uint32_t output = 8192;
  time_round_trips(state, [&] {
    for (unsigned i = 0; i < count; ++i) {
      if ((record ? Device::ioctl(fd.get(), request, &output, sizeof output)
                  : Device::ioctl(fd.get(), request, 7ul)) < 0)
        return false;
    }
    return true;
  });
}

BENCHMARK(BM_BareRoundTrip)->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(BM_DeviceRequest, echo, "/dev/sim/echo", 0x00005303u, false, 1)
    ->Iterations(20000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DeviceRequest, switch_disable, "/dev/hal", 0x80044d03u, true, 1)
    ->Iterations(20000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DeviceRequest, switch_refresh, "/dev/hal", 0x80044d03u, true, 128)
    ->Iterations(500)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
