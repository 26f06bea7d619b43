// Trunk channel slots: one 64 kbit/s channel of a line interface, a time slot of one of the four
// E1 trunks (TrunkSlot) or a B channel of one of the eight BRI trunks (TrunkBRISlot). A trunk
// slot owns no device; it names one channel of the TDM switch, so that the controller can
// connect it to other slots, and the slot framework switches that channel through HwMux.
//
// Switch channels: E1 trunk t, time slot n is 32t + n (0 to 127); BRI trunk k, B channel n is
// 4k + n (0 to 31), the same numbers as E1 trunk 0's time slots 0 to 31.
#pragma once

#include "slotbase/slot.h"

class TrunkSlot : public Slot {
 public:
  explicit TrunkSlot(int channel) : channel(channel) {}

  int GetTrunk() override { return channel >> 5; }
  int GetTrunkTimeSlot() override { return GetTimeSlot(); }
  virtual int GetTimeSlot() { return channel & 31; }
  // Reports both streams open on the channel.
  void IAfterCreate() override;
  // Frees the time slot in the factory's table; the release is immediate.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel; }
  int IGetReceiveChannel() override { return channel; }
  const char* GetName() const override { return "trunk"; }

 protected:
  const int channel;
};

class TrunkBRISlot : public TrunkSlot {
 public:
  explicit TrunkBRISlot(int channel) : TrunkSlot(channel) {}

  int GetTrunk() override { return channel >> 2; }
  int GetTimeSlot() override { return channel & 3; }
  const char* GetName() const override { return "trunkBRI"; }
};
