// Two libpri Q.921 links back to back, for the benchmarks: a network and a user side of one
// primary-rate D channel, on the link test kit's wire (each frame going through it as our links'
// frames do) or on a FrameRing (bench/l2/frame_ring.h). Layer 3 is a counter: libpri's
// q931_receive is wrapped at link time (--wrap=q931_receive), and so is q931_dl_event, to learn
// each side's data link.
#pragma once

#include "bench/l2/peer_end.h"

struct pri;
struct q921_link;

class LibpriPair {
 public:
  struct End : PeerEnd {
    void receive(const unsigned char* octets, unsigned len) override;

    struct pri* pri = nullptr;
    struct q921_link* link = nullptr;
    bool up = false;
    unsigned received = 0;  // I frames up to layer 3
  };

  // On the wire: the loop delivers, and the peers' clock is the system's.
  explicit LibpriPair(HdlcWire& wire);
  // On the ring: pass() delivers, and the peers' clock stands still until a pass finds the ring
  // idle.
  explicit LibpriPair(FrameRing& ring);
  ~LibpriPair();
  LibpriPair(const LibpriPair&) = delete;
  LibpriPair& operator=(const LibpriPair&) = delete;

  // Turns (or passes) until both links are up; false when they do not come up.
  bool establish();
  // Hands an I frame of `len` octets to a's data link.
  void send(const unsigned char* octets, int len);
  // On the wire: one loop turn (the wire delivers), then the timers that fell due.
  void turn();
  // On the wire: lets the next timer of either side fall due (the quiet wire's recovery).
  void run_next_timer();
  // On the ring: one pass; when the ring was idle, the next timer of either side falls due.
  void pass();

  End a, b;

 private:
  void start();
  // Moves the peers' clock to the next timer of either side.
  void advance_to_next_timer();
  void run_timers();

  PeerLine line_;
};
