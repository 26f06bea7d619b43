// The TPKT receiver on a stream in arbitrary pieces (StreamPieces; its flag lets the reassembly
// time-out strike at the end) hands up exactly the frames a whole-stream reading finds and gives
// back every packet.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "base/multiplexer.h"
#include "base/mux_clock.h"
#include "fuzz/proto/stream_pieces.h"
#include "proto/tpkt.h"
#include "tests/support/multiplexer_probe.h"

namespace {

class Collector : public ProtocolsFamily {
 public:
  std::vector<std::string> frames;
  void on_message(Packet& p) override {
    frames.emplace_back(reinterpret_cast<const char*>(p.get()->data), p.length());
  }
};

// The frames of a whole stream, read the way RFC 1006 frames are searched for: skip bytes until
// 0x03; a second byte other than 0x00 loses both; a length below 4 loses the header; a frame cut
// short by the end of the stream is not complete.
std::vector<std::string> frames_in(const uint8_t* s, size_t n) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < n) {
    if (s[i] != 0x03) {
      ++i;
      continue;
    }
    if (i + 1 >= n) break;
    if (s[i + 1] != 0x00) {
      i += 2;
      continue;
    }
    if (i + 3 >= n) break;
    size_t len = size_t(s[i + 2]) << 8 | s[i + 3];
    i += 4;
    if (len < 4) continue;
    if (i + (len - 4) > n) break;
    out.emplace_back(reinterpret_cast<const char*>(s + i), len - 4);
    i += len - 4;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::clog.rdbuf(nullptr);
  Mux::TestClock::set(1'000'000'000ull);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < StreamPieces::head) return 0;
  StreamPieces input(data, size);
  const bool time_out = input.flag;
  const uint8_t* stream = input.stream;
  const size_t n = input.size;

  const unsigned free_before = packet_pool().free_count();
  {
    Collector owner;
    auto* tpkt = new Tpkt_protocol;
    owner.add_protocol_tail(tpkt);
    owner.activate();
    for (size_t at = 0; at < n;) {
      const size_t piece = input.next(n - at);
      Packet p;
      p.reserve_head(0);
      std::memcpy(p.put(static_cast<unsigned>(piece)), stream + at, piece);
      tpkt->receive(p);
      if (p.length() != 0) std::abort();
      at += piece;
    }
    // The frames beyond one turn's budget come in the turns after.
    if (!MultiplexerProbe::turns_while([&] { return tpkt->waiting() > 0; }, 65536)) std::abort();
    if (time_out) {
      Mux::TestClock::advance_ms(Tpkt_protocol::reassembly_timeout_ms);
      multiplexer.timers_schedule();
      if (tpkt->state() != Tpkt_protocol::idle) std::abort();
    }
    if (owner.frames != frames_in(stream, n)) std::abort();
  }
  if (packet_pool().free_count() != free_before) std::abort();
  return 0;
}
