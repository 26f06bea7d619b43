// The mixer slots: a TDM input of a conference mixer unit (TdmInput, a sink, optionally feeding
// one summator) and a summator's TDM output (TdmOutput, a source). Each carries a DSP tone
// receiver and a voice-processing receiver on its switch channel, driven through ioctls.
#pragma once

#include <vector>

#include "hw/dsproc_receiver.h"
#include "hw/tonec_receiver.h"
#include "slotbase/slot.h"

namespace Mixer {

class Mixer;

// What both kinds share: the unit, the channel, the receivers and the ioctls that both kinds
// serve alike.
class MixerSlot : public Slot,
                  protected Hardware::TonecReceiver,
                  protected Hardware::DSProcReceiver {
 public:
  MixerSlot(Mixer& mixer, int number, int timeslot);
  ~MixerSlot() override;

  // The generator this slot holds (a steady tone, a DTMF sequence, the ring-back) is silenced
  // and switched off; nothing is sent when the slot does not hold it.
  void StopToneGenerator();

  int tonec_timeslot() const override { return timeslot; }
  int dsproc_timeslot() const override { return timeslot; }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* event) override;
  void dsproc_flags_event(const ::dsproc_flags_event* event) override;

  // The kind's ioctls. One refused because the other slot on the switch channel holds the DSP
  // function it claims is answered insufficientResources, with a throttled line.
  bool Ioctl(const LGCP::IoctlParams& params) final;

  using Slot::OnAbort;

  // The unit's header: the slot's lines are the unit's.
  void PutHeader(std::ostream& os) const override;

  Mixer& mixer;
  // The unit's number, for the header: a stale unit is deleted as its last slot is released,
  // before the registry writes the slot's counts.
  const int unit;
  const int number;
  const int timeslot;

 protected:
  virtual bool KindIoctl(const LGCP::IoctlParams& params) = 0;
  // The ioctls served alike by both kinds; false for the others. A value that the device's
  // record cannot carry refuses the ioctl with invalidParams, nothing sent; a refusal by the
  // device answers it with an error.
  bool CommonIoctl(const LGCP::IoctlParams& params);
};

class TdmInput : public MixerSlot {
 public:
  TdmInput(Mixer& mixer, int number, int timeslot) : MixerSlot(mixer, number, timeslot) {}

  bool IBeforeDestroy() override;
  bool KindIoctl(const LGCP::IoctlParams& params) override;
  bool IOnInputStream() override { return true; }
  int IGetReceiveChannel() override { return timeslot; }
  const char* GetName() const override { return "mixer tdm input"; }

  void tonec_event(const Params& params) override { processTonecEvent(params); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent& event) override { processVADEvent(event); }
  void dsproc_bss_event(const ::dsproc_bss_event* event) override { processBSSEvent(event); }
  void dsproc_sd_event(const Hardware::DSProcSDEvent& event) override { processSDEvent(event); }

  using TonecReceiver::echoCancel;

  bool has_summator = false;
  // The summator this input feeds; -1 when none, or once its feed could not be put back after
  // the summator was cleared.
  int summator = -1;
};

class TdmOutput : public MixerSlot {
 public:
  TdmOutput(Mixer& mixer, int number, int timeslot) : MixerSlot(mixer, number, timeslot) {}

  bool IBeforeDestroy() override;
  bool KindIoctl(const LGCP::IoctlParams& params) override;
  bool IOnOutputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot; }
  const char* GetName() const override { return "mixer tdm output"; }

  void tonec_event(const Params&) override {}
  void tone_gen_complete() override { processToneGenEvent(); }
  // A sequence the device cut short: abort with the refused request's errno, never dtmfDone.
  void tone_gen_failed(int error) override { OnAbort(error); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent&) override {}
  void dsproc_bss_event(const ::dsproc_bss_event*) override {}
  void dsproc_sd_event(const Hardware::DSProcSDEvent&) override {}

  // The inputs this output put into its summator: those of its create, or its own number when
  // it named none.
  std::vector<int> inputs;
};

}  // namespace Mixer
