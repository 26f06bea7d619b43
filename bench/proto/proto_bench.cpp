// The per-frame cost of the packet pool and the TPKT layer: framing an outgoing message, and
// reassembling frames from a stream delivered in TCP-sized pieces, each piece in a loop turn of
// its own (the turns do not poll), as the daemon reads them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "proto/tpkt.h"
#include "tests/support/multiplexer_probe.h"

namespace {

class Sink : public ProtocolsFamily {
 public:
  unsigned frames = 0;
  void transmit(Packet&) override { ++frames; }
  void on_message(Packet&) override { ++frames; }
};

void BM_TpktFrameMessage(benchmark::State& state) {
  const unsigned size = static_cast<unsigned>(state.range(0));
  Sink stack;
  stack.add_protocol_tail(new Tpkt_protocol);
  for (auto _ : state) {
    Packet p;
    stack.prepare_head(p);
    std::memset(p.put(size), 0x5A, size);
    stack.message(p);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
}
BENCHMARK(BM_TpktFrameMessage)->Arg(16)->Arg(200)->Arg(4000);

void BM_TpktReassemble(benchmark::State& state) {
  const unsigned payload = static_cast<unsigned>(state.range(0));
  const unsigned piece = 1460;
  std::string stream;
  while (stream.size() < 256 * 1024) {
    unsigned n = payload + 4;
    stream += std::string("\x03\x00", 2) + char(n >> 8) + char(n & 0xFF) + std::string(payload, 'x');
  }
  Sink stack;
  auto* tpkt = new Tpkt_protocol;
  stack.add_protocol_tail(tpkt);
  for (auto _ : state) {
    for (size_t at = 0; at < stream.size(); at += piece) {
      size_t n = std::min<size_t>(piece, stream.size() - at);
      Packet p;
      p.reserve_head(0);
      std::memcpy(p.put(static_cast<unsigned>(n)), stream.data() + at, n);
      tpkt->receive(p);
      unsigned turns = 0;
      MultiplexerProbe::turns_while([&] { return turns++ == 0 || tpkt->waiting() > 0; });
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
  state.counters["frames/s"] = benchmark::Counter(double(stack.frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TpktReassemble)->Arg(16)->Arg(200)->Arg(4000);

void BM_PacketCopyOnWrite(benchmark::State& state) {
  Packet original;
  original.reserve_head(8);
  std::memset(original.put(200), 1, 200);
  for (auto _ : state) {
    Packet copy = original;
    copy.push8(0);  // the shared buffer is copied here
    benchmark::DoNotOptimize(copy.get());
  }
}
BENCHMARK(BM_PacketCopyOnWrite);

}  // namespace

BENCHMARK_MAIN();
