#include "slots/tdm/ext_factory.h"

#include <iostream>

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
  for (const int number : {tx, rx}) {
    if (ExtSlot::IsPort(number)) continue;
    refusalLogs.write(std::cerr, this, "no extension port ", number, ", the ports are 0 to ",
                      ExtSlot::kPorts - 1);
    return nullptr;
  }
  return new ExtSlot(ExtSlot::SwitchChannel(tx), ExtSlot::SwitchChannel(rx));
}
