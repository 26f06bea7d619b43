// Our links beside independent stacks: ISDN LAPD against libpri's Q.921 (primary rate, window 7
// on both), SS7 signalling link control against libss7's MTP2. Each reports frames (or MSUs) per
// second delivered to layer 3, 32 octets each, and after the runs the program prints ours against
// the peer's, with the ratio, for each drive.
//
// The comparison (BM_Ring*): all four on one FrameRing (bench/l2/frame_ring.h), no event loop,
// each side's clock standing still and its timers run only when a pass finds the ring idle. A
// peer's frame is copied into the ring on write and out of it on read; ours run twice, once
// handing the Packet handle through the ring (copies:0, what our channels do) and once making the
// peers' two copies (copies:1), and both are set against the peer. Two drives, 1000 frames an
// iteration:
//   window:     before each pass, top up to 7 frames sent and not yet delivered (the LAPD window):
//               the steady cost per frame of a link whose transmit queue stays at its window;
//   100, drain: send 100 frames, then pass until all have arrived; again: the cost of a burst
//               that waits in the link's transmit queue and is drained at the window's pace.
//
// The event-loop wire (BM_Wire*, not the comparison): the same links on the link test kit's
// HdlcWire under the loop, each turn topping up to 100 frames sent and not yet delivered. Our SS7
// link also runs there with 1 % of the units lost (recovered by negative acknowledgement); ours
// report the peak of packet buffers each link held. (l2_bench has LAPD with loss and on the real
// clock.)
//
// For steady figures on a shared machine:
//   peer_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// Instructions per frame, the ring included: bench/l2/instructions_per_frame.sh PEER_BENCH.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/mux_clock.h"
#include "base/multiplexer.h"
#include "bench/l2/benchmark_message.h"
#include "bench/l2/frame_ring.h"
#include "bench/l2/lapd_owner.h"
#include "bench/l2/libpri_pair.h"
#include "bench/l2/libss7_pair.h"
#include "bench/l2/quiet_logs.h"
#include "bench/l2/slc_pair.h"
#include "l2/isdn/lapd.h"
#include "tests/l2/l2_support.h"
#include "tests/support/hdlc_wire.h"
#include "tests/support/loop_turns.h"

namespace {

constexpr unsigned kBatch = 1000;
// The event-loop wire's drive.
constexpr unsigned kOutstanding = 100;
// The ring's drives.
constexpr unsigned kWindow = 7;
constexpr unsigned kBurst = 100;
constexpr unsigned kLapdWire = 64;
constexpr unsigned kSs7Wire = 1000;

// A wire rule losing about `per_mille` of the frames, the same sequence every run.
struct Loss {
  explicit Loss(int per_mille) : per_mille(per_mille) {}
  HdlcWire::Fault operator()(HdlcWire::Side, const Packet&) {
    return int(random() % 1000) < per_mille ? HdlcWire::Fault::kLose : HdlcWire::Fault::kNone;
  }
  int per_mille;
  std::minstd_rand random{7};
};

// Loss on `wire`; a clean wire has no rule at all, as the peers' wire has none.
void lose(HdlcWire& wire, int per_mille) {
  if (per_mille > 0) wire.rule = Loss(per_mille);
}

// One iteration: kBatch frames delivered, each loop turn topping up to `outstanding` sent and not
// yet delivered, the same for every link. `send` sends one frame, `received` counts the frames
// delivered so far, `turn` runs the wire once and is false when the link is lost; `total` counts
// the frames sent over all iterations. False when the link was lost.
template <class Send, class Received, class Turn>
bool deliver_batch(unsigned outstanding, unsigned& total, Send send, Received received, Turn turn) {
  const unsigned target = received() + kBatch;
  unsigned sent = 0;
  while (received() < target) {
    for (; sent < kBatch && total - received() < outstanding; ++sent, ++total) send();
    if (!turn()) return false;
  }
  return true;
}

void BM_WireLapd(benchmark::State& state) {
  state.SetLabel("event-loop wire");
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    HdlcWire wire(kLapdWire);
    wire.tracing = false;
    LapdOwner a(ISDN::Side::user, wire.a());
    LapdOwner b(ISDN::Side::network, wire.b());
    a.lapd->activate();
    while (a.lapd->full_state().state != 6 || b.lapd->full_state().state != 6) {
      turns();
      if (wire.idle()) Mux::TestClock::advance_ms(1000);
    }
    const unsigned baseline = 1024 - packet_pool().free_count();
    unsigned peak = 0;
    unsigned total = 0;
    for (auto _ : state) {
      deliver_batch(
          kOutstanding, total,
          [&] {
            Packet p;
            a.lapd->prepare_head(p);
            std::memset(p.put(kPayload), 0x5A, kPayload);
            a.lapd->message(p);
          },
          [&] { return b.received; },
          [&] {
            turns();
            peak = std::max(peak, 1024 - packet_pool().free_count() - baseline);
            if (wire.idle()) Mux::TestClock::advance_ms(1000);
            return true;
          });
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    state.counters["peak_packets_per_link"] = peak / 2.0;
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_WireLapd);

void BM_WireLibpri(benchmark::State& state) {
  state.SetLabel("event-loop wire");
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    quiet_logs();
    HdlcWire wire(kLapdWire);
    LibpriPair pair(wire);
    if (!pair.establish()) state.SkipWithError("libpri links did not come up");
    unsigned char payload[kPayload];
    std::memset(payload, 0x5A, sizeof payload);
    unsigned total = 0;
    for (auto _ : state) {
      const bool up = deliver_batch(
          kOutstanding, total, [&] { pair.send(payload, kPayload); },
          [&] { return pair.b.received; },
          [&] {
            pair.turn();
            if (wire.idle()) pair.run_next_timer();
            return pair.a.up;
          });
      if (!up) {
        state.SkipWithError("libpri link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_WireLibpri);

void BM_WireSs7(benchmark::State& state) {
  state.SetLabel("event-loop wire");
  quiet_logs();
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    SlcPair pair;
    pair.a.slc->activate();
    pair.pump();
    advance(8200);
    pair.pump();
    if (pair.b.slc->state() != SS7::SLC::State::worked) state.SkipWithError("no alignment");
    lose(pair.wire, static_cast<int>(state.range(0)));
    const Bytes msu = numbered(1, kPayload);
    const unsigned baseline = 1024 - packet_pool().free_count();
    unsigned peak = 0;
    unsigned total = 0;
    for (auto _ : state) {
      const bool up = deliver_batch(
          kOutstanding, total, [&] { pair.send(pair.a, msu); },
          [&] { return pair.b.received_count; },
          [&] {
            peak = std::max(peak, 1024 - packet_pool().free_count() - baseline);
            turns();
            if (pair.wire.idle()) {
              // Quiet wire: the line's repeated FISUs.
              pair.a.slc->on_hdlc_ready();
              pair.b.slc->on_hdlc_ready();
            }
            return pair.a.slc->state() == SS7::SLC::State::worked;
          });
      if (!up) {
        state.SkipWithError("link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    state.counters["peak_packets_per_link"] = peak;
    state.counters["retransmissions"] = pair.a.slc->statistics().retransmissions;
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_WireSs7)->Arg(0)->Arg(10)->ArgName("loss_per_mille");

void BM_WireLibss7(benchmark::State& state) {
  state.SetLabel("event-loop wire");
  quiet_logs();
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    HdlcWire wire(kSs7Wire);
    Libss7Pair pair(wire);
    if (!pair.establish()) state.SkipWithError("libss7 links did not come into service");
    const Bytes msu = numbered(1, kPayload);
    unsigned total = 0;
    for (auto _ : state) {
      const bool up = deliver_batch(
          kOutstanding, total, [&] { pair.send(msu.data(), static_cast<int>(msu.size())); },
          [&] { return pair.b.received; },
          [&] {
            pair.turn();
            return pair.a.up;
          });
      if (!up) {
        state.SkipWithError("libss7 link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
  }
  Mux::TestClock::release();
}
BENCHMARK(BM_WireLibss7);

// The ring ----------------------------------------------------------------------------------

enum Drive { kDriveWindow = 0, kDriveBurst = 1 };
const char* const kDriveNames[] = {"window 7", "100, drain"};

const unsigned char* payload() {
  static unsigned char octets[kPayload];
  static const bool filled = (std::memset(octets, 0x5A, sizeof octets), true);
  (void)filled;
  return octets;
}

// One pass of the ring, the same code for every pair: each end is offered the line; when the
// ring is then idle, the clock moves to the first timer of either end, what fell due runs and
// the line is offered again; then the frames written before the delivery are delivered. Only
// libss7 writes when offered the line: it sends when its descriptor polls writable, where our
// links and libpri write as they go. Offered before the delivery, what libss7 was given to send
// since the last pass arrives in this pass, as ours does, not one pass late. False when the
// sender's link no longer carries traffic.
template <class Pair>
bool pass_ring(Pair& pair) {
  pair.offer_line();
  if (pair.ring.idle()) {
    pair.run_next_timer();
    pair.offer_line();
  }
  pair.ring.pass();
  return pair.working();
}

// Every pair's send and pass are its whole work per frame, the ring's included, and are kept out
// of line: instructions_per_frame.sh collects inside *RingPair::send and *RingPair::pass.

// Our two ends on the ring; with `copies`, frames are copied into and out of the ring as the
// peers' are.
struct OurRing {
  explicit OurRing(bool copies) {
    ring.receiver[FrameRing::kA] = &ca;
    ring.receiver[FrameRing::kB] = &cb;
    ca.copies = cb.copies = copies;
  }
  // The loop's test clock moves to the first pending timer and what fell due fires.
  void run_next_timer() {
    int wait = multiplexer.timers_schedule();
    if (wait <= 0) return;
    Mux::TestClock::advance_ms(unsigned(wait));
    multiplexer.timers_schedule();
  }
  void offer_line() {}

  FrameRing ring;
  FrameRing::Channel ca{ring, FrameRing::kA};
  FrameRing::Channel cb{ring, FrameRing::kB};
};

// Our two LAPD links (user a, network b) on the ring.
struct LapdRingPair : OurRing {
  using OurRing::OurRing;
  bool establish() {
    a.lapd->activate();
    for (int i = 0; i < 100 && !up(); ++i) pass();
    return up();
  }
  bool up() const { return a.lapd->full_state().state == 6 && b.lapd->full_state().state == 6; }
  // Established, or recovering from a timeout.
  bool working() const { return a.lapd->full_state().state >= 6; }
  __attribute__((noinline)) void send() {
    Packet p;
    a.lapd->prepare_head(p);
    std::memcpy(p.put(kPayload), payload(), kPayload);
    a.lapd->message(p);
  }
  unsigned received() const { return b.received; }
  __attribute__((noinline)) bool pass() { return pass_ring(*this); }

  LapdOwner a{ISDN::Side::user, ca};
  LapdOwner b{ISDN::Side::network, cb};
};

struct LibpriRingPair {
  explicit LibpriRingPair(bool) {}
  bool establish() {
    for (int i = 0; i < 2000 && !pair.up(); ++i) pass();
    return pair.up();
  }
  bool working() const { return pair.a.up; }
  __attribute__((noinline)) void send() { pair.send(payload(), kPayload); }
  unsigned received() const { return pair.b.received; }
  __attribute__((noinline)) bool pass() { return pass_ring(*this); }
  void run_next_timer() { pair.run_next_timer(); }
  void offer_line() {}

  FrameRing ring;
  LibpriPair pair{ring};
};

// Our two SS7 links on the ring.
struct SlcRingPair : OurRing {
  explicit SlcRingPair(bool copies) : OurRing(copies) {
    a.start(ca);
    b.start(cb);
    b.slc->slc = 1;
  }
  bool establish() {
    a.slc->activate();
    for (int i = 0; i < 100 && !up(); ++i) pass();
    return up();
  }
  bool up() const { return working() && b.slc->state() == SS7::SLC::State::worked; }
  bool working() const { return a.slc->state() == SS7::SLC::State::worked; }
  __attribute__((noinline)) void send() {
    Packet p;
    a.slc->prepare_head(p);
    std::memcpy(p.put(kPayload), msu.data(), kPayload);
    a.slc->message(p);
  }
  unsigned received() const { return b.received_count; }
  __attribute__((noinline)) bool pass() { return pass_ring(*this); }

  const Bytes msu = numbered(1, kPayload);
  SlcEnd a, b;
};

struct Libss7RingPair {
  explicit Libss7RingPair(bool) {}
  bool establish() { return pair.establish(); }
  bool working() const { return pair.a.up; }
  __attribute__((noinline)) void send() { pair.send(msu.data(), static_cast<int>(msu.size())); }
  unsigned received() const { return pair.b.received; }
  __attribute__((noinline)) bool pass() { return pass_ring(*this); }
  void run_next_timer() { pair.run_next_timer(); }
  void offer_line() { pair.transmit(); }

  const Bytes msu = numbered(1, kPayload);
  FrameRing ring;
  Libss7Pair pair{ring};
};

// One iteration of the burst drive: kBatch frames, kBurst at a time, each burst sent at once and
// drained before the next. False when the link was lost.
template <class Pair>
bool send_then_drain(Pair& pair) {
  for (unsigned burst = 0; burst < kBatch / kBurst; ++burst) {
    const unsigned target = pair.received() + kBurst;
    for (unsigned i = 0; i < kBurst; ++i) pair.send();
    while (pair.received() < target)
      if (!pair.pass()) return false;
  }
  return true;
}

template <class Pair>
void run_on_ring(benchmark::State& state) {
  quiet_logs();
  Mux::TestClock::set(uint64_t(1000) * 1000000);
  {
    const auto drive = static_cast<Drive>(state.range(0));
    const bool copies = state.range(1) != 0;
    state.SetLabel(std::string(kDriveNames[drive]) + (copies ? ", the peers' copies" : ""));
    auto pair = std::make_unique<Pair>(copies);
    if (!pair->establish()) state.SkipWithError("the links did not come up");
    const unsigned received = pair->received();
    const unsigned long units = pair->ring.units, passes = pair->ring.passes;
    unsigned total = 0;
    for (auto _ : state) {
      const bool up =
          drive == kDriveWindow
              ? deliver_batch(
                    kWindow, total, [&] { pair->send(); }, [&] { return pair->received(); },
                    [&] { return pair->pass(); })
              : send_then_drain(*pair);
      if (!up) {
        state.SkipWithError("link lost");
        break;
      }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
    // How the drive moved each side: a side whose messages take more passes than the other's
    // is not driven alike.
    const double messages = pair->received() - received;
    if (messages > 0) {
      state.counters["messages_per_pass"] = messages / double(pair->ring.passes - passes);
      state.counters["units_per_message"] = double(pair->ring.units - units) / messages;
    }
  }
  Mux::TestClock::release();
}

void BM_RingLapd(benchmark::State& state) { run_on_ring<LapdRingPair>(state); }
void BM_RingLibpri(benchmark::State& state) { run_on_ring<LibpriRingPair>(state); }
void BM_RingSs7(benchmark::State& state) { run_on_ring<SlcRingPair>(state); }
void BM_RingLibss7(benchmark::State& state) { run_on_ring<Libss7RingPair>(state); }
// Ours with handles and with copies; the peers always copy.
void ours(benchmark::internal::Benchmark* b) {
  for (int drive : {kDriveWindow, kDriveBurst})
    for (int copies : {0, 1}) b->Args({drive, copies});
  b->ArgNames({"drive", "copies"});
}
void peer(benchmark::internal::Benchmark* b) {
  for (int drive : {kDriveWindow, kDriveBurst}) b->Args({drive, 1});
  b->ArgNames({"drive", "copies"});
}
BENCHMARK(BM_RingLapd)->Apply(ours);
BENCHMARK(BM_RingLibpri)->Apply(peer);
BENCHMARK(BM_RingSs7)->Apply(ours);
BENCHMARK(BM_RingLibss7)->Apply(peer);

// The console's report, then the ring's rates of ours against the peer's for each drive: the
// median of the runs of each (--benchmark_repetitions=N gives N of them; with
// --benchmark_enable_random_interleaving the load of a shared machine falls on both alike),
// with each side's messages per pass and units written per message. Messages per pass that
// differ by more than 5 % are flagged: at the window drive both sides must move alike (else
// the ratio does not compare like with like); a burst drains at each link's own pace.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      for (const char* counter : {kRate, kPerPass, kUnits}) {
        auto it = run.counters.find(counter);
        if (it != run.counters.end()) values_[counter][run.run_name.str()].push_back(it->second);
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (unsigned drive : {kDriveWindow, kDriveBurst}) {
      const std::string arg = "/drive:" + std::to_string(drive) + "/copies:";
      for (unsigned copies : {0, 1}) {
        const char* mode = copies ? "ours with the peers' copies" : "ours with handles";
        const std::string with = arg + std::to_string(copies);
        ratio("LAPD I frames/s", kDriveNames[drive], mode, "BM_RingLapd" + with, "libpri Q.921",
              "BM_RingLibpri" + arg + "1");
        ratio("SS7 MSUs/s", kDriveNames[drive], mode, "BM_RingSs7" + with, "libss7 MTP2",
              "BM_RingLibss7" + arg + "1");
      }
    }
  }

 private:
  static constexpr const char* kRate = "items_per_second";
  static constexpr const char* kPerPass = "messages_per_pass";
  static constexpr const char* kUnits = "units_per_message";

  double median(const char* counter, const std::string& name) const {
    auto values = values_.find(counter);
    if (values == values_.end()) return 0;
    auto it = values->second.find(name);
    if (it == values->second.end()) return 0;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  }
  void ratio(const char* what, const char* drive, const char* mode, const std::string& ours,
             const char* peer_name, const std::string& peer) const {
    const double o = median(kRate, ours), p = median(kRate, peer);
    if (o <= 0 || p <= 0) return;
    const double o_pass = median(kPerPass, ours), p_pass = median(kPerPass, peer);
    const bool alike = o_pass > 0 && p_pass > 0 && std::abs(o_pass / p_pass - 1) <= 0.05;
    std::printf("%s, %s, %s: ours %.3g, %s %.3g, ratio %.2f; messages per pass %.2f, %.2f; "
                "units written per message %.2f, %.2f%s\n",
                what, drive, mode, o, peer_name, p, o / p, o_pass, p_pass, median(kUnits, ours),
                median(kUnits, peer), alike ? "" : "; MISMATCH in messages per pass");
  }

  std::map<std::string, std::map<std::string, std::vector<double>>> values_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
