// What the signalling slots (PstnSlot, IsdnSlot, HdlcSlot) share around their link layer: the
// road of a userData command down the layer, and the link reports.
//
// A userData command that the layer cannot carry is refused (false: the controller gets an
// error answer) with a log line (of each reason at most one a second, with the count of those
// left out), never dropped as a success: when the message does not fit one
// packet after the layer's head room, when the caller names a reason of its layer (no layer, a
// full queue, a link out of service), or when fewer than kPoolReserve packets are free. The
// reserve keeps the pool for the control connection and received frames, so that a flood of
// userData over many links cannot empty it.
#pragma once

#include <cstddef>
#include <vector>

#include "hw/hdlc.h"
#include "l2/isdn/lapd.h"
#include "proto/protocol.h"
#include "slotbase/slot.h"

namespace LinkSlot {

constexpr unsigned kPoolReserve = 64;

// Builds one packet with the head room `family`'s layers need, fills it with `data` and passes
// it to the family's message. `refusal` is the layer's reason not to take it now (null when it
// can). True when the message went down.
bool SendUserData(Slot& slot, ProtocolsFamily& family, const char* refusal,
                  const std::vector<char>& data);

// The contents of a message the layer delivered, for a userData signal.
std::vector<char> Octets(const Packet& p);

// The reason of a layer whose channel is not open.
constexpr const char* kChannelClosed = "D channel closed";

// The reason a LAPD cannot take a layer-3 message of `size` octets now, or null: its channel is
// closed, or the link refuses it (LAPD::refusal).
const char* LapdRefusal(const ISDN::LAPD& lapd, size_t size);

// Claims for `slot` the switch output `output` that its HDLC channel is to transmit to, giving
// up the output it held before: one HDLC channel sends on a time slot at a time. False, logged
// and nothing changed, when another live slot's HDLC channel transmits there. True, nothing
// changed, for no output (-1).
bool ClaimLine(Slot& slot, int output);
// The check of ClaimLine, which changes nothing: false, logged, when a live slot other than
// `slot` and `leaving` holds `output`.
bool LineFree(Slot& slot, int output, const Slot* leaving = nullptr);
// False, logged, when a path that the slot graph made feeds switch output `output` from a
// source other than `slot`: an HDLC channel sent there would take that path's place. A
// connection from a slot without a transmit channel of its own switched no path.
bool PathFree(Slot& slot, int output);
// Whether `slot`'s channel may run on `line` (OneLine, then LineFree), which changes nothing:
// asked before a connection takes a sink from its source, whose path goes first (`leaving`,
// which may hold the line). True for no line (-1).
bool MayRunOn(Slot& slot, int line, bool but_source, const Slot* leaving);
// Gives up the output that `slot`'s HDLC channel transmitted to: the channel has closed.
void ReleaseLine(Slot& slot);

// The peer of a connection of `slot` whose line (a sink's receive channel, the source's transmit
// channel) satisfies `test`, leaving out the source's connection when `but_source` and the one
// with `but_sink`; null when none. A slot may be both source and sink.
template <class Test>
const Slot* PeerWhere(const Slot& slot, Test test, bool but_source, const Slot* but_sink) {
  if (slot.source && !but_source && test(slot.source->IGetTransmitChannel())) return slot.source;
  for (Slot* sink : slot.sinks) {
    if (sink != but_sink && test(sink->IGetReceiveChannel())) return sink;
  }
  return nullptr;
}
// False, logged, when a connection of `slot` (but the source's when `but_source`) leads to a
// line other than `output`: the slot's one HDLC channel serves them all, and moving it would
// take it from the others, which the slot graph keeps. A peer without a channel leads to none.
bool OneLine(Slot& slot, int output, bool but_source);

// An hdlcLinkInfo ioctl signal with the channel's counters.
void ReportHdlcLinkInfo(Slot& slot, const HDLC& hdlc);

// An isdnLinkInfo ioctl signal when the LAPD's figures changed since the last call.
void ReportIsdnLinkInfo(Slot& slot, const ISDN::LAPD& lapd);

}  // namespace LinkSlot
