#include "bench/l2/peer_end.h"

#include <cstring>

#include "bench/l2/peer_clock.h"

void PeerEnd::attach(HdlcWire::End& end) {
  wire = &end;
  end.notify = this;
}

void PeerEnd::attach(FrameRing& on, FrameRing::Side at) {
  ring = &on;
  side = at;
  on.receiver[at] = this;
}

void PeerEnd::on_hdlc_receive(Packet& frame) {
  const Packet& octets = frame;
  receive(octets->data, octets.length());
}

bool PeerEnd::write_to_wire(const unsigned char* octets, unsigned len) {
  Packet frame;
  frame.reserve_head(0);
  std::memcpy(frame.put(len), octets, len);
  return wire->hdlc_transmit(frame);
}

PeerLine::PeerLine(HdlcWire& on, PeerEnd& a, PeerEnd& b) : wire(&on) {
  on.tracing = false;
  a.attach(on.a());
  b.attach(on.b());
}

PeerLine::PeerLine(FrameRing& on, PeerEnd& a, PeerEnd& b) : ring(&on) {
  PeerClock::freeze(true);
  a.attach(on, FrameRing::kA);
  b.attach(on, FrameRing::kB);
}

PeerLine::~PeerLine() {
  if (wire) wire->a().notify = wire->b().notify = nullptr;
  if (ring) {
    ring->receiver[FrameRing::kA] = ring->receiver[FrameRing::kB] = nullptr;
    PeerClock::freeze(false);
  }
}
