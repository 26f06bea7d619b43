// Two libpri Q.921 links back to back on the link test kit's wire, for the benchmarks: a network
// and a user side of one primary-rate D channel, each frame going through the wire as our links'
// frames do. Layer 3 is a counter: libpri's q931_receive is wrapped at link time
// (--wrap=q931_receive), and so is q931_dl_event, to learn each side's data link.
#pragma once

#include "tests/support/hdlc_wire.h"

struct pri;
struct q921_link;

class LibpriPair {
 public:
  struct End : HDLC::Notify {
    void on_hdlc_receive(Packet& frame) override;
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {}

    struct pri* pri = nullptr;
    struct q921_link* link = nullptr;
    bool up = false;
    unsigned received = 0;  // I frames up to layer 3
    HdlcWire::End* wire = nullptr;
    const Packet* arrived = nullptr;  // the frame that libpri's read takes
  };

  explicit LibpriPair(unsigned wire_capacity);
  ~LibpriPair();
  LibpriPair(const LibpriPair&) = delete;
  LibpriPair& operator=(const LibpriPair&) = delete;

  // Turns the loop and the peers' timers until both links are up; false when they do not come up.
  bool establish();
  // Hands an I frame of `len` octets to a's data link.
  void send(const unsigned char* octets, int len);
  // One loop turn (the wire delivers), then the timers that fell due.
  void turn();
  // Lets the next timer of either side fall due (the quiet wire's recovery).
  void run_next_timer();

  HdlcWire wire;
  End a, b;
};
