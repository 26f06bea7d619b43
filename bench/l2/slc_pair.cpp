#include "bench/l2/slc_pair.h"

#include <cstring>

#include "tests/support/loop_turns.h"

Bytes numbered(unsigned n, unsigned len) {
  Bytes b(len, 0x5A);
  b[0] = static_cast<unsigned char>(n >> 8);
  b[1] = static_cast<unsigned char>(n);
  return b;
}

SlcPair::SlcPair() {
  wire.tracing = false;
  a.start(wire.a());
  b.start(wire.b());
  b.slc->slc = 1;
}

void SlcPair::pump() {
  while (!wire.idle()) turns();
}

void SlcPair::send(SlcEnd& from, const Bytes& msu) {
  Packet p;
  p.reserve_head(3);
  std::memcpy(p.put(static_cast<unsigned>(msu.size())), msu.data(), msu.size());
  from.slc->message(p);
}
