// The control connection on loopback: a Control::AcceptorNet whose sink echoes every message
// runs the event loop in a thread of its own, as the daemon does; a bare TCP echo (one blocking
// read and write per wake-up) runs beside it as the baseline.
//
// BM_RoundTrip sends one 16-byte message in a TPKT frame and waits for its echo, through the
// service and through the bare echo in turn, and reports p50 and p99 of each and the ratio of
// the medians. BM_Pipelined keeps the connection full with frames of 16 B, 1 KiB and the
// largest payload (65531 B) and counts the echoed payload bytes per second.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/fd.h"
#include "base/multiplexer.h"
#include "proto/acceptor_net.h"
#include "bench/proto/loopback_bench.h"
#include "proto/socket_calls.h"

namespace {

// One echo server in a thread of its own, serving one client.
class EchoServer {
 public:
  virtual ~EchoServer() {
    if (thread_.joinable()) thread_.join();
  }
  // The client, connected to 127.0.0.1 with TCP_NODELAY.
  Fd connect() {
    while (port_ == 0) std::this_thread::yield();
    return connect_loopback(port_);
  }

 protected:
  std::thread thread_;
  std::atomic<unsigned short> port_{0};
};

class ServiceEcho : public EchoServer {
 public:
  ServiceEcho() {
    thread_ = std::thread([this] {
      Control::AcceptorNet acceptor(0, false);
      bench::EchoSink sink(acceptor, true);
      acceptor.service_name("bench");
      acceptor.Bind(&sink);
      acceptor.Activate();
      port_ = acceptor.local_port();
      std::clog.rdbuf(nullptr);  // the loop's farewell line
      multiplexer.run(false, true);
      acceptor.Deactivate();
      acceptor.UnBind();
    });
  }
};

class BareEcho : public EchoServer {
 public:
  BareEcho() {
    Fd listening(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listening.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listening.get(), 1);
    const unsigned short port = Control::LocalPort(listening);
    thread_ = std::thread([this, port, l = std::move(listening)] {
      port_ = port;
      Fd peer(::accept4(l.get(), nullptr, nullptr, SOCK_CLOEXEC));
      const int on = 1;
      ::setsockopt(peer.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      std::vector<char> buf(1 << 16);
      for (ssize_t n; (n = ::read(peer.get(), buf.data(), buf.size())) > 0;) {
        for (ssize_t done = 0, w; done < n; done += w)
          if ((w = ::write(peer.get(), buf.data() + done, n - done)) <= 0) return;
      }
    });
  }
};

std::string frame(size_t payload) { return tpkt(std::string(payload, 'p')); }

void BM_RoundTrip(benchmark::State& state) {
  ServiceEcho service;
  BareEcho bare;
  Fd to_service = service.connect(), to_bare = bare.connect();
  const std::string f = frame(16);
  std::vector<char> buf(f.size());
  std::vector<double> through_service, through_bare;
  for (auto _ : state) {
    double s = bench::round_trip(to_service.get(), f, f.size(), buf),
           b = bench::round_trip(to_bare.get(), f, f.size(), buf);
    if (s < 0 || b < 0) {
      state.SkipWithError("echo failed");
      break;
    }
    through_service.push_back(s);
    through_bare.push_back(b);
  }
  bench::compare(state, "service", through_service, "bare", through_bare);
}

// Sends `count` frames and reads their echoes, writing while there is room and reading while
// there is anything to read, so both directions stay full.
bool pipeline(int fd, const std::string& frames, size_t echoed) {
  std::vector<char> buf(1 << 16);
  size_t sent = 0, got = 0;
  while (got < echoed) {
    pollfd p{fd, short(POLLIN | (sent < frames.size() ? POLLOUT : 0)), 0};
    if (::poll(&p, 1, 5000) <= 0) return false;
    if (p.revents & POLLOUT) {
      ssize_t w = ::send(fd, frames.data() + sent, frames.size() - sent, MSG_DONTWAIT);
      if (w > 0) sent += size_t(w);
    }
    if (p.revents & POLLIN) {
      ssize_t r = ::recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
      if (r == 0) return false;
      if (r > 0) got += size_t(r);
    }
    if (p.revents & (POLLERR | POLLHUP)) return false;
  }
  return true;
}

void BM_Pipelined(benchmark::State& state, bool through_service) {
  std::unique_ptr<EchoServer> server;
  if (through_service)
    server.reset(new ServiceEcho);
  else
    server.reset(new BareEcho);
  Fd client = server->connect();
  const size_t payload = size_t(state.range(0));
  const std::string one = frame(payload);
  const size_t count = std::max<size_t>(1, (1 << 20) / one.size());
  std::string frames;
  for (size_t i = 0; i < count; ++i) frames += one;
  for (auto _ : state) {
    if (!pipeline(client.get(), frames, frames.size())) {
      state.SkipWithError("echo failed");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations() * count * payload));
  state.SetItemsProcessed(int64_t(state.iterations() * count));
}

BENCHMARK(BM_RoundTrip)->Iterations(20000)->UseRealTime();
BENCHMARK_CAPTURE(BM_Pipelined, service, true)->Arg(16)->Arg(1024)->Arg(65531)->UseRealTime();
BENCHMARK_CAPTURE(BM_Pipelined, bare, false)->Arg(16)->Arg(1024)->Arg(65531)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
