// Two libss7 MTP2 links back to back, for the benchmarks: on the link test kit's wire (each
// signal unit going through it as our links' units do) or on a FrameRing
// (bench/l2/frame_ring.h). libss7 reads and writes its link's descriptor directly; read and write
// are wrapped at link time (--wrap=read, --wrap=write) and lead the pair's two descriptor
// numbers, which are never opened, to the wire or the ring. MSUs of the benchmark's pattern stop
// at a counter in place of MTP3 (--wrap=mtp3_receive); libss7's own MTP3 traffic (the link test)
// goes on to it.
#pragma once

#include "bench/l2/peer_end.h"

struct ss7;
struct mtp2;

class Libss7Pair {
 public:
  struct End : PeerEnd {
    void receive(const unsigned char* octets, unsigned len) override;
    // With `timers`, the timers first; then the MSUs waiting and one FISU or LSSU, as the line
    // repeats them.
    void transmit(bool timers);
    void take_events();

    struct ss7* ss7 = nullptr;
    struct mtp2* link = nullptr;
    bool up = false;
    int fd = -1;
    unsigned received = 0;  // MSUs of the benchmark's pattern up to layer 3
    bool wrote_msu = false;
  };

  // On the wire: the loop delivers, and the peers' clock is the system's.
  explicit Libss7Pair(HdlcWire& wire);
  // On the ring: pass() delivers, and the peers' clock stands still but while the links align
  // and when a pass finds the ring idle.
  explicit Libss7Pair(FrameRing& ring);
  ~Libss7Pair();
  Libss7Pair(const Libss7Pair&) = delete;
  Libss7Pair& operator=(const Libss7Pair&) = delete;

  // Aligns and proves both links (the peers' clock moves 10 ms a turn); false when they do not
  // come into service.
  bool establish();
  // Hands an MSU (service information octet and signalling information) to a's link.
  void send(const unsigned char* octets, int len);
  // On the wire: one loop turn (the wire delivers), then each side runs its timers and transmits.
  void turn();
  // On the ring: one pass, then each side transmits; the timers run only when the ring was idle.
  void pass();

  End a, b;

 private:
  void start();

  PeerLine line_;
};

// The benchmark's MSU pattern: 32 octets, the first two numbering it, the others 0x5A.
bool is_benchmark_msu(const unsigned char* octets, int len);
