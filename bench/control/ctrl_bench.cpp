// The control server on loopback beside a bare TPKT echo on the same event loop.
//
// One loop thread serves two acceptors, as the daemon's loop would: `ctrlServer` with the
// heartbeat (every ping is decoded, dispatched and answered with an encoded response), and a
// Control::AcceptorNet whose sink sends every frame straight back (the transport alone).
//
// BM_PingRoundTrip sends one ping and waits for its response, then sends the same frame to the
// echo and waits for it back; it reports p50 and p99 of each and the ratio of the medians.
// BM_Pipelined keeps `window` pings (or frames) in flight and counts answered messages per
// second; its counters give the ratio of the server's rate to the echo's.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "asn1/coder_env.h"
#include "bench/modules/lgcp_frame_bench.h"
#include "bench/proto/loopback_bench.h"
#include "base/multiplexer.h"
#include "proto/acceptor_check.h"
#include "control/ctrl_server.h"
#include "control/heartbeat_ctl.h"

namespace {

// The loop thread with both servers; ends when destroyed.
class Servers {
 public:
  std::atomic<unsigned short> control_port_{0};
  std::atomic<unsigned short> echo_port_{0};

 private:
  bench::ServerThread loop_{[this](bench::ServerThread& loop) {
    std::clog.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    auto* control = new Control::AcceptorNetCheckConnection(0, false);
    static const bool bound = (ctrlServer.Bind(&HeartBeatCtl::instance()), true);
    (void)bound;
    ctrlServer.Activate(control);
    Control::AcceptorNet echo(0, false);
    bench::EchoSink sink(echo);
    echo.Bind(&sink);
    echo.Activate();
    echo_port_ = echo.local_port();
    control_port_ = control->local_port();
    loop.serve(echo_port_);
    echo.Deactivate();
    echo.UnBind();
    ctrlServer.Deactivate();
  }};
};

const std::string ping = bench::lgcp_frame("{ seq 1, pdu command : ping : NULL }");
const std::string success = bench::lgcp_frame("{ seq 1, pdu response : success : NULL }");

bool write_all(int fd, const std::string& bytes) {
  return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

void BM_PingRoundTrip(benchmark::State& state) {
  Servers servers;
  Fd control = connect_loopback(servers.control_port_), echo = connect_loopback(servers.echo_port_);
  std::vector<char> buf(ping.size() + success.size());
  std::vector<double> server_us, echo_us;
  for (auto _ : state) {
    const double s = bench::round_trip(control.get(), ping, success.size(), buf);
    const double e = bench::round_trip(echo.get(), ping, ping.size(), buf);
    if (s < 0 || e < 0 || std::string(buf.data(), ping.size()) != ping) {
      state.SkipWithError("no answer");
      break;
    }
    server_us.push_back(s);
    echo_us.push_back(e);
  }
  bench::compare(state, "server", server_us, "echo", echo_us);
}

// `window` messages in flight; one iteration sends and reads back `count` of them.
bool pipeline(int fd, const std::string& out, size_t answer_size, size_t count, size_t window) {
  std::string burst;
  for (size_t i = 0; i < window; ++i) burst += out;
  std::vector<char> buf(answer_size * window);
  if (!write_all(fd, burst)) return false;
  for (size_t done = window; done < count; done += window) {
    if (!bench::read_exactly(fd, buf.data(), buf.size()) || !write_all(fd, burst)) return false;
  }
  return bench::read_exactly(fd, buf.data(), buf.size());
}

void BM_Pipelined(benchmark::State& state, bool through_server) {
  Servers servers;
  Fd client = connect_loopback(through_server ? servers.control_port_ : servers.echo_port_);
  const size_t window = size_t(state.range(0)), count = 64 * window;
  for (auto _ : state) {
    if (!pipeline(client.get(), ping, through_server ? success.size() : ping.size(), count,
                  window)) {
      state.SkipWithError("no answer");
      break;
    }
  }
  state.counters["messages_per_s"] =
      benchmark::Counter(double(state.iterations() * count), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_PingRoundTrip)->Iterations(20000)->UseRealTime();
BENCHMARK_CAPTURE(BM_Pipelined, server, true)->Arg(1)->Arg(16)->Arg(64)->UseRealTime();
BENCHMARK_CAPTURE(BM_Pipelined, echo, false)->Arg(1)->Arg(16)->Arg(64)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
