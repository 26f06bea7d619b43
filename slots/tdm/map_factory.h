// MapFactory: makes the map slots (create alternative map) and keeps which map slot holds each
// of the 2048 logical channels, either side alike. A create that asks for a channel another map
// slot holds destroys that older slot; a slot whose two sides are one channel holds it once.
#pragma once

#include "slotbase/slot_factory.h"

class MapSlot;

class MapFactory : public SlotFactory {
 public:
  static constexpr int kLogicalChannels = 2048;

  static MapFactory& instance();

  const char* GetName() const override { return "Map"; }
  // Never refuses a map create.
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}

  void AllocateMapSlot(MapSlot* slot);
  // Disables the receive channel on the switch and frees the slot's entries.
  void ReleaseMapSlot(MapSlot* slot);

 private:
  MapFactory();
  // Gives `logical` to `slot`, destroying another slot that holds it.
  void claim(int logical, MapSlot* slot);
  // Frees `logical` when `slot` holds it; `code` names the side in the error line otherwise.
  void release(int logical, MapSlot* slot, int code);

  MapSlot* table[kLogicalChannels];
};
