#include "slots/tdm/trunk_slot.h"

#include "slots/tdm/trunk_factory.h"

void TrunkSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool TrunkSlot::IBeforeDestroy() {
  if (auto* f = dynamic_cast<TrunkFactory*>(factory)) f->ReleaseTrunkSlot(this);
  return true;
}
