// OutputOwner: the one check that every switching of a switch output by a slot goes through.
//
// A switch output that a live slot's HDLC channel transmits to (SwitchChannels, use `link`)
// belongs to that slot while it holds it: a path of other slots onto it, its idle value or its
// disabling would take the channel's line from under it while the registry still names the
// channel's slot. Such a switching is refused: nothing reaches the switch, one throttled line
// under the header of the slot that asked, false. The slot that holds the output, and the peer
// of a connection it takes part in, switch it as they please.
#pragma once

class Slot;

namespace OutputOwner {

// `by` asks, for a connection with `peer` where there is one.
// Output `output` carries input `input` (HwMux::Connect).
bool Feed(Slot& by, const Slot* peer, int input, int output);
// Output `output` sends the idle byte (HwMux::Disconnect).
bool Idle(Slot& by, const Slot* peer, int output);
// Output `output` is switched off (HwMux::Disable).
bool Disable(Slot& by, int output);

}  // namespace OutputOwner
