#include "slots/tdm/map_factory.h"

#include <iostream>

#include "base/ext_header.h"
#include "slotbase/output_owner.h"
#include "slotbase/slots.h"
#include "slotbase/switch_channels.h"
#include "slots/tdm/map_slot.h"

namespace {

constexpr int kBusChannels = 128;
constexpr SwitchChannels::Use kNamed = SwitchChannels::Use::named;

int switch_channel(const LGCP::SharedChannel& c) {
  return static_cast<int>(c.get_bus().getValue()) * kBusChannels +
         static_cast<int>(c.get_channel().getValue()) + MapSlot::kFirstLogical;
}

}  // namespace

MapFactory& MapFactory::instance() {
  static MapFactory factory;
  return factory;
}

Slot* MapFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != LGCP::CreateParams::e_map) return nullptr;
  const LGCP::MapParams& p = params.get_map();
  const int tx = p.has_transmitter() ? switch_channel(p.get_transmitter()) : -1;
  const int rx = p.has_receiver() ? switch_channel(p.get_receiver()) : -1;
  if (!Claimable(rx) || !Claimable(tx)) return nullptr;
  auto* slot = new MapSlot(tx, rx);
  AllocateMapSlot(slot);
  return slot;
}

bool MapFactory::Claimable(int channel) {
  if (channel < 0) return true;
  const Slot* holder = SwitchChannels::instance().Holder(kNamed, channel);
  if (!holder || dynamic_cast<const MapSlot*>(holder)) return true;
  refusalLogs.write(std::cerr, "logical channel held", [&](std::ostream& os) {
    os << ext::header(this) << "logical channel held: " << channel - MapSlot::kFirstLogical
       << " by " << *holder;
  });
  return false;
}

void MapFactory::claim(int channel, MapSlot* slot) {
  SwitchChannels& channels = SwitchChannels::instance();
  Slot* old = channels.Holder(kNamed, channel);
  if (old && old != slot) {
    std::cerr << "map-slot: two slots require the same ipc-slot, remove old." << std::endl
              << "new slot " << *slot << " <-> old slot " << *old << std::endl;
    // Its release frees its own entries.
    Slots::instance().Destroy(old);
  }
  channels.Claim(kNamed, channel, *slot);
}

void MapFactory::AllocateMapSlot(MapSlot* slot) {
  if (slot->IsRxExists()) claim(slot->rx, slot);
  if (slot->IsTxExists()) claim(slot->tx, slot);
}

void MapFactory::release(int channel, MapSlot* slot, int code) {
  SwitchChannels& channels = SwitchChannels::instance();
  // Another slot that holds it now keeps its entry.
  if (!channels.Release(kNamed, channel, *slot) && channels.Holder(kNamed, channel)) {
    std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code " << code
              << std::endl;
  }
}

void MapFactory::ReleaseMapSlot(MapSlot* slot) {
  if (slot->IsRxExists()) {
    std::clog << "map: disable map channel " << slot->GetRxLogChannel() << std::endl;
    OutputOwner::Disable(*slot, slot->rx);
    release(slot->rx, slot, 1);
  }
  // One channel on both sides was freed with the receiver.
  if (slot->IsTxExists() && slot->tx != slot->rx) release(slot->tx, slot, 2);
}
