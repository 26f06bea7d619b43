// The slot connection graph: a source slot transmits to any number of sinks, a sink receives from
// at most one source. The graph lives in the slots' `source` and `sinks` fields (slot.h); these
// operations change it, open and release the slots' stream sides and make the hardware path
// through the hooks of the slot of higher connection priority (the sink's on a tie when
// connecting, the source's on a tie when disconnecting).
//
// A connect that takes a sink from another source first asks the slot that would make the new
// path whether it can (llMayConnect): a refusal there leaves the old path and both its slots as
// they were. When the hardware refuses after that, the new path or the old path's removal (the
// switch still carrying the old source's channel to the sink), the graph is left as the hardware
// is: the sink is switched back to its source, or, when that fails too, left as on a
// disconnect.
#pragma once

class Slot;

// Makes `source` the source of `sink`; false when a side cannot open or the hardware refuses.
bool Connect(Slot& source, Slot& sink);
// Detaches `sink` from its source; the logical link goes even when the hardware refuses (false).
bool Disconnect(Slot& sink);
// The disconnect command's: as Disconnect, but a path the switch kept (the sink's line still
// carrying the source's own channel) stays linked, nothing changed.
bool DisconnectOrKeep(Slot& sink);
// The hardware halves of Connect and Disconnect, and the check of the first.
bool llConnect(Slot& source, Slot& sink);
bool llMayConnect(Slot& source, Slot& sink);
bool llDisconnect(Slot& sink);
// The source's transmit channel to the sink's receive channel on the TDM switch, and back.
bool MuxConnect(Slot& source, Slot& sink);
bool MuxDisconnect(Slot& sink);
