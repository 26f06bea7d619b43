// Two libss7 MTP2 links back to back on the link test kit's wire, for the benchmarks: each
// signal unit goes through the wire as our links' units do. libss7 reads and writes its link's
// descriptor directly; read and write are wrapped at link time (--wrap=read, --wrap=write) and
// lead the pair's two descriptor numbers, which are never opened, to the wire. MSUs of the
// benchmark's pattern stop at a counter in place of MTP3 (--wrap=mtp3_receive); libss7's own
// MTP3 traffic (the link test) goes on to it.
#pragma once

#include "tests/support/hdlc_wire.h"

struct ss7;
struct mtp2;

class Libss7Pair {
 public:
  struct End : HDLC::Notify {
    void on_hdlc_receive(Packet& frame) override;
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {}
    // Timers, events, then the MSUs waiting and one FISU or LSSU, as the line repeats them.
    void transmit();
    void take_events();

    struct ss7* ss7 = nullptr;
    struct mtp2* link = nullptr;
    bool up = false;
    int fd = -1;
    unsigned received = 0;  // MSUs of the benchmark's pattern up to layer 3
    HdlcWire::End* wire = nullptr;
    const Packet* arrived = nullptr;  // the unit that libss7's read takes
    bool wrote_msu = false;
  };

  explicit Libss7Pair(unsigned wire_capacity);
  ~Libss7Pair();
  Libss7Pair(const Libss7Pair&) = delete;
  Libss7Pair& operator=(const Libss7Pair&) = delete;

  // Aligns and proves both links (the peers' clock moves 10 ms a turn); false when they do not
  // come into service.
  bool establish();
  // Hands an MSU (service information octet and signalling information) to a's link.
  void send(const unsigned char* octets, int len);
  // One loop turn (the wire delivers), then each side transmits.
  void turn();

  HdlcWire wire;
  End a, b;
};

// The benchmark's MSU pattern: 32 octets, the first two numbering it, the others 0x5A.
bool is_benchmark_msu(const unsigned char* octets, int len);
