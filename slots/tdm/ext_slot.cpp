#include "slots/tdm/ext_slot.h"

#include "hw/hw_mux.h"

static_assert(ExtSlot::kFirstChannel == HwMux::kFirstOutput && ExtSlot::kPorts == HwMux::kOutputs,
              "the extension ports are the switch's logical channels");

bool ExtSlot::IBeforeDestroy() {
  HwMux::instance().Disable(rx);
  return true;
}

bool ExtSlot::IActivate(const TERM::TermActivateParams&) {
  OnChangeInputStream(true);
  HwMux::instance().Disconnect(rx);
  return true;
}

bool ExtSlot::IDeactivate() {
  OnChangeInputStream(false);
  HwMux::instance().Disable(rx);
  return true;
}
