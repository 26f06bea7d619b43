// AtsQsigBSlot: a bearer channel of a QSIG link, which exists on the DSP data driver's side
// only: no data passes through the daemon, and the slot exposes the driver's time slot for TDM
// connections. It keeps a link to its signalling slot (AtsQsigSlot), whose descriptor carries
// the channel. The channel leaves the driver once, by whichever of the two slots goes first:
// this slot's destroy, or the signalling slot's, which removes every bearer channel it still
// has before it closes its descriptor and then leaves them without a link. Nothing touches a
// newer slot that took the signalling slot's number. Log header "ats-qsig-b: ".
#pragma once

#include <cstdint>

#include "slotbase/slot.h"

class AtsQsigSlot;

class AtsQsigBSlot : public Slot {
 public:
  AtsQsigBSlot(AtsQsigSlot& signalling, unsigned index, int32_t timeslot);
  ~AtsQsigBSlot() override;

  // Removes the channel from the driver unless it is gone already, or logs "Can't find
  // signalling slot" when the signalling slot went without removing it; true.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot; }
  int IGetReceiveChannel() override { return timeslot; }
  const char* GetName() const override { return "ATS-QSIG-B"; }

  // Removes the channel on the signalling slot's descriptor, once, and leaves that slot.
  void RemoveChannel();

  // Null once the signalling slot has gone.
  AtsQsigSlot* signalling;
  // The channel has left the driver.
  bool removed = false;
  const unsigned index;
  const int32_t timeslot;
};
