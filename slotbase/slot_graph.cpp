#include "slotbase/slot_graph.h"

#include <iostream>

#include "hw/hw_mux.h"
#include "slotbase/output_owner.h"
#include "slotbase/slot.h"

namespace {

// The sink's input side leaves `previous`; the source's output side is released with its last
// sink.
void release_link(Slot& sink, Slot& previous) {
  sink.LogicalDisconnect();
  sink.IOnInputRelease();
  if (previous.sinks.empty()) previous.IOnOutputRelease();
}

// Of the two slots of a connection, the one that makes its path: the source when its priority
// is the higher, else the sink.
bool source_makes(Slot& source, Slot& sink) {
  return source.GetConnectionPriority() > sink.GetConnectionPriority();
}

// The sink's line still carries the source's own channel: the switch refused to idle their path.
// (A link's channel, which runs on the line, closes with the connection whatever the switch did;
// the channel's next owner idles what it left.)
bool still_fed(Slot& source, Slot& sink) {
  const int tx = source.IGetTransmitChannel();
  const int rx = sink.IGetReceiveChannel();
  return tx >= 0 && rx >= 0 && HwMux::instance().source(rx) == tx;
}

}  // namespace

bool Connect(Slot& source, Slot& sink) {
  if (sink.source == &source) return true;
  const bool opens_output = source.sinks.empty();
  if (opens_output) {
    if (!source.IOnOutputStream()) {
      std::cerr << "slot " << source << " don't have output stream to " << sink << std::endl;
      return false;
    }
    source.IOnOutputOpen(false);
  }
  Slot* previous = sink.source;
  if (!previous) {
    if (!sink.IOnInputStream()) {
      std::cerr << "slot " << sink << " don't have input stream from " << source << std::endl;
      return false;
    }
    sink.IOnInputOpen(false);
  }
  // The old path goes only for a new one its maker can take, and only if it went: a path the
  // switch kept stays the sink's (the new source may switch nothing onto its line).
  const bool may = !previous || llMayConnect(source, sink);
  const bool left = may && (!previous || llDisconnect(sink) || !still_fed(*previous, sink));
  if (left && llConnect(source, sink)) {
    if (previous) {
      sink.LogicalDisconnect();
      if (previous->sinks.empty()) previous->IOnOutputRelease();
    }
    sink.LogicalConnect(source);
    if (opens_output) source.IOnOutputOpen(true);
    if (!previous) sink.IOnInputOpen(true);
    return true;
  }
  if (!previous) {
    sink.IOnInputRelease();
  } else if (may && !llConnect(*previous, sink)) {
    release_link(sink, *previous);
  }
  if (source.sinks.empty()) source.IOnOutputRelease();
  return false;
}

bool Disconnect(Slot& sink) {
  Slot* previous = sink.source;
  if (!previous) return true;
  bool r = llDisconnect(sink);
  release_link(sink, *previous);
  return r;
}

bool DisconnectOrKeep(Slot& sink) {
  Slot* previous = sink.source;
  if (!previous) return true;
  const bool r = llDisconnect(sink);
  if (r || !still_fed(*previous, sink)) release_link(sink, *previous);
  return r;
}

bool llConnect(Slot& source, Slot& sink) {
  return source_makes(source, sink) ? source.IHwConnectTransmitter(sink)
                                    : sink.IHwConnectReceiver(source);
}

bool llMayConnect(Slot& source, Slot& sink) {
  return source_makes(source, sink) ? source.IHwMayConnectTransmitter(sink)
                                    : sink.IHwMayConnectReceiver(source);
}

bool llDisconnect(Slot& sink) {
  Slot* source = sink.source;
  if (!source) return false;
  if (sink.GetConnectionPriority() > source->GetConnectionPriority()) {
    return sink.IHwDisconnectReceiver(*source);
  }
  return source->IHwDisconnectTransmitter(sink);
}

bool MuxConnect(Slot& source, Slot& sink) {
  int tx = source.IGetTransmitChannel();
  int rx = sink.IGetReceiveChannel();
  if (!OutputOwner::Feed(sink, &source, tx, rx)) return false;
  std::clog << "mux: slot " << source << " [" << tx << "] -> " << sink << " [" << rx << "]"
            << std::endl;
  return true;
}

bool MuxDisconnect(Slot& sink) {
  int rx = sink.IGetReceiveChannel();
  // The source whose path leaves: an HDLC slot idles its own line.
  if (!OutputOwner::Idle(sink, sink.source, rx)) return false;
  std::clog << "mux: disconnect slot " << sink << " [" << rx << "]" << std::endl;
  return true;
}
