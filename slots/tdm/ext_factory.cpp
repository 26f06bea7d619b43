#include "slots/tdm/ext_factory.h"

#include "slots/tdm/ext_slot.h"

ExtFactory& ExtFactory::instance() {
  static ExtFactory factory;
  return factory;
}

Slot* ExtFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_ext) return nullptr;
  const LGCP::ExtParams& p = params.get_ext();
  return new ExtSlot(ExtSlot::SwitchChannel(p.get_transmitter().getValue()),
                     ExtSlot::SwitchChannel(p.get_receiver().getValue()));
}
