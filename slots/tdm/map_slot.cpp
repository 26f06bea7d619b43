#include "slots/tdm/map_slot.h"

#include "slots/tdm/map_factory.h"

void MapSlot::IAfterCreate() {
  if (IsRxExists()) OnChangeInputStream(true);
  if (IsTxExists()) OnChangeOutputStream(true);
}

bool MapSlot::IBeforeDestroy() {
  MapFactory::instance().ReleaseMapSlot(this);
  return true;
}
