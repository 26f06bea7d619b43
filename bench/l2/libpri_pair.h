// Two libpri Q.921 links back to back, for the benchmarks: a network and a user side of one
// primary-rate D channel, on the link test kit's wire (each frame going through it as our links'
// frames do) or on a FrameRing (bench/l2/frame_ring.h). Layer 3 is a counter of the benchmark
// messages (bench/l2/benchmark_message.h): libpri's q931_receive is wrapped at link time
// (--wrap=q931_receive), and so is q931_dl_event, to learn each side's data link.
#pragma once

#include "bench/l2/peer_end.h"

struct pri;
struct q921_link;

class LibpriPair {
 public:
  // Final, and taking the ring's frames itself: each reaches libpri without a second dispatch.
  struct End final : PeerEnd {
    void receive(const unsigned char* octets, unsigned len) override;
    void on_frame(const unsigned char* octets, unsigned len) override { receive(octets, len); }

    struct pri* pri = nullptr;
    struct q921_link* link = nullptr;
    bool up = false;
    unsigned received = 0;  // benchmark messages up to layer 3
  };

  // On the wire: the loop delivers, and the peers' clock is the system's.
  explicit LibpriPair(HdlcWire& wire);
  // On the ring: the ring's passes deliver, and the peers' clock stands still but for
  // run_next_timer().
  explicit LibpriPair(FrameRing& ring);
  ~LibpriPair();
  LibpriPair(const LibpriPair&) = delete;
  LibpriPair& operator=(const LibpriPair&) = delete;

  // On the wire: turns until both links are up; false when they do not come up.
  bool establish();
  // Both links up, each knowing its data link.
  bool up() const { return a.up && b.up && a.link && b.link; }
  // Hands an I frame of `len` octets to a's data link.
  void send(const unsigned char* octets, int len);
  // On the wire: one loop turn (the wire delivers), then the timers that fell due.
  void turn();
  // Moves the peers' clock to the next timer of either side and runs what fell due (the quiet
  // line's recovery).
  void run_next_timer();

  End a, b;

 private:
  void start();
  void run_timers();

  PeerLine line_;
};
