// The real daemon on the simulated board, beside a bare TPKT echo on loopback. As root the
// program has a network of its own; otherwise the PPP authentication relay's fixed port allows
// one such program (or daemon) at a time.
//
// orvexd runs as a child process on orvex-boardsim; the echo is an AcceptorNet whose sink sends
// every frame straight back, on an event loop in a thread of this process. Each iteration makes
// one round trip to the daemon (a command and its response, decoded, dispatched, carried out on
// the simulated board, encoded) and one to the echo with a frame of the same size (the
// transport alone). Counters: p50 and p99 of each in microseconds, their ratios to the echo's,
// the commands per second, and where the time went: the CPU time per iteration of the daemon and
// of the simulator (from /proc/PID/schedstat), and the simulator's share of the two.
//
// Timing starts once the daemon has settled: the signals it sends when the controller connects
// have come and a moment has passed without any. The daemon also sends the board's status
// signals once a second; the reader skips them, so a round trip that meets one is a little
// longer, as a controller would see it.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/modules/lgcp.h"
#include "base/multiplexer.h"
#include "bench/modules/lgcp_frame_bench.h"
#include "bench/proto/loopback_bench.h"
#include "proto/acceptor_net.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/own_network.h"
#include "tools/simctl/board_sim.h"

namespace {

// Entered before main, while the program has a single thread, so that every thread and child
// shares it.
[[maybe_unused]] const bool own_network = [] {
  std::string why;
  return enter_own_network(why);
}();

bool is_signal(const std::string& tpkt) {
  LGCP::Message m;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  return ASN1::decode(tpkt.data() + 4, tpkt.data() + tpkt.size(), &env, m) &&
         m.get_pdu().is_signal();
}

// Every wait on the daemon is bounded.
constexpr int wait_ms = 5000;

bool read_exactly(int fd, char* buf, size_t n) {
  for (size_t got = 0; got < n;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, wait_ms) <= 0) return false;
    ssize_t r = ::read(fd, buf + got, n - got);
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

bool read_frame(int fd, std::string& out) {
  char header[4];
  if (!read_exactly(fd, header, 4)) return false;
  const size_t length = (size_t(uint8_t(header[2])) << 8) | uint8_t(header[3]);
  if (header[0] != 3 || length < 4) return false;
  out.assign(header, 4);
  out.resize(length);
  return read_exactly(fd, &out[4], length - 4);
}

// Microseconds from `trigger` (false: it failed) to having read every frame of `awaited`, in
// any order, other signals skipped; -1 when another frame came or none.
template <class Trigger>
double awaited_after(int fd, Trigger trigger, std::vector<std::string> awaited) {
  const auto start = std::chrono::steady_clock::now();
  if (!trigger()) return -1;
  std::string got;
  while (!awaited.empty()) {
    if (!read_frame(fd, got)) return -1;
    auto found = std::find(awaited.begin(), awaited.end(), got);
    if (found != awaited.end()) {
      awaited.erase(found);
    } else if (!is_signal(got)) {
      return -1;
    }
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

// The same from sending `command`.
double round_trip(int fd, const std::string& command, std::vector<std::string> awaited) {
  return awaited_after(
      fd, [&] { return ::write(fd, command.data(), command.size()) == ssize_t(command.size()); },
      std::move(awaited));
}

// Microseconds from sending `command` to reading `response`, signals skipped; -1 when another
// frame came or none.
double command_round_trip(int fd, const std::string& command, const std::string& response) {
  return round_trip(fd, command, {response});
}

// Nanoseconds of CPU the single-threaded process `pid` has used so far; 0 when unknown.
double cpu_ns(pid_t pid) {
  double ns = 0;
  std::ifstream("/proc/" + std::to_string(pid) + "/schedstat") >> ns;
  return ns;
}

// Nanoseconds that `pid` (0: the calling thread) has spent ready to run but waiting for a CPU;
// 0 when unknown.
double runqueue_wait_ns(pid_t pid) {
  double cpu = 0, wait = 0;
  std::ifstream(pid ? "/proc/" + std::to_string(pid) + "/schedstat" : "/proc/thread-self/schedstat")
      >> cpu >> wait;
  return wait;
}

// The bare transport: an echo on the event loop in a thread.
class Echo {
 public:
  unsigned short port() const { return port_; }

 private:
  std::atomic<unsigned short> port_{0};
  bench::ServerThread loop_{[this](bench::ServerThread& loop) {
    Control::AcceptorNet echo(0, false);
    bench::EchoSink sink(echo);
    echo.Bind(&sink);
    echo.Activate();
    port_ = echo.local_port();
    loop.serve(port_);
    echo.Deactivate();
    echo.UnBind();
  }};
};

// Reads the signals the daemon sends when a controller connects (the trunks' status, the
// power), until none has come for `quiet_ms`: the daemon has then settled, and what is timed
// next is its steady work. False when something else came, or no quiet within wait_ms.
bool settle(int fd, int quiet_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  std::string frame;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, quiet_ms);
    if (ready == 0) return true;
    if (ready < 0 || !read_frame(fd, frame) || !is_signal(frame)) return false;
  }
  return false;
}

// orvexd on a fresh simulated board, settled after its controller's connection; its output goes
// to $ORVEXD_BENCH_LOG when that is set.
class Daemon {
 public:
  // Start-up signals come within milliseconds of the connection, the periodic ones once a second.
  static constexpr int quiet_ms = 200;

  explicit Daemon(unsigned short port) {
    if (!board_.ok() || !process_.start({"--port", std::to_string(port)})) return;
    for (int i = 0; i < 500 && !client_; ++i) {
      client_ = connect_loopback(port);
      if (!client_) ::usleep(10000);
    }
    if (client_ && !settle(client_.get(), quiet_ms)) client_.close();
  }
  ~Daemon() {
    client_.close();
    int status;
    if (process_.signal(SIGTERM)) process_.wait_exit(status);
    if (const char* log = std::getenv("ORVEXD_BENCH_LOG")) std::ofstream(log) << process_.output();
  }
  int fd() const { return client_.get(); }
  pid_t daemon_pid() const { return process_.pid(); }
  pid_t board_pid() const { return board_.pid(); }
  BoardSim& board() { return board_; }

 private:
  BoardSim board_;
  OrvexdProcess process_;
  Fd client_;
};

struct Exchange {
  const char* name;
  std::string command;
  std::string response;
};

void report(benchmark::State& state, const std::vector<Exchange>& exchanges,
            const std::vector<std::vector<double>>& daemon_us, const std::vector<double>& echo_us) {
  const double echo_p50 = bench::percentile(echo_us, 0.5);
  const double echo_p99 = bench::percentile(echo_us, 0.99);
  state.counters["echo_p50_us"] = echo_p50;
  state.counters["echo_p99_us"] = echo_p99;
  double total_us = 0;
  size_t commands = 0;
  for (size_t i = 0; i < exchanges.size(); ++i) {
    const std::string name = exchanges[i].name;
    const double p50 = bench::percentile(daemon_us[i], 0.5);
    const double p99 = bench::percentile(daemon_us[i], 0.99);
    state.counters[name + "_p50_us"] = p50;
    state.counters[name + "_p99_us"] = p99;
    state.counters[name + "_p50_ratio"] = echo_p50 > 0 ? p50 / echo_p50 : 0;
    state.counters[name + "_p99_ratio"] = echo_p99 > 0 ? p99 / echo_p99 : 0;
    for (double us : daemon_us[i]) total_us += us;
    commands += daemon_us[i].size();
  }
  state.counters["commands_per_s"] = total_us > 0 ? 1e6 * double(commands) / total_us : 0;
}

// One iteration: each exchange in turn with the daemon, then one echo round trip of the first
// command's size.
void run(benchmark::State& state, const std::vector<Exchange>& exchanges) {
  std::clog.rdbuf(nullptr);
  Echo echo;
  Daemon daemon(free_port());
  Fd echo_client = connect_loopback(echo.port());
  if (daemon.fd() < 0 || !echo_client) {
    state.SkipWithError("the daemon or the echo did not start");
    return;
  }
  std::vector<std::vector<double>> daemon_us(exchanges.size());
  std::vector<double> echo_us;
  std::vector<char> buf(exchanges[0].command.size());
  const double daemon_ns = cpu_ns(daemon.daemon_pid()), board_ns = cpu_ns(daemon.board_pid());
  for (auto _ : state) {
    for (size_t i = 0; i < exchanges.size(); ++i) {
      const double us =
          command_round_trip(daemon.fd(), exchanges[i].command, exchanges[i].response);
      if (us < 0) {
        state.SkipWithError((std::string(exchanges[i].name) + ": no success after " +
                             std::to_string(daemon_us[i].size()) + " round trips")
                                .c_str());
        return;
      }
      daemon_us[i].push_back(us);
    }
    const double us =
        bench::round_trip(echo_client.get(), exchanges[0].command, exchanges[0].command.size(), buf);
    if (us < 0) {
      state.SkipWithError("echo: no answer");
      return;
    }
    echo_us.push_back(us);
  }
  report(state, exchanges, daemon_us, echo_us);
  const double daemon_cpu = cpu_ns(daemon.daemon_pid()) - daemon_ns;
  const double board_cpu = cpu_ns(daemon.board_pid()) - board_ns;
  const double iterations = double(state.iterations());
  state.counters["daemon_cpu_us"] = daemon_cpu / 1e3 / iterations;
  state.counters["sim_cpu_us"] = board_cpu / 1e3 / iterations;
  const double both = daemon_cpu + board_cpu;
  state.counters["sim_share"] = both > 0 ? board_cpu / both : 0;
}

void BM_Ping(benchmark::State& state) {
  run(state, {{"ping", bench::lgcp_frame("{ seq 1, pdu command : ping : NULL }"),
               bench::lgcp_frame("{ seq 1, pdu response : success : NULL }")}});
}

void BM_CreateDestroyTrunk(benchmark::State& state) {
  run(state,
      {{"create",
        bench::lgcp_frame("{ seq 2, slot 7, pdu command : create : trunk : { trunk 0, timeslot 1 } }"),
        bench::lgcp_frame("{ seq 2, slot 7, pdu response : success : NULL }")},
       {"destroy", bench::lgcp_frame("{ seq 3, slot 7, pdu command : destroy : NULL }"),
        bench::lgcp_frame("{ seq 3, slot 7, pdu response : success : NULL }")}});
}

// Each command of `setup` answered with success on `seq`, or a skip.
bool prepare(benchmark::State& state, Daemon& daemon, const std::vector<std::string>& setup) {
  for (size_t i = 0; i < setup.size(); ++i) {
    const std::string seq = "{ seq " + std::to_string(10 + i) + ", slot ";
    const std::string slot = setup[i].substr(setup[i].find("slot ") + 5);
    const std::string number = slot.substr(0, slot.find(','));
    if (command_round_trip(daemon.fd(), bench::lgcp_frame(seq + slot),
                           bench::lgcp_frame(seq + number + ", pdu response : success : NULL }")) <
        0) {
      state.SkipWithError(("setup failed: " + setup[i]).c_str());
      return false;
    }
  }
  return true;
}

// Each iteration: one exchange that `measure` times (microseconds; -1 when it failed), then a
// ping round trip on the same daemon, the reference of the ratios. Counters NAME_per_s,
// NAME_p50_us, NAME_p99_us, ping_p50_us, ping_p99_us, p50_ratio and p99_ratio.
template <class Measure>
void beside_ping(benchmark::State& state, Daemon& daemon, const std::string& name,
                 Measure measure) {
  const std::string ping = bench::lgcp_frame("{ seq 1, pdu command : ping : NULL }");
  const std::string pong = bench::lgcp_frame("{ seq 1, pdu response : success : NULL }");
  std::vector<double> us, ping_us;
  for (auto _ : state) {
    const double round = measure();
    const double ping_round = command_round_trip(daemon.fd(), ping, pong);
    if (round < 0 || ping_round < 0) {
      state.SkipWithError(("no answer to " + name).c_str());
      return;
    }
    us.push_back(round);
    ping_us.push_back(ping_round);
  }
  double total = 0;
  for (double u : us) total += u;
  auto& c = state.counters;
  c[name + "_per_s"] = total > 0 ? 1e6 * double(us.size()) / total : 0;
  c[name + "_p50_us"] = bench::percentile(us, 0.5);
  c[name + "_p99_us"] = bench::percentile(us, 0.99);
  c["ping_p50_us"] = bench::percentile(ping_us, 0.5);
  c["ping_p99_us"] = bench::percentile(ping_us, 0.99);
  c["p50_ratio"] = c["ping_p50_us"] > 0 ? c[name + "_p50_us"] / c["ping_p50_us"] : 0;
  c["p99_ratio"] = c["ping_p99_us"] > 0 ? c[name + "_p99_us"] / c["ping_p99_us"] : 0;
}

std::string hex(size_t bytes, const char* byte) {
  std::string text;
  for (size_t i = 0; i < bytes; ++i) text += byte;
  return text;
}

// userData of `bytes` bytes into slot 1, each round trip ending with the response and slot 2's
// userData signal, beside ping.
void user_data_beside_ping(benchmark::State& state, Daemon& daemon, size_t bytes) {
  const std::string data = "'" + hex(bytes, "5A") + "'H";
  const std::string command =
      bench::lgcp_frame("{ seq 4, slot 1, pdu command : userData : " + data + " }");
  const std::vector<std::string> awaited{
      bench::lgcp_frame("{ seq 4, slot 1, pdu response : success : NULL }"),
      bench::lgcp_frame("{ slot 2, pdu signal : userData : " + data + " }")};
  beside_ping(state, daemon, "userData", [&] { return round_trip(daemon.fd(), command, awaited); });
}

// userData of state.range(0) bytes into raw data slot 1, whose channel the board joined to slot
// 2's: the round trip ends with the response and slot 2's userData signal. Each iteration also
// makes one ping round trip on the same daemon, the reference of the ratios.
void BM_MccUserDataRoundTrip(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  const std::string mcc = ", pdu command : create : mcc : { type data, mode standard } }";
  if (daemon.fd() < 0 || !prepare(state, daemon, {"slot 1" + mcc, "slot 2" + mcc})) return;
  daemon.board().command("mcc join 1024 1025");
  user_data_beside_ping(state, daemon, size_t(state.range(0)));
}

// userData of 64 bytes into ISDN D-channel slot 1 (primary rate, user side), whose channel the
// board joined to slot 2's (network side): the LAPD link carries it as an I frame, and the round
// trip ends with the response and slot 2's userData signal.
void BM_DChannelUserDataRoundTrip(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  const std::string isdn = ", pdu command : create : isdn : { type pri, trunk 1, log 0, side ";
  if (daemon.fd() < 0 ||
      !prepare(state, daemon, {"slot 1" + isdn + "user : NULL } }",
                               "slot 2" + isdn + "network : NULL } }"})) {
    return;
  }
  daemon.board().command("mcc join 1024 1025");
  if (round_trip(daemon.fd(),
                 bench::lgcp_frame("{ seq 3, slot 1, pdu command : activate : empty : NULL }"),
                 {bench::lgcp_frame("{ seq 3, slot 1, pdu response : success : NULL }"),
                  bench::lgcp_frame("{ slot 1, pdu signal : activated : NULL }")}) < 0) {
    state.SkipWithError("the link did not come up");
    return;
  }
  user_data_beside_ping(state, daemon, 64);
}

// SS7 pstn slots 1 and 2 on time slot 16 of E1 trunks 2 and 3, their channels joined on the
// board, both links in service after emergency proving; false (and a skip) otherwise.
bool ss7_link(benchmark::State& state, Daemon& daemon) {
  const std::string ss7 = ", pdu command : create : pstn : ss7 : { trunk ";
  if (daemon.fd() < 0 ||
      !prepare(state, daemon,
               {"slot 1" + ss7 + "2, slc 0, dpc 1, opc 2, emergency TRUE } }",
                "slot 2" + ss7 + "3, slc 0, dpc 2, opc 1, emergency TRUE } }",
                "slot 3, pdu command : create : trunk : { trunk 1, timeslot 16 } }",
                "slot 4, pdu command : create : trunk : { trunk 2, timeslot 16 } }",
                "slot 3, pdu command : connect : 1 }", "slot 4, pdu command : connect : 2 }"})) {
    return false;
  }
  if (awaited_after(
          daemon.fd(),
          [&] { return daemon.board().command("mcc join 1024 1025").at(0) == "ok"; },
          {bench::lgcp_frame("{ slot 1, pdu signal : activated : NULL }"),
           bench::lgcp_frame("{ slot 2, pdu signal : activated : NULL }")}) < 0) {
    state.SkipWithError("the links did not come into service");
    return false;
  }
  return true;
}

// An MSU of 40 octets into slot 1: the command, and its response and slot 2's userData signal.
struct Msu {
  std::string data = "'8501008000" + hex(35, "5A") + "'H";
  std::string command = bench::lgcp_frame("{ seq 4, slot 1, pdu command : userData : " + data + " }");
  std::vector<std::string> awaited{
      bench::lgcp_frame("{ seq 4, slot 1, pdu response : success : NULL }"),
      bench::lgcp_frame("{ slot 2, pdu signal : userData : " + data + " }")};
};

// The switch's disable requests that the board has carried out so far. While MSUs flow the
// switch's background refresh (HwMux) is the only one to make them.
unsigned long switch_disables(BoardSim& board) {
  const std::string disable = "0x80044d03 ";
  for (const std::string& line : board.command("hal counts"))
    if (line.rfind(disable, 0) == 0) return std::stoul(line.substr(disable.size()));
  return 0;
}

// MSUs from slot 1 to slot 2 of ss7_link, in windows of 100: each iteration writes 100 userData
// commands at once and reads their 100 responses and 100 userData signals. MSUs per second over
// all windows, and p50 and p99 of one window.
//
// What makes the slow windows: for the slowest tenth, the mean time that the daemon, the board
// and this client spent ready to run but without a CPU (on a busy machine that, not the work, is
// what makes a window slow). And the windows that met the switch's refresh (the board carried out
// disable requests between the window's first write and its last read, as counted by the board
// before and after it, outside the window's time): how many (refresh_windows), how many of them
// among the slowest tenth (slow_refresh_windows), and the p50 of the windows with and without
// one.
void BM_Ss7MsuWindow100(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  if (!ss7_link(state, daemon)) return;
  constexpr size_t kWindow = 100;
  const Msu msu;
  std::string window;
  for (size_t i = 0; i < kWindow; ++i) window += msu.command;
  std::vector<std::string> awaited;
  for (const std::string& a : msu.awaited) awaited.insert(awaited.end(), kWindow, a);
  std::vector<double> us;
  // Per window: the run-queue waits of the daemon, the board and the client, in microseconds.
  std::vector<std::array<double, 3>> waits;
  // Per window: whether it met a refresh.
  std::vector<bool> refreshed;
  const pid_t waiters[] = {daemon.daemon_pid(), daemon.board_pid(), 0};
  for (auto _ : state) {
    const unsigned long disables = switch_disables(daemon.board());
    std::array<double, 3> before;
    for (int i = 0; i < 3; ++i) before[i] = runqueue_wait_ns(waiters[i]);
    const double w = awaited_after(
        daemon.fd(),
        [&] { return ::write(daemon.fd(), window.data(), window.size()) == ssize_t(window.size()); },
        awaited);
    if (w < 0) {
      state.SkipWithError("an MSU of the window was not carried");
      return;
    }
    us.push_back(w);
    std::array<double, 3> wait;
    for (int i = 0; i < 3; ++i) wait[i] = (runqueue_wait_ns(waiters[i]) - before[i]) / 1e3;
    waits.push_back(wait);
    refreshed.push_back(switch_disables(daemon.board()) != disables);
  }
  double total = 0;
  for (double u : us) total += u;
  state.counters["msu_per_s"] = total > 0 ? 1e6 * double(kWindow * us.size()) / total : 0;
  state.counters["window_p50_us"] = bench::percentile(us, 0.5);
  state.counters["window_p99_us"] = bench::percentile(us, 0.99);
  std::vector<double> with_refresh, without;
  for (size_t i = 0; i < us.size(); ++i) (refreshed[i] ? with_refresh : without).push_back(us[i]);
  state.counters["refresh_windows"] = double(with_refresh.size());
  state.counters["refresh_window_p50_us"] = bench::percentile(with_refresh, 0.5);
  state.counters["quiet_window_p50_us"] = bench::percentile(without, 0.5);
  const double slow = bench::percentile(us, 0.9);
  std::array<double, 3> slow_wait{};
  double slow_us = 0;
  unsigned slow_count = 0, slow_refreshed = 0;
  for (size_t i = 0; i < us.size(); ++i) {
    if (us[i] < slow) continue;
    ++slow_count;
    slow_refreshed += refreshed[i];
    slow_us += us[i];
    for (int k = 0; k < 3; ++k) slow_wait[k] += waits[i][k];
  }
  if (slow_count == 0) return;
  state.counters["slow_refresh_windows"] = slow_refreshed;
  state.counters["slow_window_us"] = slow_us / slow_count;
  state.counters["slow_daemon_wait_us"] = slow_wait[0] / slow_count;
  state.counters["slow_board_wait_us"] = slow_wait[1] / slow_count;
  state.counters["slow_client_wait_us"] = slow_wait[2] / slow_count;
}

// One MSU at a time from slot 1 to slot 2 of ss7_link, beside ping.
void BM_Ss7MsuRoundTrip(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  if (!ss7_link(state, daemon)) return;
  const Msu msu;
  beside_ping(state, daemon, "msu", [&] { return round_trip(daemon.fd(), msu.command, msu.awaited); });
}

// One hdlcPackages ioctl of 128 packages to an HDLC packet slot on a trunk slot's channel,
// which the board joins to raw data slot 2's: from the ioctl to the last package's frame
// received on the other side. 128 packages start at a multiple of 8, so the last one's sequence
// octet is always 0xE0.
void BM_HdlcPackages128(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  if (daemon.fd() < 0 ||
      !prepare(state, daemon,
               {"slot 1, pdu command : create : hdlcParams : { trunk 1, log 0, address 4660 } }",
                "slot 3, pdu command : create : trunk : { trunk 0, timeslot 5 } }",
                "slot 1, pdu command : connect : 3 }",
                "slot 2, pdu command : create : mcc : { type data, mode standard } }"})) {
    return;
  }
  daemon.board().command("mcc join 1024 1025");
  std::string packages;
  for (int i = 0; i < 127; ++i) packages += "{ body '" + hex(16, "01") + "'H }, ";
  packages += "{ body '" + hex(16, "FF") + "'H }";
  const std::string command = bench::lgcp_frame(
      "{ seq 4, slot 1, pdu command : ioctl : hdlcPackages : { " + packages + " } }");
  const std::vector<std::string> awaited{
      bench::lgcp_frame("{ seq 4, slot 1, pdu response : success : NULL }"),
      bench::lgcp_frame("{ slot 2, pdu signal : userData : '1234E0" + hex(16, "FF") + "'H }")};
  std::vector<double> us;
  for (auto _ : state) {
    const double round = round_trip(daemon.fd(), command, awaited);
    if (round < 0) {
      state.SkipWithError("the last frame did not come");
      return;
    }
    us.push_back(round);
  }
  state.counters["last_frame_p50_us"] = bench::percentile(us, 0.5);
  state.counters["last_frame_p99_us"] = bench::percentile(us, 0.99);
}

// An RTP slot made and destroyed (a session of the simulated engine, the RTCP socket, the SDES
// and the BYE each time) beside a ping in the same iteration: p50 and p99 as ratios to the
// ping's, and create-destroy pairs per second of the daemon's time.
void BM_CreateDestroyRtp(benchmark::State& state) {
  run(state,
      {{"ping", bench::lgcp_frame("{ seq 1, pdu command : ping : NULL }"),
        bench::lgcp_frame("{ seq 1, pdu response : success : NULL }")},
       {"create",
        bench::lgcp_frame("{ seq 2, slot 7, pdu command : create : rtp : { codecRTP { payload "
                          "ptG711-Alaw, dhost { iaddr \"127.0.0.1\", port 40000 }, shost { "
                          "iaddr \"127.0.0.1\", port 40002 } }, txPayload ptG711-Alaw, "
                          "rxPayload ptG711-Alaw } }"),
        bench::lgcp_frame("{ seq 2, slot 7, pdu response : success : NULL }")},
       {"destroy", bench::lgcp_frame("{ seq 3, slot 7, pdu command : destroy : NULL }"),
        bench::lgcp_frame("{ seq 3, slot 7, pdu response : success : NULL }")}});
  auto& c = state.counters;
  if (!c.count("ping_p50_us") || c["ping_p50_us"] <= 0) return;
  for (const std::string n : {"create", "destroy"}) {
    c[n + "_p50_per_ping"] = c[n + "_p50_us"] / c["ping_p50_us"];
    c[n + "_p99_per_ping"] = c[n + "_p99_us"] / c["ping_p99_us"];
  }
  c["create_destroy_per_s"] = 1e6 / (c["create_p50_us"] + c["destroy_p50_us"]);
}

// From an event injected into the simulated RTP engine to the rtp signal at the controller: the
// simulator's control command, the engine's record, the daemon's read, the signal's encoding
// and its way over TCP.
void BM_RtpEventToSignal(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  if (daemon.fd() < 0 ||
      !prepare(state, daemon,
               {"slot 3, pdu command : create : rtp : { codecRTP { payload ptG711-Alaw, dhost { "
                "iaddr \"127.0.0.1\", port 40010 } }, txPayload ptG711-Alaw, rxPayload "
                "ptG711-Alaw } }"})) {
    return;
  }
  std::vector<double> us;
  unsigned value = 0;
  for (auto _ : state) {
    const std::string text = std::to_string(++value);
    const double round = awaited_after(
        daemon.fd(),
        [&] {
          // The engine gives the first session the first channel, 512.
          return daemon.board().command("rtp event 512 1 " + text + " 0") ==
                 std::vector<std::string>{"ok"};
        },
        {bench::lgcp_frame("{ slot 3, pdu signal : rtp : pd : { value " + text +
                           ", timeout 0 } }")});
    if (round < 0) {
      state.SkipWithError("no rtp signal");
      return;
    }
    us.push_back(round);
  }
  state.counters["event_p50_us"] = bench::percentile(us, 0.5);
  state.counters["event_p99_us"] = bench::percentile(us, 0.99);
}

// Writes `text` to `path` and makes it executable.
bool write_program(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  return ::chmod(path.c_str(), 0755) == 0;
}

std::string be32(uint32_t v) {
  const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  return std::string(bytes, 4);
}

// Auth requests of DSP modem 0's session written to the PPP authentication relay, from the
// write to the modemProceeding signal at the controller, beside a ping in each iteration. The
// modem's pppd is a shell script that waits.
void BM_AuthRequestToModemProceeding(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  const std::string sbin = daemon.board().root() + "/usr/local/sbin";
  if (daemon.fd() < 0 || std::system(("mkdir -p " + sbin).c_str()) != 0 ||
      !write_program(sbin + "/pppd", "#!/bin/sh\nexec sleep 3600\n") ||
      !prepare(state, daemon,
               {"slot 1, pdu command : create : modem : { cid \"\", cdid \"\" } }",
                "slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }",
                "slot 2, pdu command : connect : 1 }"})) {
    return;
  }
  Fd relay = connect_loopback(52000);
  if (!relay) {
    state.SkipWithError("the relay does not listen");
    return;
  }
  std::string record = be32(140) + be32(1) + be32(0) + std::string(128, '\0');
  record.replace(12, 5, "alice");
  record.replace(76, 6, "secret");
  const std::vector<std::string> awaited{bench::lgcp_frame(
      "{ slot 1, pdu signal : modemProceeding : auth : { username \"alice\", password "
      "\"secret\" } }")};
  beside_ping(state, daemon, "auth", [&] {
    return awaited_after(
        daemon.fd(),
        [&] {
          return ::write(relay.get(), record.data(), record.size()) == ssize_t(record.size());
        },
        awaited);
  });
}

// A file of state.range(0) KiB played into a transparent channel of the simulated controller:
// from connecting a new player to a trunk slot to its abort at the end of the file. MB/s of
// the whole play, and the daemon's and the simulator's CPU per MB.
void BM_FilePlay(benchmark::State& state) {
  std::clog.rdbuf(nullptr);
  Daemon daemon(free_port());
  const std::string voice = daemon.board().root() + "/usr/local/voice";
  const size_t bytes = size_t(state.range(0)) * 1024;
  if (daemon.fd() < 0 || std::system(("mkdir -p " + voice).c_str()) != 0) return;
  std::string samples(bytes, '\0');
  for (size_t i = 0; i < bytes; ++i) samples[i] = char(0xd5 ^ (i * 7));
  std::ofstream(voice + "/bench.al", std::ios::binary) << samples;
  if (!prepare(state, daemon,
               {"slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }"})) {
    return;
  }
  const std::string create = bench::lgcp_frame(
      "{ seq 5, slot 1, pdu command : create : voice : player : file : { name { \"bench.al\" "
      "}, repeat 1 } }");
  const std::string connect = bench::lgcp_frame("{ seq 6, slot 1, pdu command : connect : 2 }");
  const std::string destroy = bench::lgcp_frame("{ seq 7, slot 1, pdu command : destroy : NULL }");
  auto ok = [](int seq) {
    return bench::lgcp_frame("{ seq " + std::to_string(seq) +
                             ", slot 1, pdu response : success : NULL }");
  };
  const std::string abort = bench::lgcp_frame("{ slot 1, pdu signal : abort : 0 }");
  double play_us = 0, daemon_ns = 0, board_ns = 0;
  for (auto _ : state) {
    if (command_round_trip(daemon.fd(), create, ok(5)) < 0) {
      state.SkipWithError("no player");
      return;
    }
    const double d0 = cpu_ns(daemon.daemon_pid()), b0 = cpu_ns(daemon.board_pid());
    const double us = round_trip(daemon.fd(), connect, {ok(6), abort});
    daemon_ns += cpu_ns(daemon.daemon_pid()) - d0;
    board_ns += cpu_ns(daemon.board_pid()) - b0;
    if (us < 0 || command_round_trip(daemon.fd(), destroy, ok(7)) < 0) {
      state.SkipWithError("the play did not end");
      return;
    }
    play_us += us;
  }
  const double mb = double(bytes) * double(state.iterations()) / 1e6;
  auto& c = state.counters;
  c["MB_per_s"] = play_us > 0 ? mb / (play_us / 1e6) : 0;
  c["daemon_cpu_ms_per_MB"] = mb > 0 ? daemon_ns / 1e6 / mb : 0;
  c["board_cpu_ms_per_MB"] = mb > 0 ? board_ns / 1e6 / mb : 0;
}

BENCHMARK(BM_Ping)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateDestroyTrunk)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MccUserDataRoundTrip)
    ->Arg(64)
    ->Arg(1024)
    ->Iterations(2000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DChannelUserDataRoundTrip)
    ->Iterations(2000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ss7MsuWindow100)->Iterations(200)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ss7MsuRoundTrip)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HdlcPackages128)->Iterations(200)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateDestroyRtp)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RtpEventToSignal)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AuthRequestToModemProceeding)
    ->Iterations(2000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilePlay)->Arg(1024)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
