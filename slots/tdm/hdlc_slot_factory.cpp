#include "slots/tdm/hdlc_slot_factory.h"

#include <iostream>

#include "base/trace_ctl.h"
#include "slotbase/device_values.h"
#include "slots/tdm/hdlc_slot.h"

HdlcSlotFactory& HdlcSlotFactory::instance() {
  static HdlcSlotFactory factory;
  return factory;
}

Slot* HdlcSlotFactory::INewSlot(const LGCP::CreateParams& params) {
  if (traces.signallingHdlc) std::clog << "\n\nHdlcSlotFactory.INewSlot\n\n" << std::endl;
  if (params.currentSelection() != LGCP::CreateParams::e_hdlcParams) return nullptr;
  const auto& p = static_cast<const LGCP::HdlcParams&>(*params.getSelection());
  if (!AllCarried({Carried<HdlcSlot::Address>("address", p.get_address().getValue())},
                  refusalLogs, this)) {
    return nullptr;
  }
  return new HdlcSlot(p);
}

void HdlcSlotFactory::SelfSignal(const LGCP::Signal& s) {
  if (!s.is_trunkStatus()) return;
  const ACP::TrunkStatus& status = s.get_trunkStatus();
  for (Slot* slot : slots) {
    slot->OnTrunkStatus(static_cast<unsigned>(status.get_trunk().getValue()),
                        static_cast<ACP::TrunkState::NamedNumber>(status.get_state().asInt()));
  }
}
