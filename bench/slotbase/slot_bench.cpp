// Slot commands through the control connection: 1024 slots created, each connected to the next,
// and all destroyed, one command at a time over loopback TCP, against `ctrlServer` with the
// heartbeat and the slot registry on a loop thread of its own.
//
// The slots are of a bench kind with the trunk slot's shape (both sides open, one switch channel
// each, logical outputs 8192 to 9215). BM_SlotCommands/board switches them through HwMux on the
// simulated board, as the daemon does (each connect and disconnect is a driver request; the
// switch's background refresh runs in every loop turn); BM_SlotCommands/framework gives the slots
// hardware hooks that do nothing, so it measures the registry, the graph, the codec and the
// transport alone. Counters: commands per second, and p50 and p99 of a command's latency from
// writing it to reading its response (stream signals before the response included).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "asn1/coder_env.h"
#include "base/multiplexer.h"
#include "bench/modules/lgcp_frame_bench.h"
#include "bench/proto/loopback_bench.h"
#include "control/ctrl_server.h"
#include "control/heartbeat_ctl.h"
#include "hw/hw_mux.h"
#include "proto/acceptor_check.h"
#include "slotbase/slot.h"
#include "slotbase/slot_factory.h"
#include "slotbase/slots.h"
#include "tools/simctl/board_sim.h"

namespace {

constexpr unsigned kSlots = 1024;
constexpr int kFirstChannel = 8192;

std::atomic<bool> through_hardware{true};

class BenchSlot : public Slot {
 public:
  explicit BenchSlot(int channel) : channel_(channel) {}
  bool IHwConnectTransmitter(Slot& sink) override {
    return through_hardware ? Slot::IHwConnectTransmitter(sink) : true;
  }
  bool IHwConnectReceiver(Slot& source) override {
    return through_hardware ? Slot::IHwConnectReceiver(source) : true;
  }
  bool IHwDisconnectTransmitter(Slot& sink) override {
    return through_hardware ? Slot::IHwDisconnectTransmitter(sink) : true;
  }
  bool IHwDisconnectReceiver(Slot& source) override {
    return through_hardware ? Slot::IHwDisconnectReceiver(source) : true;
  }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  const char* GetName() const override { return "bench"; }

 private:
  const int channel_;
};

// Takes `trunk` {t, s}: the slot on channel 8192 + 32t + s.
class BenchFactory : public SlotFactory {
 public:
  const char* GetName() const override { return "Bench"; }
  Slot* INewSlot(const LGCP::CreateParams& p) override {
    if (!p.is_trunk()) return nullptr;
    const auto& t = p.get_trunk();
    return new BenchSlot(kFirstChannel +
                         int(t.get_trunk().getValue() * 32 + t.get_timeslot().getValue()));
  }
  void Query(LGCP::Resources&) override {}
};

BenchFactory factory;

// The loop thread with the control server on the simulated board; ends when destroyed.
class Daemon {
 public:
  std::atomic<unsigned short> port_{0};

 private:
  bench::ServerThread loop_{[this](bench::ServerThread& loop) {
    std::clog.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    static const bool bound =
        (ctrlServer.Bind(&HeartBeatCtl::instance()), ctrlServer.Bind(&Slots::instance()), true);
    (void)bound;
    Slots::instance().SetDisconnectWait([] {});
    if (through_hardware) HwMux::instance();
    auto* control = new Control::AcceptorNetCheckConnection(0, false);
    ctrlServer.Activate(control);
    port_ = control->local_port();
    loop.serve(port_);
    ctrlServer.Deactivate();
  }};
};

// One command per slot and kind, in the order sent.
std::vector<std::string> commands() {
  std::vector<std::string> out;
  const auto head = [](unsigned n) {
    return "{ seq 1, slot " + std::to_string(n) + ", pdu command : ";
  };
  for (unsigned n = 0; n < kSlots; ++n) {
    out.push_back(bench::lgcp_frame(head(n) + "create : trunk : { trunk " + std::to_string(n / 32) +
                        ", timeslot " + std::to_string(n % 32) + " } }"));
  }
  for (unsigned n = 0; n < kSlots; ++n) {
    out.push_back(bench::lgcp_frame(head(n) + "connect : " + std::to_string((n + 1) % kSlots) + " }"));
  }
  for (unsigned n = 0; n < kSlots; ++n) out.push_back(bench::lgcp_frame(head(n) + "destroy : NULL }"));
  return out;
}

// Reads frames until a response; false on a closed connection or an error response.
bool read_response(int fd) {
  char header[4];
  std::vector<char> payload;
  for (;;) {
    if (!bench::read_exactly(fd, header, 4)) return false;
    const size_t n = (size_t(uint8_t(header[2])) << 8 | uint8_t(header[3])) - 4;
    payload.resize(n);
    if (!bench::read_exactly(fd, payload.data(), n)) return false;
    LGCP::Message m;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    if (!ASN1::decode(payload.data(), payload.data() + n, &env, m)) return false;
    if (m.get_pdu().is_response()) return m.get_pdu().get_response().is_success();
  }
}

void BM_SlotCommands(benchmark::State& state, bool hardware) {
  static BoardSim board;
  through_hardware = hardware;
  if (!board.ok()) {
    state.SkipWithError("no simulated board");
    return;
  }
  Daemon daemon;
  Fd client = connect_loopback(daemon.port_);
  const std::vector<std::string> sent = commands();
  std::vector<double> latency_us;
  for (auto _ : state) {
    for (const std::string& c : sent) {
      const auto start = std::chrono::steady_clock::now();
      if (::write(client.get(), c.data(), c.size()) != ssize_t(c.size()) ||
          !read_response(client.get())) {
        state.SkipWithError("command failed");
        return;
      }
      latency_us.push_back(
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
              .count());
    }
  }
  state.counters["commands_per_s"] =
      benchmark::Counter(double(state.iterations() * sent.size()), benchmark::Counter::kIsRate);
  state.counters["p50_us"] = bench::percentile(latency_us, 0.5);
  state.counters["p99_us"] = bench::percentile(latency_us, 0.99);
}

BENCHMARK_CAPTURE(BM_SlotCommands, framework, false)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
// Last: once the switch is open its refresh runs in every later loop turn of the process.
BENCHMARK_CAPTURE(BM_SlotCommands, board, true)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
