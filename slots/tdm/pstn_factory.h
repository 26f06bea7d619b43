// PstnFactory: makes the PSTN signalling-link slots (create alternative pstn), refusing a trunk
// that is not one of the board's lines, and passes every E1 trunk status report to them.
#pragma once

#include "slotbase/slot_factory.h"

class PstnFactory : public SlotFactory {
 public:
  static PstnFactory& instance();

  const char* GetName() const override { return "PSTN"; }
  void PutHeader(std::ostream& os) const override;
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // A trunkStatus signal of type e1 reaches OnTrunkStatus of every slot made here; BRI line
  // statuses are ignored.
  void SelfSignal(const LGCP::Signal& s) override;
};
