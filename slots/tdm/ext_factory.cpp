#include "slots/tdm/ext_factory.h"

#include <iostream>

#include "slotbase/switch_channels.h"
#include "slots/tdm/ext_slot.h"

ExtFactory& ExtFactory::instance() {
  static ExtFactory factory;
  return factory;
}

Slot* ExtFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_ext) return nullptr;
  const LGCP::ExtParams& p = params.get_ext();
  const int tx = p.get_transmitter().getValue();
  const int rx = p.get_receiver().getValue();
  SwitchChannels& channels = SwitchChannels::instance();
  for (const int number : {tx, rx}) {
    if (!ExtSlot::IsPort(number)) {
      refusalLogs.write(std::cerr, this, "no extension port ", number, ", the ports are 0 to ",
                        ExtSlot::kPorts - 1);
      return nullptr;
    }
    if (const Slot* holder =
            channels.Holder(SwitchChannels::Use::named, ExtSlot::SwitchChannel(number))) {
      refusalLogs.write(std::cerr, this, "extension port held: ", number, " by ", *holder);
      return nullptr;
    }
  }
  auto* slot = new ExtSlot(ExtSlot::SwitchChannel(tx), ExtSlot::SwitchChannel(rx));
  channels.Claim(SwitchChannels::Use::named, slot->tx, *slot);
  channels.Claim(SwitchChannels::Use::named, slot->rx, *slot);
  return slot;
}
