// Aligned PER decode and encode, and the value-notation trace, of real LGCP messages: the
// success response that answers most commands, a DTMF signal, a trunk status signal and a large
// LEMZ gateway signal (from the shared vectors).
#include <benchmark/benchmark.h>

#include <iterator>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/modules/lgcp.h"
#include "tools/orvex-ctl/lib/hex.h"

namespace {

const char success_response[] = "C00105000340";
const char tonec_signal[] = "4000CD81044586580430";
const char trunk_status_signal[] =
    "4003FF8B000200FFC001040300BA5D012E03FF72A401520E3A7A2B4D5C784F446D304677782180";
const char lemz_signal[] =
    "C002CEFB01CE1C0200014604B82F21E4003107440268DE40014C400176023003700301000016714C5161356"
    "57D25632B40702C427E2A316E7477792A027BE304EED3F30B01530300FA56049E83059602BF920429172A05"
    "016003FEF09D040742CED202104603FF6A96000148700256810F552F3A69513A442D232F68216545760200FF"
    "015F03009FDC0300B73002FF7F017102A1DF0166017E01600100046C5DF2C70003009CD52802C89B184B6F6A"
    "7D79285F3F7173457027547C703371524236296D2101430300FFFF040B53C16B01420300EFA803008B280300"
    "D8DE011103FEF8AB012902BC5803FF7BC50001350001000279620002DE250219F70031014803FF6567600258"
    "BF6002FF7F021000000340183F423829707D356A586A7D326D415A633431317B584E475340167747282D3D52"
    "495F2C3725276C273B77245F7A637C6E40082F6E78362C3C533D";

std::vector<char> octets(const char* hex) {
  std::vector<char> bytes;
  Ctl::from_hex(hex, bytes);
  return bytes;
}

bool decode(const std::vector<char>& bytes, LGCP::Message& message) {
  ASN1::CoderEnv env;
  return ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, message);
}

void BM_Decode(benchmark::State& state, const char* hex) {
  std::vector<char> bytes = octets(hex);
  for (auto _ : state) {
    LGCP::Message message;
    if (!decode(bytes, message)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_Encode(benchmark::State& state, const char* hex) {
  std::vector<char> bytes = octets(hex);
  LGCP::Message message;
  if (!decode(bytes, message)) state.SkipWithError("decode failed");
  std::vector<char> out;
  out.reserve(200);
  for (auto _ : state) {
    out.clear();
    ASN1::CoderEnv env;
    if (!ASN1::encode(message, &env, std::back_inserter(out))) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_Trace(benchmark::State& state, const char* hex) {
  LGCP::Message message;
  if (!decode(octets(hex), message)) state.SkipWithError("decode failed");
  for (auto _ : state) {
    std::string text = message.asValueNotation();
    benchmark::DoNotOptimize(text.data());
  }
}

BENCHMARK_CAPTURE(BM_Decode, success_response, success_response);
BENCHMARK_CAPTURE(BM_Decode, tonec_signal, tonec_signal);
BENCHMARK_CAPTURE(BM_Decode, trunk_status_signal, trunk_status_signal);
BENCHMARK_CAPTURE(BM_Decode, lemz_signal, lemz_signal);
BENCHMARK_CAPTURE(BM_Encode, success_response, success_response);
BENCHMARK_CAPTURE(BM_Encode, tonec_signal, tonec_signal);
BENCHMARK_CAPTURE(BM_Encode, trunk_status_signal, trunk_status_signal);
BENCHMARK_CAPTURE(BM_Encode, lemz_signal, lemz_signal);
BENCHMARK_CAPTURE(BM_Trace, success_response, success_response);
BENCHMARK_CAPTURE(BM_Trace, lemz_signal, lemz_signal);

}  // namespace

BENCHMARK_MAIN();
