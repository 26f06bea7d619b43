// ExtSlot: an external channel pair given by plain numbers, switch channels 8192 + the numbers.
// Its transmitter is open from create on; its receiver opens with activate and closes with
// deactivate, so that sources can be connected into it only in between.
#pragma once

#include <cstdint>

#include "slotbase/slot.h"

class ExtSlot : public Slot {
 public:
  // The switch channel of external channel `number`: 8192 + number, or -1 (which the switch
  // refuses) when that is not a channel number.
  static int SwitchChannel(int64_t number);

  ExtSlot(int tx, int rx) : tx(tx), rx(rx) {}

  void IAfterCreate() override { OnChangeOutputStream(true); }
  bool IBeforeDestroy() override;
  // The receiver opens and carries the idle value until a source is connected.
  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return inputStream; }
  int IGetTransmitChannel() override { return tx; }
  int IGetReceiveChannel() override { return rx; }
  const char* GetName() const override { return "bri"; }

  const int tx;
  const int rx;
};
