// Two SS7 links back to back for the benchmarks, on the link test kit's wire (untraced); each
// link sits under a layer-3 owner that counts the benchmark messages that reach it.
#pragma once

#include <functional>
#include <vector>

#include "bench/l2/benchmark_message.h"
#include "l2/ss7/slc.h"
#include "proto/protocol.h"
#include "tests/support/hdlc_wire.h"

using Bytes = std::vector<unsigned char>;

// An MSU of `len` octets whose first two carry its number.
Bytes numbered(unsigned n, unsigned len = 5);

// The layer-3 owner of one end's link.
struct SlcEnd : ProtocolsList {
  // Puts a new link on `channel` (a GenericHDLC with the `notify` of its receiver), under this
  // owner, which deletes it.
  template <class Channel>
  void start(Channel& channel) {
    slc = new SS7::SLC;
    slc->hdlc = &channel;
    channel.notify = slc;
    add_protocol_head(slc);
  }
  void on_message(Packet& msu) override {
    const Packet& octets = msu;
    if (is_benchmark_message(octets->data, octets.length())) ++received_count;
  }

  SS7::SLC* slc = nullptr;
  unsigned received_count = 0;
};

class SlcPair {
 public:
  SlcPair();
  SlcPair(const SlcPair&) = delete;
  SlcPair& operator=(const SlcPair&) = delete;

  // Delivers what was sent, one loop turn a hop, until nothing is left.
  void pump();
  // An MSU from the owner of `from`.
  void send(SlcEnd& from, const Bytes& msu);

  HdlcWire wire{1000};
  SlcEnd a, b;
};
