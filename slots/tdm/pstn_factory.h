// PstnFactory: makes the PSTN signalling-link slots (create alternative pstn) and passes every
// trunk status report to them.
#pragma once

#include "server/slot/slot_factory.h"

class PstnFactory : public SlotFactory {
 public:
  static PstnFactory& instance();

  const char* GetName() const override { return "PSTN"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // A trunkStatus signal reaches OnTrunkStatus of every slot made here.
  void SelfSignal(const LGCP::Signal& s) override;
};
