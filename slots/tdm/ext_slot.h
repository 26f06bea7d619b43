// ExtSlot: an external channel pair given by plain numbers, switch channels 8192 + the numbers.
// Its transmitter is open from create on; its receiver opens with activate and closes with
// deactivate, so that sources can be connected into it only in between.
#pragma once

#include "slotbase/slot.h"

class ExtSlot : public Slot {
 public:
  // The extension ports: numbers 0 to 2047, switch channels 8192 to 10239 (the logical channels
  // of the switch, clear of every line channel).
  static constexpr int kPorts = 2048;
  static constexpr int kFirstChannel = 8192;

  // Whether `number` names an extension port.
  static bool IsPort(int number) { return number >= 0 && number < kPorts; }
  // The switch channel of port `number`.
  static int SwitchChannel(int number) { return kFirstChannel + number; }

  ExtSlot(int tx, int rx) : tx(tx), rx(rx) {}

  void IAfterCreate() override { OnChangeOutputStream(true); }
  bool IBeforeDestroy() override;
  // The receiver opens and carries the idle value until a source is connected; a source
  // connected since an earlier activation keeps its path.
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
