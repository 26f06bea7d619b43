#include "slots/tdm/pstn_factory.h"

#include "slots/tdm/pstn_slot.h"

PstnFactory& PstnFactory::instance() {
  static PstnFactory factory;
  return factory;
}

Slot* PstnFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_pstn) return nullptr;
  const auto& p = static_cast<const LGCP::PstnParams&>(*params.getSelection());
  if (!PstnSlot::TrunkInRange(p, refusalLogs)) return nullptr;
  return &(new PstnSlot(p))->slot();
}

void PstnFactory::PutHeader(std::ostream& os) const { PstnSlot::PutLogHeader(os); }

void PstnFactory::SelfSignal(const LGCP::Signal& s) {
  if (!s.is_trunkStatus()) return;
  const ACP::TrunkStatus& status = s.get_trunkStatus();
  // BRI lines are numbered from 0 as the E1 trunks are; only the E1 trunks carry these links'
  // time slots (the basic-rate ones do not act on trunk states).
  if (status.get_type().getValue() != ACP::TrunkType::e1) return;
  for (Slot* slot : slots) {
    slot->OnTrunkStatus(static_cast<unsigned>(status.get_trunk().getValue()),
                        status.get_state().getValue());
  }
}
