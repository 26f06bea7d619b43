// Helpers shared by the benchmarks that measure a server on loopback TCP: a sink that echoes
// every message of a control connection, a loop thread for the servers, timed round trips and
// percentiles; the loopback client and TPKT framing come from tests/support/loopback.h.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/fd.h"
#include "base/multiplexer.h"
#include "proto/control_service.h"
#include "tests/support/loopback.h"

namespace bench {

// The sink of a control connection that answers every message with itself; with `end_loop`,
// the end of the connection ends the event loop.
class EchoSink : public Control::Notify {
 public:
  explicit EchoSink(Control::Service& service, bool end_loop = false)
      : service_(service), end_loop_(end_loop) {}
  void OnConnect() override {}
  void OnDisconnect() override {
    if (end_loop_) multiplexer.terminate();
  }
  void OnMessage(const char* data, int length) override { service_.Send(data, length); }

 private:
  Control::Service& service_;
  bool end_loop_;
};

// The event loop on a thread of its own, serving a benchmark's servers until it is destroyed.
class ServerThread {
 public:
  // `body` runs on the thread: it sets the servers up, calls serve(), and takes them down when
  // serve() returns.
  explicit ServerThread(std::function<void(ServerThread&)> body)
      : thread_([this, body] { body(*this); }) {
    while (wake_port_ == 0) std::this_thread::yield();
  }
  ~ServerThread() {
    stop_ = true;
    multiplexer.terminate();
    Fd wake = connect_loopback(wake_port_);  // the attempt ends the loop's poll
    thread_.join();
  }
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  // Runs the loop until the destructor; the servers listen on `wake_port` of 127.0.0.1.
  void serve(unsigned short wake_port) {
    wake_port_ = wake_port;
    while (!stop_) multiplexer.run(false, false);
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<unsigned short> wake_port_{0};
  std::thread thread_;
};

inline bool read_exactly(int fd, char* buf, size_t n) {
  for (size_t got = 0; got < n;) {
    ssize_t r = ::read(fd, buf + got, n - got);
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

// Microseconds from writing `out` to having read `answer_size` bytes into `buf`; -1 on failure.
inline double round_trip(int fd, const std::string& out, size_t answer_size,
                         std::vector<char>& buf) {
  const auto start = std::chrono::steady_clock::now();
  if (::write(fd, out.data(), out.size()) != ssize_t(out.size()) ||
      !read_exactly(fd, buf.data(), answer_size))
    return -1;
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

inline double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  auto at = v.begin() + std::min(v.size() - 1, size_t(p * double(v.size())));
  std::nth_element(v.begin(), at, v.end());
  return *at;
}

// The counters A_p50_us, A_p99_us, B_p50_us, B_p99_us and p50_ratio (A over B) of two series of
// round trips in microseconds.
inline void compare(benchmark::State& state, const std::string& a, const std::vector<double>& a_us,
                    const std::string& b, const std::vector<double>& b_us) {
  const double a_p50 = percentile(a_us, 0.5), b_p50 = percentile(b_us, 0.5);
  state.counters[a + "_p50_us"] = a_p50;
  state.counters[a + "_p99_us"] = percentile(a_us, 0.99);
  state.counters[b + "_p50_us"] = b_p50;
  state.counters[b + "_p99_us"] = percentile(b_us, 0.99);
  state.counters["p50_ratio"] = b_p50 > 0 ? a_p50 / b_p50 : 0;
}

}  // namespace bench
