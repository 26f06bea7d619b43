// MapFactory: makes the map slots (create alternative map). Their logical channels, either side
// alike, are held in the switch-channel registry (SwitchChannels, use `named`), where each
// belongs to one slot of any kind. A create that asks for a channel another map slot holds
// destroys that older slot; one that asks for a channel a slot of another kind holds (an
// extension slot's port) is refused, and nothing changes. A slot whose two sides are one channel
// holds it once.
#pragma once

#include "slotbase/slot_factory.h"

class MapSlot;
class Slot;

class MapFactory : public SlotFactory {
 public:
  static MapFactory& instance();

  const char* GetName() const override { return "Map"; }
  // Refuses a map create only when a slot of another kind holds one of its channels.
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}

  void AllocateMapSlot(MapSlot* slot);
  // Disables the receive channel on the switch and frees the slot's entries.
  void ReleaseMapSlot(MapSlot* slot);

 private:
  MapFactory() = default;
  // Whether `channel` (-1: none) is free of slots other than map slots; else logged.
  bool Claimable(int channel);
  // Gives `channel` to `slot`, destroying another map slot that holds it.
  void claim(int channel, MapSlot* slot);
  // Frees `channel` when `slot` holds it; `code` names the side in the error line otherwise.
  void release(int channel, MapSlot* slot, int code);
};
