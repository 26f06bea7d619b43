// MccFactory: makes the raw data channel slots (create alternative mcc) and reports the
// multichannel HDLC controller's channel capacity in the resource report. Log header "mcc: ".
#pragma once

#include "slotbase/slot_factory.h"

class MccFactory : public SlotFactory {
 public:
  static MccFactory& instance();

  const char* GetName() const override { return "MCC"; }
  void PutHeader(std::ostream& os) const override { os << "mcc: "; }
  // Allocates a controller channel of the kind the parameters name and learns its switch
  // channel; null, with a line on std::cerr and the channel given back, when the device, the
  // channel or its switch channel is refused.
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  // mcc-data, mcc-bri and mcc-trans from the driver; 0 when it does not tell.
  void Query(LGCP::Resources& report) override;
};
