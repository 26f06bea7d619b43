#include "slots/tdm/ext_slot.h"

#include "hw/hw_mux.h"
#include "slotbase/output_owner.h"

static_assert(ExtSlot::kFirstChannel == HwMux::kFirstOutput && ExtSlot::kPorts == HwMux::kOutputs,
              "the extension ports are the switch's logical channels");

bool ExtSlot::IBeforeDestroy() {
  OutputOwner::Disable(*this, rx);
  return true;
}

bool ExtSlot::IActivate(const TERM::TermActivateParams&) {
  OnChangeInputStream(true);
  // A source connected since an earlier activation keeps its path.
  if (!source) OutputOwner::Idle(*this, nullptr, rx);
  return true;
}

bool ExtSlot::IDeactivate() {
  OnChangeInputStream(false);
  OutputOwner::Disable(*this, rx);
  return true;
}
