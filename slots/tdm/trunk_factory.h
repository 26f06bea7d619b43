// The factories of trunk channel slots: four TrunkFactory objects (E1 trunks 0 to 3, first
// switch channel 0, 32, 64, 96) and then eight TrunkBRIFactory objects (BRI trunks 0 to 7, first
// switch channel 0, 4, ..., 28), static objects built before main in that order, so that they
// end the factory chain behind every factory main builds.
//
// Each serves one trunk and remembers which of its time slots holds a slot (not owned). A create
// for a time slot already taken destroys the old slot, so that only the newer one stays.
#pragma once

#include "slotbase/slot_factory.h"

class TrunkSlot;

class TrunkFactory : public SlotFactory {
 public:
  TrunkFactory(unsigned trunk, unsigned base);

  const char* GetName() const override { return "Trunks"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // The switch channels of the trunk's time slots.
  void AddFixedOutputs(std::vector<int>& outputs) const override;
  // Frees the table entry of `slot`'s time slot, when it holds that slot.
  virtual void ReleaseTrunkSlot(TrunkSlot* slot);

 protected:
  // A factory of the create alternative `alternative` for time slots 0 to `last_timeslot`.
  TrunkFactory(unsigned trunk, unsigned base, int alternative, unsigned last_timeslot);
  virtual TrunkSlot* MakeSlot(int channel);

 private:
  const unsigned trunk;
  const unsigned base;
  const int alternative;
  const unsigned last_timeslot;
  TrunkSlot* table[32];
};

class TrunkBRIFactory : public TrunkFactory {
 public:
  TrunkBRIFactory(unsigned trunk, unsigned base);

  const char* GetName() const override { return "TrunksBRI"; }

 protected:
  TrunkSlot* MakeSlot(int channel) override;
};

// Makes sure the trunk factories are linked into the program that calls it (the static library
// drops objects nothing refers to); returns how many there are.
int LinkTrunkFactories();
