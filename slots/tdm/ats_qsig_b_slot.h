// AtsQsigBSlot: a bearer channel of a QSIG link, which exists on the DSP data driver's side
// only: no data passes through the daemon, and the slot exposes the driver's time slot for TDM
// connections. It keeps a link to its signalling slot (AtsQsigSlot), cleared when that slot
// goes; its destroy removes the channel from the driver while the signalling slot lives, and
// never touches a newer slot that took the same number. Log header "ats-qsig-b: ".
#pragma once

#include <cstdint>

#include "slotbase/slot.h"

class AtsQsigSlot;

class AtsQsigBSlot : public Slot {
 public:
  AtsQsigBSlot(AtsQsigSlot& signalling, unsigned index, int32_t timeslot);
  ~AtsQsigBSlot() override;

  // Removes the channel from the driver, or logs "Can't find signalling slot"; true.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot; }
  int IGetReceiveChannel() override { return timeslot; }
  const char* GetName() const override { return "ATS-QSIG-B"; }

  // Null once the signalling slot has gone.
  AtsQsigSlot* signalling;
  const unsigned index;
  const int32_t timeslot;
};
