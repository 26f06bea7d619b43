// HdlcSlotFactory: makes the HDLC packet slots (create alternative hdlcParams). No device is
// touched before a slot is connected, so a create of its alternative succeeds unless its address
// does not fit the frame's 16 bits (invalidParams). Log header "hdlc-slot: ".
#pragma once

#include <ostream>

#include "slotbase/slot_factory.h"

class HdlcSlotFactory : public SlotFactory {
 public:
  static HdlcSlotFactory& instance();

  const char* GetName() const override { return "HdlcSlotFactory"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // trunkStatus signals go to every slot of the factory.
  void SelfSignal(const LGCP::Signal& s) override;

  void PutHeader(std::ostream& os) const override { os << "hdlc-slot: "; }
};
