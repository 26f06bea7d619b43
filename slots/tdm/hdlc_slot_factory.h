// HdlcSlotFactory: makes the HDLC packet slots (create alternative hdlcParams). No device is
// touched before a slot is connected, so a create of its alternative always succeeds.
#pragma once

#include "slotbase/slot_factory.h"

class HdlcSlotFactory : public SlotFactory {
 public:
  static HdlcSlotFactory& instance();

  const char* GetName() const override { return "HdlcSlotFactory"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // trunkStatus signals go to every slot of the factory.
  void SelfSignal(const LGCP::Signal& s) override;
};
