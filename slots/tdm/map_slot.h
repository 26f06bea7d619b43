// MapSlot: names logical channels of the switch's internal shared buses (8192 to 10239) as a
// transmitter, a receiver or both, so that the controller patches them to other slots like any
// channel. Each logical channel belongs to one map slot at a time (MapFactory).
#pragma once

#include "slotbase/slot.h"

class MapSlot : public Slot {
 public:
  static constexpr int kFirstLogical = 8192;

  // -1 for a side that is absent.
  MapSlot(int tx, int rx) : tx(tx), rx(rx) {}

  // Reports the receiver, then the transmitter, for the sides it has.
  void IAfterCreate() override;
  // Gives the channels back to the factory.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return IsTxExists(); }
  bool IOnInputStream() override { return IsRxExists(); }
  int IGetTransmitChannel() override { return tx; }
  int IGetReceiveChannel() override { return rx; }
  const char* GetName() const override { return "map"; }

  int GetRxLogChannel() const { return rx - kFirstLogical; }
  int GetTxLogChannel() const { return tx - kFirstLogical; }
  bool IsRxExists() const { return rx >= 0; }
  bool IsTxExists() const { return tx >= 0; }

  const int tx;
  const int rx;
};
