#include "slots/tdm/map_factory.h"

#include <algorithm>
#include <iostream>
#include <iterator>

#include "hw/hw_mux.h"
#include "slotbase/slots.h"
#include "slots/tdm/map_slot.h"

namespace {

constexpr int kBusChannels = 128;

int switch_channel(const LGCP::SharedChannel& c) {
  return static_cast<int>(c.get_bus().getValue()) * kBusChannels +
         static_cast<int>(c.get_channel().getValue()) + MapSlot::kFirstLogical;
}

}  // namespace

MapFactory& MapFactory::instance() {
  static MapFactory factory;
  return factory;
}

MapFactory::MapFactory() { std::fill(std::begin(table), std::end(table), nullptr); }

Slot* MapFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_map) return nullptr;
  const LGCP::MapParams& p = params.get_map();
  auto* slot = new MapSlot(p.has_transmitter() ? switch_channel(p.get_transmitter()) : -1,
                           p.has_receiver() ? switch_channel(p.get_receiver()) : -1);
  AllocateMapSlot(slot);
  return slot;
}

void MapFactory::claim(int logical, MapSlot* slot) {
  MapSlot* old = table[logical];
  if (old && old != slot) {
    std::cerr << "map-slot: two slots require the same ipc-slot, remove old." << std::endl
              << "new slot " << *slot << " <-> old slot " << *old << std::endl;
    // Its release frees its own entries.
    Slots::instance().Destroy(old);
  }
  table[logical] = slot;
}

void MapFactory::AllocateMapSlot(MapSlot* slot) {
  if (slot->IsRxExists()) claim(slot->GetRxLogChannel(), slot);
  if (slot->IsTxExists()) claim(slot->GetTxLogChannel(), slot);
}

void MapFactory::release(int logical, MapSlot* slot, int code) {
  if (table[logical] == slot) {
    table[logical] = nullptr;
  } else if (table[logical]) {
    // Another slot holds it now: its entry stays.
    std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code " << code
              << std::endl;
  }
}

void MapFactory::ReleaseMapSlot(MapSlot* slot) {
  if (slot->IsRxExists()) {
    std::clog << "map: disable map channel " << slot->GetRxLogChannel() << std::endl;
    HwMux::instance().Disable(slot->rx);
    release(slot->GetRxLogChannel(), slot, 1);
  }
  // One channel on both sides was freed with the receiver.
  if (slot->IsTxExists() && slot->tx != slot->rx) release(slot->GetTxLogChannel(), slot, 2);
}
