#include "slots/tdm/trunk_factory.h"

#include <algorithm>
#include <iostream>
#include <iterator>

#include "slotbase/slots.h"
#include "slots/tdm/trunk_slot.h"

namespace {

constexpr unsigned kLastE1TimeSlot = 31;
constexpr unsigned kLastBChannel = 3;

// Built in this order during static initialisation; each joins the head of the chain.
TrunkFactory trunk0(0, 0);
TrunkFactory trunk1(1, 32);
TrunkFactory trunk2(2, 64);
TrunkFactory trunk3(3, 96);
TrunkBRIFactory trunk_bri0(0, 0);
TrunkBRIFactory trunk_bri1(1, 4);
TrunkBRIFactory trunk_bri2(2, 8);
TrunkBRIFactory trunk_bri3(3, 12);
TrunkBRIFactory trunk_bri4(4, 16);
TrunkBRIFactory trunk_bri5(5, 20);
TrunkBRIFactory trunk_bri6(6, 24);
TrunkBRIFactory trunk_bri7(7, 28);

const SlotFactory* const all[] = {&trunk0,     &trunk1,     &trunk2,     &trunk3,
                                  &trunk_bri0, &trunk_bri1, &trunk_bri2, &trunk_bri3,
                                  &trunk_bri4, &trunk_bri5, &trunk_bri6, &trunk_bri7};

}  // namespace

int LinkTrunkFactories() { return static_cast<int>(std::size(all)); }

TrunkFactory::TrunkFactory(unsigned trunk, unsigned base)
    : TrunkFactory(trunk, base, LGCP::CreateParams::e_trunk, kLastE1TimeSlot) {}

TrunkFactory::TrunkFactory(unsigned trunk, unsigned base, int alternative, unsigned last_timeslot)
    : trunk(trunk), base(base), alternative(alternative), last_timeslot(last_timeslot) {
  std::fill(std::begin(table), std::end(table), nullptr);
}

Slot* TrunkFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.currentSelection() != alternative) return nullptr;
  const auto& p = static_cast<const LGCP::TrunkParams&>(*params.getSelection());
  const unsigned timeslot = static_cast<unsigned>(p.get_timeslot().getValue());
  if (static_cast<unsigned>(p.get_trunk().getValue()) != trunk || timeslot > last_timeslot) {
    return nullptr;
  }
  if (TrunkSlot* old = table[timeslot]) {
    std::cerr << "trunk-slot: two slots require the same timeslot, remove old." << std::endl
              << " old slot " << *old << std::endl;
    Slots::instance().Destroy(old);
  }
  TrunkSlot* s = MakeSlot(static_cast<int>(base + timeslot));
  table[timeslot] = s;
  return s;
}

TrunkSlot* TrunkFactory::MakeSlot(int channel) { return new TrunkSlot(channel); }

void TrunkFactory::AddFixedOutputs(std::vector<int>& outputs) const {
  for (unsigned timeslot = 0; timeslot <= last_timeslot; ++timeslot)
    outputs.push_back(static_cast<int>(base + timeslot));
}

void TrunkFactory::ReleaseTrunkSlot(TrunkSlot* slot) {
  const unsigned timeslot = static_cast<unsigned>(slot->GetTimeSlot());
  if (timeslot <= last_timeslot && table[timeslot] == slot) table[timeslot] = nullptr;
}

TrunkBRIFactory::TrunkBRIFactory(unsigned trunk, unsigned base)
    : TrunkFactory(trunk, base, LGCP::CreateParams::e_trunk_bri, kLastBChannel) {}

TrunkSlot* TrunkBRIFactory::MakeSlot(int channel) { return new TrunkBRISlot(channel); }
