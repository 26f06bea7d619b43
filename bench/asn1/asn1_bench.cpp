// Nanoseconds and heap allocations per aligned PER encode and decode, value-notation print and
// deep copy of four message shapes of the test schema: the minimal response, a create command
// with RTP parameters, a 1500-octet user-data signal and an HDLC package list of 128 elements.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <new>
#include <sstream>

#include "tests/support/test_schema_values.h"

namespace {

size_t g_allocations = 0;

}  // namespace

// Every allocation is counted; the pairs below are malloc and free underneath.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using namespace TestSchema;

enum Shape { response, create_rtp, user_data, hdlc_packages };

void build(Message& m, Shape shape) {
  switch (shape) {
    case response:
      m.set_seq(5);
      m.set_slot(3);
      make_response(m, -1);
      break;
    case create_rtp:
      make_create_rtp(m);
      break;
    case user_data: {
      m.set_slot(12);
      m.get_pdu().select(PDU::signal);
      ASN1::CHOICE& signal = *static_cast<ASN1::CHOICE*>(m.get_pdu().choice);
      signal.select(sig_userData);
      static_cast<ASN1::OCTET_STRING*>(signal.choice)->assign(1500, '\x5a');
      break;
    }
    case hdlc_packages:
      make_hdlc_packages(m, 128, 32);
      break;
  }
}

void count(benchmark::State& state, size_t before) {
  state.counters["allocs"] = benchmark::Counter(
      static_cast<double>(g_allocations - before) / static_cast<double>(state.iterations()));
}

void BM_Encode(benchmark::State& state, Shape shape) {
  Message m;
  build(m, shape);
  std::vector<char> out;
  out.reserve(8192);
  size_t before = g_allocations;
  for (auto _ : state) {
    out.clear();
    ASN1::CoderEnv env;
    if (!env.encode(m, out)) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  count(state, before);
}

void BM_Decode(benchmark::State& state, Shape shape) {
  Message m;
  build(m, shape);
  std::vector<char> bytes;
  per_encode(m, bytes);
  size_t before = g_allocations;
  for (auto _ : state) {
    Message back;
    if (!per_decode(bytes, back)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(back);
  }
  count(state, before);
}

void BM_Print(benchmark::State& state, Shape shape) {
  Message m;
  build(m, shape);
  std::ostringstream os;
  size_t before = g_allocations;
  for (auto _ : state) {
    os.str(std::string());
    os << m;
    benchmark::DoNotOptimize(os);
  }
  count(state, before);
}

void BM_Clone(benchmark::State& state, Shape shape) {
  Message m;
  build(m, shape);
  size_t before = g_allocations;
  for (auto _ : state) {
    std::unique_ptr<ASN1::AbstractData> copy(m.clone());
    benchmark::DoNotOptimize(copy.get());
  }
  count(state, before);
}

#define SHAPES(bm)                                 \
  BENCHMARK_CAPTURE(bm, response, response);       \
  BENCHMARK_CAPTURE(bm, create_rtp, create_rtp);   \
  BENCHMARK_CAPTURE(bm, user_data_1500, user_data); \
  BENCHMARK_CAPTURE(bm, hdlc_packages_128, hdlc_packages)

SHAPES(BM_Encode);
SHAPES(BM_Decode);
SHAPES(BM_Print);
SHAPES(BM_Clone);

}  // namespace

BENCHMARK_MAIN();
