// Two libss7 MTP2 links back to back, for the benchmarks: on the link test kit's wire (each
// signal unit going through it as our links' units do) or on a FrameRing
// (bench/l2/frame_ring.h). libss7 reads and writes its link's descriptor directly; read and write
// are wrapped at link time (--wrap=read, --wrap=write) and lead the pair's two descriptor
// numbers, which are never opened, to the wire or the ring. The benchmark messages
// (bench/l2/benchmark_message.h) stop at a counter in place of MTP3 (--wrap=mtp3_receive);
// libss7's own MTP3 traffic (the link test) goes on to it.
#pragma once

#include "bench/l2/peer_end.h"

struct ss7;
struct mtp2;

class Libss7Pair {
 public:
  // Final, and taking the ring's frames itself: each reaches libss7 without a second dispatch.
  struct End final : PeerEnd {
    void receive(const unsigned char* octets, unsigned len) override;
    void on_frame(const unsigned char* octets, unsigned len) override { receive(octets, len); }
    // The timers that fell due.
    void run_timers();
    // Writes while the descriptor would poll writable: the MSUs waiting and one FISU or LSSU, as
    // the line repeats them.
    void transmit();
    void take_events();

    struct ss7* ss7 = nullptr;
    struct mtp2* link = nullptr;
    bool up = false;
    int fd = -1;
    unsigned received = 0;  // benchmark messages up to layer 3
    bool wrote_msu = false;
  };

  // On the wire: the loop delivers, and the peers' clock is the system's.
  explicit Libss7Pair(HdlcWire& wire);
  // On the ring: the ring's passes deliver, and the peers' clock stands still but while the
  // links align and in run_next_timer().
  explicit Libss7Pair(FrameRing& ring);
  ~Libss7Pair();
  Libss7Pair(const Libss7Pair&) = delete;
  Libss7Pair& operator=(const Libss7Pair&) = delete;

  // Aligns and proves both links (the peers' clock moves 10 ms a turn); false when they do not
  // come into service.
  bool establish();
  // Hands an MSU (service information octet and signalling information) to a's link.
  void send(const unsigned char* octets, int len);
  // One loop turn on the wire, one pass on the ring (either delivers), then each side runs its
  // timers and transmits.
  void turn();
  // Moves the peers' clock to the next timer of either side and runs what fell due.
  void run_next_timer();
  // Each side writes what it has, as a poll loop lets it when its descriptor is writable: libss7
  // writes only when asked.
  void transmit();

  End a, b;

 private:
  void start();

  PeerLine line_;
};
