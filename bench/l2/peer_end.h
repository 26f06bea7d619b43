// One end of a peer library's link (libpri, libss7) in the benchmarks. The frames the library
// writes go to the link test kit's wire or to a FrameRing, whichever the end is attached to; a
// frame that reaches the end waits in `arrived` while the library reads it. PeerLine attaches a
// pair's two ends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "bench/l2/frame_ring.h"
#include "tests/support/hdlc_wire.h"

// The ring's receiver is the first base: the ring reaches an end without adjusting the pointer.
struct PeerEnd : FrameRing::Receiver, HDLC::Notify {
  void attach(HdlcWire::End& end);
  void attach(FrameRing& on, FrameRing::Side at);

  void on_hdlc_receive(Packet& frame) override;
  void on_hdlc_error(Cause::Type) override {}
  void on_hdlc_ready() override {}
  void on_frame(const unsigned char* octets, unsigned len) override { receive(octets, len); }
  // The library takes the frame (through its read) and acts on it.
  virtual void receive(const unsigned char* octets, unsigned len) = 0;

  // A frame the library writes; false when the wire or the ring refused it.
  bool write(const unsigned char* octets, unsigned len) {
    return ring ? ring->write(side, octets, len) : write_to_wire(octets, len);
  }
  bool can_write() const { return ring ? ring->room() : wire->is_ready(); }
  // The library's read: the waiting frame copied into `buf` (cut to `size`), its length; -1 when
  // none waits.
  long read(void* buf, size_t size) {
    if (!arrived) return -1;
    const size_t n = std::min(size_t{arrived_len}, size);
    std::memcpy(buf, arrived, n);
    arrived = nullptr;
    return static_cast<long>(n);
  }
  bool write_to_wire(const unsigned char* octets, unsigned len);

  HdlcWire::End* wire = nullptr;
  FrameRing* ring = nullptr;
  FrameRing::Side side = FrameRing::kA;
  const unsigned char* arrived = nullptr;
  unsigned arrived_len = 0;
};

// Where a pair's two ends are attached, for the pair's life: the link test kit's wire (untraced),
// or a FrameRing, on which the peers' clock stands still meanwhile (PeerClock::freeze).
class PeerLine {
 public:
  PeerLine(HdlcWire& on, PeerEnd& a, PeerEnd& b);
  PeerLine(FrameRing& on, PeerEnd& a, PeerEnd& b);
  ~PeerLine();
  PeerLine(const PeerLine&) = delete;
  PeerLine& operator=(const PeerLine&) = delete;

  // The one the ends are on; the other is null.
  HdlcWire* const wire = nullptr;
  FrameRing* const ring = nullptr;
};
