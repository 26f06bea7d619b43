// Nanoseconds per pack and per unpack of the radio codecs' reference packets: the ED-137 RX
// header alone and with a signal-quality feature, and the LEMZ WM_TRANS, WM_CHAN and
// GW_SEL_CALL packets.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include "radio/r2s_proto.h"
#include "radio/sig_proto.h"

namespace {

r2s_proto ed137(bool sqi) {
  r2s_proto p;
  r2s_proto_init(&p, kR2sRx);
  r2s_proto_set_rx_header(&p, 1, 1, 63, 1, 1, 1);
  if (sqi) r2s_proto_add_rx_sqi(&p, 31, 1);
  return p;
}

sig_proto lemz(uint32_t type) {
  sig_proto p;
  sig_proto_init(&p);
  p.type = type;
  p.flag_p = 1;
  in_addr a;
  ::inet_aton("127.0.0.20", &a);
  sig_proto_set_wm_transmite(&p, a, 258);
  if (type == WM_CHAN) sig_proto_set_wm_chan(&p, 3, 121.5f, 1, 2);
  if (type == GW_SEL_CALL) sig_proto_set_gw_selcall(&p, "abc", 3);
  return p;
}

void BM_Ed137Pack(benchmark::State& state) {
  r2s_proto p = ed137(state.range(0));
  unsigned char buf[1024];
  for (auto _ : state) benchmark::DoNotOptimize(r2s_proto_pack(&p, buf, 64));
}
BENCHMARK(BM_Ed137Pack)->ArgName("sqi")->Arg(0)->Arg(1);

void BM_Ed137Unpack(benchmark::State& state) {
  r2s_proto p = ed137(state.range(0));
  unsigned char buf[64];
  const int n = r2s_proto_pack(&p, buf, sizeof buf);
  for (auto _ : state) {
    r2s_proto_init(&p, 0);
    benchmark::DoNotOptimize(r2s_proto_unpack_rx(&p, buf, n));
  }
}
BENCHMARK(BM_Ed137Unpack)->ArgName("sqi")->Arg(0)->Arg(1);

void BM_LemzPack(benchmark::State& state) {
  sig_proto p = lemz(static_cast<uint32_t>(state.range(0)));
  unsigned char buf[1024];
  for (auto _ : state) benchmark::DoNotOptimize(sig_proto_pack(&p, buf, 64));
}
BENCHMARK(BM_LemzPack)->ArgName("type")->Arg(WM_TRANS)->Arg(WM_CHAN)->Arg(GW_SEL_CALL);

void BM_LemzUnpack(benchmark::State& state) {
  sig_proto p = lemz(static_cast<uint32_t>(state.range(0)));
  unsigned char buf[64];
  const int n = sig_proto_pack(&p, buf, sizeof buf);
  for (auto _ : state) {
    sig_proto_init(&p);
    benchmark::DoNotOptimize(sig_proto_unpack(&p, buf, n));
  }
}
BENCHMARK(BM_LemzUnpack)->ArgName("type")->Arg(WM_TRANS)->Arg(WM_CHAN)->Arg(GW_SEL_CALL);

}  // namespace

BENCHMARK_MAIN();
