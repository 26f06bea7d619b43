// The layer-3 owner of a LAPD link on one end of the link test kit's wire, for the benchmarks: it
// counts the messages that reach it.
#pragma once

#include "l2/isdn/lapd.h"
#include "proto/protocol.h"
#include "tests/support/hdlc_wire.h"

class LapdOwner : public ProtocolsList {
 public:
  LapdOwner(ISDN::Side::type side, HdlcWire::End& end) : lapd(new ISDN::LAPD(side, 0)) {
    lapd->hdlc = &end;
    end.notify = lapd;
    add_protocol_tail(lapd);
  }
  void on_message(Packet&) override { ++received; }

  ISDN::LAPD* lapd;
  unsigned received = 0;
};
