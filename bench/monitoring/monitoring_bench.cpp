// The monitoring service's two heavy paths, on a private board root without /dev/hal.
//
// BM_SendAll: one send-all (what an agent that connects receives) with 4 framers, 16 network
// interfaces, 8 extension boards, 32 em-phones and 64 term counters stored, to two agents on
// loopback ("tavo" and "lemzgw.xj"): the time is the daemon's (building the items, encoding the
// frames, handing them to the sockets); the counters give the bytes on the wire per send-all and
// the frames.
// BM_DisplayWritesAFile: one display command that stores an em-phone, writes its file and sends
// its eight items to the agent.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "base/mux_clock.h"
#include "monitoring/monitoring_ctl.h"
#include "monitoring/net_if_probe.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/support/temp_root.h"

namespace {

class SixteenInterfaces : public NetIfProbe {
 public:
  Outcome probe(int index, std::string* name, unsigned* flags) override {
    if (name) *name = "eth" + std::to_string(index);
    if (flags) *flags = 0x41;
    return kOk;
  }
};

LGCP::DisplayParams display(const std::string& text) {
  LGCP::DisplayParams p;
  p.setFromValueNotation(text);
  return p;
}

// A root with four framer files, the service on it with two agents connected and the state
// stored.
struct Bench {
  Bench() {
    std::clog.rdbuf(nullptr);
    Mux::TestClock::set(uint64_t(1000) * 1000000);
    std::filesystem::create_directories(root.path() + "/var/monitoring");
    std::filesystem::create_directories(root.path() + "/proc/driver/hdlc/peb22554");
    for (int i = 0; i < 4; ++i)
      std::ofstream(root.path() + "/proc/driver/hdlc/peb22554/" + std::to_string(i))
          << "Current state           : Multiframe\n";
    NetIfProbe::replace(&probe);
    std::ostringstream text;
    for (const char* name : {"tavo", "lemzgw.xj"}) {
      agents.emplace_back(new FakeAgent);
      text << "[snmpagent]\nhost = 127.0.0.1:" << agents.back()->port() << "\nname = " << name
           << "\n";
    }
    std::istringstream in(text.str());
    in >> config;
    ctl.reset(new MonitoringCtl);
    ctl->Configure(config);
    turn_until([&] { return agents[0]->connected() && agents[1]->connected(); });
    for (int i = 0; i < 8; ++i)
      ctl->OnDisplayCMD(display("board : boardStatus : { position " + std::to_string(i) +
                                ", version '312E30'H, status ready, type fxs }"));
    for (int i = 0; i < 32; ++i) ctl->OnDisplayCMD(phone(i));
    for (int i = 0; i < 64; ++i)
      ctl->OnDisplayCMD(
          display("termCounter : { owner extBoard, ownerId " + std::to_string(i) + ", cnt 5 }"));
    ctl->doFramerCheck();
    ctl->doNetIfCheck();
    drain();
    // One send-all to learn how many frames it makes.
    ctl->OnDpcSend();
    ctl->agents().OnDpcSend();
    drain();
    expected = frames;
  }
  ~Bench() {
    ctl.reset();
    agents.clear();
    NetIfProbe::replace(nullptr);
    Mux::TestClock::release();
  }
  static LGCP::DisplayParams phone(int id) {
    return display(
        "emPhone : phoneStatus : { id " + std::to_string(id) +
        ", panelSV '312E30'H, ctrlSV '322E31'H, fpgaSV '332E32'H, status ready, powerStatus main, "
        "mode active, hookStatus connected, baseStatus connected }");
  }
  // Lets the agents read everything (`expected` frames, when known); the bytes and frames they
  // received.
  void drain() {
    const auto received = [&] {
      size_t n = 0;
      for (auto& a : agents) n += a->payloads.size();
      return n;
    };
    if (expected) {
      turn_until([&] { return received() >= expected; });
    } else {
      for (int i = 0; i < 10; ++i) run_loop_turn();
    }
    bytes = frames = 0;
    for (auto& a : agents) {
      for (const std::string& p : a->payloads) bytes += 4 + p.size() / 2;
      frames += a->payloads.size();
      a->payloads.clear();
      a->frames.clear();
    }
  }

  TempRoot root;
  SixteenInterfaces probe;
  IniFile::File config;
  std::vector<std::unique_ptr<FakeAgent>> agents;
  std::unique_ptr<MonitoringCtl> ctl;
  size_t bytes = 0;
  size_t frames = 0;
  size_t expected = 0;
};

void BM_SendAll(benchmark::State& state) {
  Bench bench;
  size_t bytes = 0, frames = 0;
  for (auto _ : state) {
    bench.ctl->OnDpcSend();
    bench.ctl->agents().OnDpcSend();
    state.PauseTiming();
    bench.drain();
    bytes += bench.bytes;
    frames += bench.frames;
    state.ResumeTiming();
  }
  state.counters["wire_bytes"] =
      benchmark::Counter(double(bytes), benchmark::Counter::kAvgIterations);
  state.counters["frames"] = benchmark::Counter(double(frames), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SendAll)->Unit(benchmark::kMicrosecond);

void BM_DisplayWritesAFile(benchmark::State& state) {
  Bench bench;
  const LGCP::DisplayParams p = Bench::phone(3);
  FakeAgent& tavo = *bench.agents[0];
  for (auto _ : state) {
    bench.ctl->OnDisplayCMD(p);
    bench.ctl->agents().OnDpcSend();
    state.PauseTiming();
    turn_until([&] { return !tavo.payloads.empty(); });
    tavo.payloads.clear();
    tavo.frames.clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DisplayWritesAFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
