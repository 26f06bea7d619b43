// ExtFactory: makes the extension slots (create alternative ext); it refuses numbers that name
// no extension port, so that no extension slot sits on a line's channel, and ports that a live
// slot of any kind (a map slot, another extension slot) holds in the switch-channel registry.
#pragma once

#include "slotbase/slot_factory.h"

class ExtFactory : public SlotFactory {
 public:
  static ExtFactory& instance();

  const char* GetName() const override { return "Ext"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  void PutHeader(std::ostream& os) const override { os << "ext: "; }
};
