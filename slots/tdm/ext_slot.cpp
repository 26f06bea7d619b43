#include "slots/tdm/ext_slot.h"

#include <climits>

#include "hw/hw_mux.h"

namespace {

constexpr int64_t kFirstChannel = 8192;

}  // namespace

int ExtSlot::SwitchChannel(int64_t number) {
  const int64_t channel = number + kFirstChannel;
  return channel < 0 || channel > INT_MAX ? -1 : static_cast<int>(channel);
}

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
