#include "slots/tdm/ats_qsig_b_slot.h"

#include <iostream>

#include "base/device.h"
#include "hw/dsp_data_records.h"
#include "slots/tdm/isdn_slot.h"

AtsQsigBSlot::AtsQsigBSlot(AtsQsigSlot& signalling_, unsigned index_, int32_t timeslot_)
    : signalling(&signalling_), index(index_), timeslot(timeslot_) {}

AtsQsigBSlot::~AtsQsigBSlot() {
  if (signalling) signalling->bchannels.remove(this);
}

bool AtsQsigBSlot::IBeforeDestroy() {
  if (signalling) {
    RemoveChannel();
  } else if (!removed) {
    std::clog << "ats-qsig-b: Can't find signalling slot" << std::endl;
  }
  return true;
}

void AtsQsigBSlot::RemoveChannel() {
  if (!signalling) return;
  int32_t record = static_cast<int32_t>(index);
  if (signalling->is_open()) {
    Device::ioctl(signalling->event.fd().get(), DspDataIoctl::kRemoveB, &record, sizeof record);
  }
  removed = true;
  signalling->bchannels.remove(this);
  signalling = nullptr;
}
