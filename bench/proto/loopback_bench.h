// Helpers shared by the benchmarks that measure a server on loopback TCP: a sink that echoes
// every message of a control connection, timed round trips and percentiles; the loopback client
// and TPKT framing come from tests/support/loopback.h.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
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

}  // namespace bench
