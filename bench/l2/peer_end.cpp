#include "bench/l2/peer_end.h"

#include <cstring>

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
