// The layer-3 owner of a LAPD link on one end of a wire of the benchmarks (the link test kit's
// HdlcWire or a FrameRing): it counts the benchmark messages that reach it.
#pragma once

#include "bench/l2/benchmark_message.h"
#include "l2/isdn/lapd.h"
#include "proto/protocol.h"

class LapdOwner : public ProtocolsList {
 public:
  // `end` is the channel under the link: a GenericHDLC with the `notify` of its receiver.
  template <class End>
  LapdOwner(ISDN::Side::type side, End& end) : lapd(new ISDN::LAPD(side, 0)) {
    lapd->hdlc = &end;
    end.notify = lapd;
    add_protocol_tail(lapd);
  }
  void on_message(Packet& message) override {
    const Packet& octets = message;
    if (is_benchmark_message(octets->data, octets.length())) ++received;
  }

  ISDN::LAPD* lapd;
  unsigned received = 0;
};
