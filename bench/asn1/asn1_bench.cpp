// Nanoseconds and heap allocations per aligned PER encode and decode, value-notation print and
// deep copy of four message shapes of the test schema: the minimal response, a create command
// with RTP parameters, a 1500-octet user-data signal and an HDLC package list of 128 elements.
// Then the decoder over every message of the shared vector file (tests/data/messages.vec), with
// the heap allocations per message, the message's own construction included.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "asn1/modules/lgcp.h"
#include "asn1/modules/mon.h"
#include "tests/support/test_schema_values.h"
#include "tools/orvex-ctl/lib/hex.h"

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

// The octets of each "= TYPE N" block of the vector file, and whether its type is MON's.
struct Vector {
  bool mon;
  std::vector<char> octets;
};

std::vector<Vector> read_vectors() {
  const char* env = std::getenv("ORVEX_VECTORS");
  std::ifstream in(env ? env : ORVEX_SOURCE_DIR "/tests/data/messages.vec");
  std::vector<Vector> vectors;
  std::string line, hex;
  while (std::getline(in, line)) {
    if (line.compare(0, 2, "= ") != 0 || !std::getline(in, hex)) continue;
    Vector v;
    v.mon = line.compare(2, 5, "MON::") == 0;
    if (Ctl::from_hex(hex, v.octets)) vectors.push_back(std::move(v));
  }
  return vectors;
}

// Every vector decoded into a message made for it; items are messages.
void BM_DecodeVectors(benchmark::State& state) {
  const std::vector<Vector> vectors = read_vectors();
  if (vectors.empty()) {
    state.SkipWithError("no vectors");
    return;
  }
  size_t failed = 0;
  size_t before = g_allocations;
  for (auto _ : state) {
    for (const Vector& v : vectors) {
      std::unique_ptr<ASN1::AbstractData> message;
      if (v.mon)
        message.reset(new MON::Message);
      else
        message.reset(new LGCP::Message);
      ASN1::CoderEnv env;
      if (!ASN1::decode(v.octets.data(), v.octets.data() + v.octets.size(), &env, *message))
        ++failed;
      benchmark::DoNotOptimize(message.get());
    }
  }
  const double messages = static_cast<double>(state.iterations() * vectors.size());
  state.counters["allocs"] = static_cast<double>(g_allocations - before) / messages;
  state.counters["messages"] = static_cast<double>(vectors.size());
  state.counters["failed"] = static_cast<double>(failed) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(messages));
}
BENCHMARK(BM_DecodeVectors);

}  // namespace

BENCHMARK_MAIN();
