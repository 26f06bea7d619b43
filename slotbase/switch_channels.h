// SwitchChannels: which live slot holds each switch channel, for each use that a slot kind makes
// of one. It is the one place where a slot kind claims a switch channel and asks "is this taken,
// and by whom?": a claim on a channel that another live slot holds for the same use is refused
// (nothing changes), a slot's claims on one channel count once, and a release frees only what
// the releasing slot holds.
//
// The registry holds no slot: the registry of slots (Slots) gives up every claim of a slot it
// deletes, so that no entry outlives its holder.
#pragma once

#include <map>
#include <utility>

class Slot;

class SwitchChannels {
 public:
  enum class Use {
    // A channel that a slot names as its own, its transmitter or its receiver side: the
    // logical channels of the map and extension slots. A slot holds it from create to destroy.
    named,
    // The switch output an HDLC channel transmits to: the time slot of the peer that a link slot
    // runs its channel on. A slot holds it while its HDLC channel runs there.
    link,
  };

  // The daemon's registry.
  static SwitchChannels& instance();

  // The live slot that holds `channel` for `use`; null when none does.
  Slot* Holder(Use use, int channel) const;
  // Gives `channel` to `slot` for `use`: true when it was free or already `slot`'s, false when
  // another slot holds it.
  bool Claim(Use use, int channel, Slot& slot);
  // Frees `channel` when `slot` holds it for `use`; false when it did not.
  bool Release(Use use, int channel, Slot& slot);
  // Frees every channel that `slot` holds for `use`.
  void Release(Use use, Slot& slot);
  // Frees every channel that `slot` holds.
  void ReleaseAll(Slot& slot);

 private:
  std::map<std::pair<Use, int>, Slot*> holders_;
};
